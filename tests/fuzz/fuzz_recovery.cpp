// libFuzzer target: lost-chunk recovery on arbitrary files. The input is the file.
#include "FuzzSupport.h"
#include "recovery/LostChunk.h"

using namespace mendery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    NullHost host;
    TLostChunk tool;
    tool.AttachHost(host);
    tool.FileName = scratch.Write("in.asf", data, size);
    tool.OutFileName = scratch.Fresh("out.asf");
    tool.Recover();
    return 0;
}
