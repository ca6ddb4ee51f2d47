#include "recovery/OpenFiles.h"

namespace mendery {

std::optional<TRepairOutcome> OpenSourceAndOutput(const std::string& source, const std::string& output, BufferedInput& in,
                                                  BufferedOutput& out, IHost* host) {
    auto log = [host](const std::string& line) {
        if (host) host->Log(line);
    };
    if (host) host->ClearLog();
    log("打开中" + source);
    const std::string refusal = OutputRefusalLine(source, output);
    if (!refusal.empty()) {
        log(refusal);
        return TRepairOutcome::Refused;
    }
    try {
        in.Open(source);
        out.Create(output);
    } catch (const IoError& e) {
        log(std::string("访问文件出错: ") + e.what());
        if (in.IsOpen()) in.Close();
        return TRepairOutcome::IoFailed;
    }
    return std::nullopt;
}

}  // namespace mendery
