#pragma once
// Reading the start of a file whose header may be damaged: a window of its bytes, and where
// its header object ends (the data object begins) when the size field cannot be trusted.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "asf/BinaryFile.h"

namespace mendery {

// Bytes a window holds past the data object head: room for kGridConfirmPackets packets of the
// largest size and one more.
inline constexpr std::uint64_t kGridWindowBytes = 17ull * 65536;
// The first window read from a file: enough for nearly every header and the packets after it.
inline constexpr std::uint64_t kFirstWindowBytes = 8ull << 20;

// Up to `length` bytes of `file` from `from` (fewer at its end).
std::vector<std::uint8_t> ReadWindow(BinaryFile& file, std::uint64_t from, std::uint64_t length);

// Where the data object begins in `bytes` (which start with a header object): at the header's
// declared size when the Data Object GUID is there, else where the sub-objects lead by their
// sizes, else at the first Data Object GUID after the header's fixed part. Nothing when none
// of the three finds it.
std::optional<std::uint64_t> LocateDataObject(std::span<const std::uint8_t> bytes);

// Whether `bytes` begin with the Header Object GUID.
bool StartsWithHeaderObject(std::span<const std::uint8_t> bytes);

}  // namespace mendery
