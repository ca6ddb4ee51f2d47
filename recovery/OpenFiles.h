#pragma once
// How the recovery tools start: the opening log line, the refusal of an output that cannot be
// created, and both files opened.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "asf/Outcome.h"
#include "asf/BufferedInput.h"
#include "asf/BufferedOutput.h"
#include "asf/Host.h"

namespace mendery {

// Returns the outcome to stop with (nothing was created), or nothing when both files are open.
std::optional<Outcome> OpenSourceAndOutput(const std::string& source, const std::string& output, BufferedInput& in,
                                                  BufferedOutput& out, IHost* host);

struct HeaderObjectSize {
    std::uint32_t size = 0;
    // The size field was damaged and `size` is where the sub-objects lead: the copy of the header
    // must carry it.
    bool fromChildren = false;
};

// Reads the 24-byte head of the header object at the start of the file and checks its GUID and
// size, logging "文件头对象ID正常" or why the file is refused. A size field that does not lead to
// the data object is replaced by the size the header's sub-objects walk to, when they lead there
// exactly (logged). The position of `in` is undefined afterwards.
std::optional<HeaderObjectSize> ReadHeaderObjectHead(BufferedInput& in, std::size_t limit, IHost* host);
// Writes `size` into the size field of a header object held in `header`.
void PatchHeaderObjectSize(std::span<std::uint8_t> header, std::uint64_t size);

}  // namespace mendery
