// mendery-cli sample: copies the first 512 KiB of a damaged file to SOURCE.sam for diagnosis.
#include <nlohmann/json.hpp>

#include <filesystem>

#include "asf/OutputNames.h"
#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "asf/BinaryFile.h"
#include "asf/StagedOutput.h"
#include "recovery/SampleMaker.h"

namespace mendery::cli {
namespace {

int RunSample(const std::string& source, const CommonOptions& common) {
    CliHost host(common);
    if (auto code = CheckSource(host, source)) return *code;
    const std::string samplePath = ToolOutputName(source, OutputFor::Sample);
    std::string refusal = OutputRefusalLine(source, samplePath);
    if (refusal.empty()) refusal = ExistingOutputRefusal(samplePath, common.MayReplaceOutput());
    if (!refusal.empty()) {
        host.Message(refusal, MessageKind::Error);
        return kExitRefused;
    }
    SampleMaker maker(host);
    const SampleResult r = maker.MakeSample(source);
    if (r.ok) host.Say(SampleMaker::ResultText(source));
    else host.Log("失败: 未创建样本文件. 原因: " + r.error);
    const bool empty = !r.ok && r.error == SampleMaker::kEmptySource;
    const RunResult result = r.ok ? RunResult::Done : empty ? RunResult::NothingUsable : RunResult::IoError;
    if (common.json) {
        nlohmann::json j = {{"tool", "sample"},
                            {"source", source},
                            {"output", r.ok ? nlohmann::json(r.samplePath) : nlohmann::json(nullptr)},
                            {"result", ResultName(result)},
                            {"bytes", r.ok ? r.bytes : 0}};
        if (!r.ok) j["error"] = r.error;
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(result);
}

CommandRunner Setup(CLI::App& app) {
    auto source = std::make_shared<std::string>();
    app.add_option("SOURCE", *source, "the damaged file")->required();
    auto common = AddCommonOptions(app);
    return [source, common] { return RunSample(*source, *common); };
}

const bool registered =
    RegisterCommand({"sample", "sample maker: copy the first 512 KiB of a damaged file to SOURCE.sam", 90, Setup});

}  // namespace
}  // namespace mendery::cli
