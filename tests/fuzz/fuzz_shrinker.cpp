// libFuzzer target: the shrinker (passes 1 and 2, and the extra stage's seam) on arbitrary
// files. The input is the file.
#include "FuzzSupport.h"
#include "recovery/Shrinker.h"

using namespace mendery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    NullHost host;
    TShrinker tool;
    tool.AttachHost(host);
    tool.FileName = scratch.Write("in.asf", data, size);
    tool.OutFileName = scratch.Fresh("out.asf");
    tool.ToolDirectory = scratch.Folder();  // holds no cutting tool: the extra stage fails at once
    tool.ExtraCompression = size % 2 == 0;
    tool.Shrink();
    return 0;
}
