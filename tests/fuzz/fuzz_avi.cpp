// libFuzzer target: the AVI converter and its header edits on arbitrary files. The first byte
// chooses the timing method, quick resync and the answer to the WMV question; the rest is the file.
#include "FuzzSupport.h"
#include "convert/Asf2Avi.h"

using namespace mendery;

namespace {
class AnsweringHost : public NullHost {
public:
    Answer answer = Answer::No;
    Answer Ask(std::string_view, Buttons, MessageKind) override { return answer; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Scratch scratch;
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    const std::string source = scratch.Write("in.asf", data + 1, size - 1);
    AnsweringHost host;
    host.answer = (options & 4) ? Answer::Yes : Answer::No;
    TAsf2Avi tool;
    tool.AttachHost(host);
    tool.FileName = source;
    tool.OutFileName = scratch.Fresh("out.avi");
    (void)scratch.Fresh("out.avi.idx");
    tool.Reset();
    tool.TimingMethod = (options & 1) ? tmBestSync : tmFewestDuplicates;
    tool.QuickReSync = (options & 2) != 0;
    tool.Convert();
    if (tool.SetHeaderEditing(true)) {
        tool.Fields.framesPerSecond = (options & 8) ? "29.97" : "0.0000001";
        tool.Fields.audioFormatTag = (options & 16) ? "0x0161" : "x";
        tool.Fields.audioToVideo = options;
        tool.UpgradeAvi();
        tool.MakeDivX();
    }
    return 0;
}
