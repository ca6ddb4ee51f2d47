#pragma once
// A lost-chunk recovery run on a file's bytes in a temporary folder, for the recovery tests.
#include <filesystem>
#include <string>

#include "recovery/LostChunk.h"
#include "support/AsfBuilder.h"

namespace mendery::test {

struct LostChunkRun {
    TempDir dir;
    std::string source, output;
    RecordingHost host;
    TLostChunk tool;

    explicit LostChunkRun(const Bytes& file) {
        source = (dir / "in.wmv").string();
        output = (dir / "in.lch.wmv").string();
        WriteFileBytes(source, file);
        tool.AttachHost(host);
        tool.FileName = source;
        tool.OutFileName = output;
    }
    Bytes Go() {
        tool.Recover();
        return std::filesystem::exists(output) ? ReadFileBytes(output) : Bytes{};
    }
};

}  // namespace mendery::test
