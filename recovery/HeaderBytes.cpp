#include "recovery/HeaderBytes.h"

#include <algorithm>

#include "asf/AsfObjects.h"

namespace mendery {

std::vector<std::uint8_t> ReadWindow(BinaryFile& file, std::uint64_t from, std::uint64_t length) {
    const std::int64_t size = file.Size();
    if (from >= static_cast<std::uint64_t>(size)) return {};
    std::vector<std::uint8_t> bytes(std::min<std::uint64_t>(length, static_cast<std::uint64_t>(size) - from));
    file.Seek(static_cast<std::int64_t>(from));
    bytes.resize(file.Read(bytes));
    return bytes;
}

bool StartsWithHeaderObject(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kHeaderObjectFixedSize &&
           std::equal(guids::HeaderObject.bytes.begin(), guids::HeaderObject.bytes.end(), bytes.begin());
}

std::optional<std::uint64_t> LocateDataObject(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderObjectFixedSize) return std::nullopt;
    const std::uint64_t declared = ReadU64At(bytes, 16);
    if (declared >= kHeaderObjectFixedSize && DataObjectAt(bytes, declared)) return declared;
    if (auto fromChildren = HeaderSizeFromChildren(bytes)) return fromChildren;
    const std::int64_t found = FindGuid(bytes.subspan(kHeaderObjectFixedSize), guids::DataObject);
    if (found < 0) return std::nullopt;
    return kHeaderObjectFixedSize + static_cast<std::uint64_t>(found);
}

}  // namespace mendery
