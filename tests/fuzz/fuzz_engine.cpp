// libFuzzer target: the repair engine and the diagnosis on arbitrary files. The first two
// bytes choose the engine's options, the rest is the file.
#include <filesystem>

#include "repair/AsfFile.h"
#include "asf/AsfInfo.h"
#include "FuzzSupport.h"

using namespace mendery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    if (size < 2) return 0;
    const std::uint16_t options = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
    const std::string source = scratch.Write("in.asf", data + 2, size - 2);
    NullHost host;
    TAsfFile engine;
    engine.AttachHost(host);
    engine.FileName = source;
    engine.OutFileName = scratch.Fresh("out.asf");
    // The per-chunk detail line is formatted by the same code for every chunk: one input in
    // eight is enough to keep it covered, and the others run several times faster without it.
    engine.WriteLog = (size & 7) == 0;
    engine.FixPad08 = options & 0x0001;
    engine.FixPad10 = options & 0x0002;
    engine.FixPad40 = options & 0x0004;
    engine.FixFileSize = engine.FixDataSize = engine.FixChunkCount = options & 0x0008;
    engine.FixTimeCodes = options & 0x0010;
    engine.FixTotalTime = engine.FixPlayTime = options & 0x0020;
    engine.StripHeader = options & 0x0040;
    engine.StripIndex = options & 0x0080;
    engine.CleanHeader = options & 0x0100;
    engine.FixForBadChunk = static_cast<BadChunkAction>((options >> 9) % 6);
    engine.FileSeekableFlag = static_cast<SeekableFlagChange>((options >> 12) % 3);
    engine.OtherFlags = (options & 0x8000) ? OtherFlagsChange::ClearAll : OtherFlagsChange::Keep;
    engine.OnDecideForBadChunk = [](TAsfFile&, BadChunkAction& what, std::int64_t index) {
        what = static_cast<BadChunkAction>(index % 6);
    };
    engine.Run();
    (void)InspectAsf(source);
    return 0;
}
