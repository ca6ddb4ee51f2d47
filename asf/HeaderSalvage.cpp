#include "asf/HeaderSalvage.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>
#include <vector>

namespace mendery {
namespace {

// The objects a header holds at its top level. Padding is left out: it may also sit inside the
// header extension, where finding it would cut that object in two.
const Guid kTopLevel[] = {guids::FileProperties,          guids::StreamProperties,
                          guids::HeaderExtension,         guids::CodecList,
                          guids::ContentDescription,      guids::ExtendedContentDescription,
                          guids::StreamBitrateProperties, guids::BitrateMutualExclusion,
                          guids::ExtendedContentEncryption};

bool IsTopLevel(const Guid& g) { return std::find(std::begin(kTopLevel), std::end(kTopLevel), g) != std::end(kTopLevel); }

// Whether objects walked by their own sizes from `from` end exactly at `to` (unknown objects,
// such as padding, between two known ones).
bool WalksTo(std::span<const std::uint8_t> header, std::uint64_t from, std::uint64_t to) {
    while (from < to) {
        if (to - from < kObjectHeaderSize) return false;
        const std::uint64_t size = ReadU64At(header, from + 16);
        if (size < kObjectHeaderSize || size > to - from) return false;
        from += size;
    }
    return from == to;
}

// The size an object's own fields give, for the objects whose layout says it: the file
// properties are 104 bytes, stream properties 78 plus their two data lengths, the header
// extension 46 plus its data size. Nothing for the others or when the fields are not held.
std::optional<std::uint64_t> SizeFromFields(std::span<const std::uint8_t> header, std::uint64_t at) {
    const Guid g = Guid::FromBytes(header.subspan(at, 16));
    if (g == guids::FileProperties) return kFilePropertiesSize;
    if (g == guids::StreamProperties && header.size() - at >= 72)
        return 78ull + ReadU32At(header, at + 64) + ReadU32At(header, at + 68);
    if (g == guids::HeaderExtension && header.size() - at >= 46) return 46ull + ReadU32At(header, at + 42);
    return std::nullopt;
}

// Mends the size field of the known object at `at`, which ends at the latest at `limit`, and
// of an unknown object that follows it up to `limit`. Returns the object's size.
std::uint64_t MendObject(std::span<std::uint8_t> header, std::uint64_t at, std::uint64_t limit, std::size_t& resized) {
    BytePatcher patch(header);
    const std::uint64_t declared = ReadU64At(header, at + 16);
    if (declared >= kObjectHeaderSize && declared <= limit - at && WalksTo(header, at + declared, limit)) return declared;
    std::uint64_t size = limit - at;
    if (const auto natural = SizeFromFields(header, at); natural && *natural <= limit - at) size = *natural;
    if (size != declared) {
        patch.U64At(at + 16, size);
        ++resized;
    }
    // What lies between the object's end and the next one, when it does not walk there by itself:
    // one object whose GUID was damaged too.
    const std::uint64_t rest = at + size;
    if (rest < limit && !WalksTo(header, rest, limit) && limit - rest >= kObjectHeaderSize) {
        patch.U64At(rest + 16, limit - rest);
        ++resized;
    }
    return size;
}

// Whether a known object's GUID can start with this byte: the search below tries every byte
// of a header that may be megabytes long, and nearly all of them are ruled out by this alone.
bool MayStartTopLevel(std::uint8_t first) {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        for (const Guid& g : kTopLevel) t[g.bytes[0]] = true;
        return t;
    }();
    return table[first];
}

std::vector<std::uint64_t> KnownObjectStarts(std::span<const std::uint8_t> header, std::uint64_t from) {
    std::vector<std::uint64_t> starts;
    for (std::uint64_t at = from; at + kObjectHeaderSize <= header.size(); ++at)
        if (MayStartTopLevel(header[at]) && IsTopLevel(Guid::FromBytes(header.subspan(at, 16)))) starts.push_back(at);
    return starts;
}

}  // namespace

HeaderSalvage SalvageHeaderWalk(std::span<std::uint8_t> header, HeaderWalk& walk) {
    HeaderSalvage result;
    if (walk.end != WalkEnd::SizeTooSmall && walk.end != WalkEnd::RunsPastEnd) return result;
    result.needed = true;
    const std::uint64_t size = std::min<std::uint64_t>(header.size(), walk.headerSize);
    std::vector<SubObject> kept(walk.objects.begin(), walk.objects.end() - (walk.objects.empty() ? 0 : 1));
    const std::uint64_t from = kept.empty() ? kHeaderObjectFixedSize : kept.back().offset + kept.back().size;
    result.brokenAfter = from;
    const std::vector<std::uint64_t> starts = KnownObjectStarts(header.first(size), from);
    const std::span<std::uint8_t> held = header.first(size);
    // Bytes at the break that no known object claims: one object up to the first one found.
    const std::uint64_t firstFound = starts.empty() ? size : starts.front();
    if (firstFound > from && firstFound - from >= kObjectHeaderSize && !WalksTo(held, from, firstFound)) {
        BytePatcher(held).U64At(from + 16, firstFound - from);
        ++result.resized;
    }
    std::uint64_t end = from;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::uint64_t at = starts[i];
        if (at < end) continue;  // inside an object already taken
        const std::uint64_t limit = i + 1 < starts.size() ? starts[i + 1] : size;
        if (limit - at < kObjectHeaderSize) continue;
        const std::uint64_t objectSize = MendObject(held, at, limit, result.resized);
        kept.push_back({at, Guid::FromBytes(header.subspan(at, 16)), objectSize});
        ++result.found;
        end = at + objectSize;
    }
    walk.objects = std::move(kept);
    return result;
}

std::string HeaderSalvageNote(const HeaderSalvage& salvage) {
    return "文件头在第 " + std::to_string(salvage.brokenAfter) + " 字节之后损坏; 找到并保留了其后的 " +
           std::to_string(salvage.found) + " 个对象" +
           (salvage.resized ? ", 其中 " + std::to_string(salvage.resized) + " 个对象的大小已按其位置修正" : "");
}

HeaderWalk WalkAndMendHeader(std::span<std::uint8_t> header, ILogSink* log) {
    HeaderWalk walk = WalkHeader(header);
    const HeaderSalvage salvage = SalvageHeaderWalk(header, walk);
    if (salvage.needed && log) log->Log(HeaderSalvageNote(salvage));
    return walk;
}

}  // namespace mendery
