#pragma once
// ASF GUIDs as data: one table of every GUID the program knows.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mendery {

struct Guid {
    std::array<std::uint8_t, 16> bytes{};

    // Parses the text form "75B22630-668E-11CF-A6D9-00AA0062CE6C" into the file layout
    // (first group as a 32-bit little-endian value, the next two as 16-bit, the rest as written).
    static constexpr Guid FromText(std::string_view text) {
        Guid g;
        int nibbles[32]{};
        int n = 0;
        for (char c : text) {
            if (c == '-') continue;
            int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
            if (v < 0 || n >= 32) throw "bad GUID text";
            nibbles[n++] = v;
        }
        if (n != 32) throw "bad GUID text";
        std::uint8_t be[16]{};
        for (int i = 0; i < 16; ++i) be[i] = static_cast<std::uint8_t>(nibbles[2 * i] * 16 + nibbles[2 * i + 1]);
        constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int i = 0; i < 16; ++i) g.bytes[i] = be[order[i]];
        return g;
    }
    static Guid FromBytes(std::span<const std::uint8_t> b16);

    bool IsZero() const;
    std::string ToText() const;
    friend bool operator==(const Guid&, const Guid&) = default;
};

namespace guids {
inline constexpr Guid HeaderObject = Guid::FromText("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid DataObject = Guid::FromText("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid FileProperties = Guid::FromText("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr Guid StreamProperties = Guid::FromText("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr Guid HeaderExtension = Guid::FromText("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr Guid CodecList = Guid::FromText("86D15240-311D-11D0-A3A4-00A0C90348F6");
inline constexpr Guid ContentDescription = Guid::FromText("75B22633-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid ExtendedContentDescription = Guid::FromText("D2D0A440-E307-11D2-97F0-00A0C95EA850");
inline constexpr Guid ExtendedContentEncryption = Guid::FromText("298AE614-2622-4C17-B935-DAE07EE9289C");
inline constexpr Guid BitrateMutualExclusion = Guid::FromText("D6E229DC-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid AudioMedia = Guid::FromText("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr Guid VideoMedia = Guid::FromText("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr Guid SimpleIndex = Guid::FromText("33000890-E5B1-11CF-89F4-00A0C90349CB");
// Known to the diagnosis and to the writers of new files, not to the original readers.
inline constexpr Guid Padding = Guid::FromText("1806D474-CADF-4509-A4BA-9AABCB96AAE8");
inline constexpr Guid StreamBitrateProperties = Guid::FromText("7BF875CE-468D-11D1-8D82-006097C9A2B2");
inline constexpr Guid Index = Guid::FromText("D6E229D3-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid NoErrorCorrection = Guid::FromText("20FB5700-5B55-11CF-A8FD-00805F5C442B");
inline constexpr Guid AudioSpread = Guid::FromText("BFC3CD50-618F-11CF-8BB2-00AA00B4E220");
inline constexpr Guid Reserved1 = Guid::FromText("ABD3D211-A9BA-11CF-8EE6-00C00C205365");
inline constexpr Guid Reserved2 = Guid::FromText("86D15241-311D-11D0-A3A4-00A0C90348F6");
}  // namespace guids

struct KnownGuid {
    std::string_view name;
    Guid guid;
};
std::span<const KnownGuid> KnownGuids();
// The table name of a GUID, "(all zero)" for a filler, or its text form when unknown.
std::string GuidName(const Guid& g);

// First byte position p (0 <= p <= n-16) at which `bytes` holds `g`, or -1.
std::int64_t FindGuid(std::span<const std::uint8_t> bytes, const Guid& g);

}  // namespace mendery
