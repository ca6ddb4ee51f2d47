#pragma once
// How the recovery tools start: the opening log line, the refusal of an output that cannot be
// created, and both files opened.
#include <optional>
#include <string>

#include "engine/AsfFile.h"
#include "engine/BufferedInput.h"
#include "engine/BufferedOutput.h"
#include "engine/Host.h"

namespace mendery {

// Returns the outcome to stop with (nothing was created), or nothing when both files are open.
std::optional<TRepairOutcome> OpenSourceAndOutput(const std::string& source, const std::string& output, BufferedInput& in,
                                                  BufferedOutput& out, IHost* host);

// Reads the 24-byte head of the header object at the current position and checks its GUID and
// size, logging "文件头对象ID正常" or why the file is refused. Returns the header object's size.
std::optional<std::uint32_t> ReadHeaderObjectHead(BufferedInput& in, std::size_t limit, IHost* host);

}  // namespace mendery
