#include "asf/AsfGuid.h"

#include <algorithm>
#include <cstdio>

namespace mendery {

Guid Guid::FromBytes(std::span<const std::uint8_t> b16) {
    Guid g;
    std::copy_n(b16.begin(), std::min<std::size_t>(16, b16.size()), g.bytes.begin());
    return g;
}

bool Guid::IsZero() const {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

std::string Guid::ToText() const {
    const auto& b = bytes;
    char s[40];
    std::snprintf(s, sizeof s, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[3], b[2], b[1], b[0],
                  b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return s;
}

std::span<const KnownGuid> KnownGuids() {
    static const KnownGuid table[] = {
        {"Header Object", guids::HeaderObject},
        {"Data Object", guids::DataObject},
        {"File Properties Object", guids::FileProperties},
        {"Stream Properties Object", guids::StreamProperties},
        {"Header Extension Object", guids::HeaderExtension},
        {"Codec List Object", guids::CodecList},
        {"Content Description Object", guids::ContentDescription},
        {"Extended Content Description Object", guids::ExtendedContentDescription},
        {"Extended Content Encryption Object", guids::ExtendedContentEncryption},
        {"Bitrate Mutual Exclusion Object", guids::BitrateMutualExclusion},
        {"Audio Media", guids::AudioMedia},
        {"Video Media", guids::VideoMedia},
        {"Simple Index Object", guids::SimpleIndex},
        {"Padding Object", guids::Padding},
        {"Stream Bitrate Properties Object", guids::StreamBitrateProperties},
        {"Index Object", guids::Index},
        {"No Error Correction", guids::NoErrorCorrection},
        {"Audio Spread", guids::AudioSpread},
    };
    return table;
}

std::string GuidName(const Guid& g) {
    if (g.IsZero()) return "(all zero)";
    for (const auto& k : KnownGuids())
        if (k.guid == g) return std::string(k.name);
    return g.ToText();
}

std::int64_t FindGuid(std::span<const std::uint8_t> bytes, const Guid& g) {
    auto it = std::search(bytes.begin(), bytes.end(), g.bytes.begin(), g.bytes.end());
    return it == bytes.end() ? -1 : static_cast<std::int64_t>(it - bytes.begin());
}

}  // namespace mendery
