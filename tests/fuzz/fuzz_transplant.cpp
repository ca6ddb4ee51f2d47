// libFuzzer target: the codec-list transplant with an arbitrary source and output. The first
// two bytes say how many of the remaining bytes form the source; the rest is the output.
#include <algorithm>

#include "launch/CodecListTransplant.h"
#include "FuzzSupport.h"

using namespace mendery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    if (size < 2) return 0;
    std::size_t split = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const std::string source = scratch.Write("src.asf", data + 2, split);
    const std::string output = scratch.Write("out.asf", data + 2 + split, size - 2 - split);
    NullHost host;
    TransplantCodecList(host, source, output);
    return 0;
}
