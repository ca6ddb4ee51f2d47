// Pass 3 of the shrinker: the cutting tool rewrites the pass-2 output, which is kept when the
// tool's result is usable.
#include <csignal>
#include <filesystem>

#include "launch/ClipwrightCommandLines.h"
#include "launch/CodecListTransplant.h"
#include "asf/OutputNames.h"
#include "launch/ProcessRunner.h"
#include "asf/BinaryFile.h"
#include "asf/NullHost.h"
#include "recovery/Shrinker.h"

namespace mendery {
namespace {

// The tool's result must be larger than this to count; anything smaller is a failed run.
constexpr std::int64_t kSmallestUsableResult = 10000;

}  // namespace

void TShrinker::ExtraCompress() {
    Log("正在开始附加压缩...");
    SetRatio("");
    NullHost silent;
    IHost& host = host_ ? *host_ : silent;
    const std::string program = ToolDirectory.empty() ? ClipwrightPath() : ClipwrightIn(ToolDirectory);
    const std::string temp = ToolOutputName(OutFileName, OutputFor::ShrinkTemp);
    // Events run every 100 ms meanwhile; a stop that arrives there is passed on to the tool.
    RunOptions options;
    options.stopSignal = [this] { return Aborted ? SIGINT : 0; };
    const RunResult result = RunTool(host, program, ShrinkExtraParameters(OutFileName), options);
    std::error_code ec;
    if (Aborted || result.Stopped()) {
        std::filesystem::remove(temp, ec);
        Log("-->附加压缩已中止, 保留第二步的结果.");
        return;
    }
    if (!result.Done() || FileSizeOf(temp) <= kSmallestUsableResult) {
        std::filesystem::remove(temp, ec);
        Log("-->错误: 不能进行附加压缩.");
        return;
    }
    TransplantCodecList(host, OutFileName, temp);
    // One rename replaces the pass-2 file: deleting it first would leave nothing behind if the
    // rename then failed.
    std::filesystem::rename(temp, OutFileName, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        Log("-->错误: 不能进行附加压缩.");
        return;
    }
    Log("  附加压缩已结束.");
    summary_.extraRan = true;
}

}  // namespace mendery
