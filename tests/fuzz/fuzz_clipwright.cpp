// libFuzzer target: clipwright's reader and writer on arbitrary files. The first byte chooses
// the mode (repair, cut, join with itself) and -resync/-istart, the second the cut's start;
// the rest is the file.
#include "clipwright/ClipArgs.h"
#include "clipwright/ClipJob.h"
#include "FuzzSupport.h"

using namespace mendery;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    if (size < 2) return 0;
    const std::uint8_t options = data[0];
    const std::string source = scratch.Write("in.asf", data + 2, size - 2);
    ClipArgs args;
    args.inputs = {source};
    args.output = scratch.Fresh("out.asf");
    args.overwrite = true;
    args.resync = options & 1;
    args.istart = options & 2;
    switch ((options >> 2) % 3) {
        case 1: args.pieces = {ClipPiece{data[1] / 16.0, 1.0 + (options >> 4)}, ClipPiece{data[1] / 4.0, std::nullopt}}; break;
        case 2: args.inputs.push_back(source); args.sameBitrate = options & 0x80; break;
        default: break;
    }
    auto quiet = [](const std::string&) {};
    RunClipJob(args, quiet, quiet);
    return 0;
}
