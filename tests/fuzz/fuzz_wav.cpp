// libFuzzer target: the WAV extractor on arbitrary files.
#include "FuzzSupport.h"
#include "convert/Asf2Wav.h"

using namespace mendery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    const std::string source = scratch.Write("in.asf", data, size);
    NullHost host;
    TAsf2Wav tool;
    tool.AttachHost(host);
    tool.FileName = source;
    tool.OutFileName = scratch.Fresh("out.wav");
    tool.Convert();
    return 0;
}
