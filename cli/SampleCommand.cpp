// mendery-cli sample: copies the first 512 KiB of a damaged file to SOURCE.sam for diagnosis.
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "recovery/SampleMaker.h"

namespace mendery::cli {
namespace {

int RunSample(const std::string& source, const CommonOptions& common) {
    CliHost host(common);
    TSampleMaker maker(host);
    const TSampleResult r = maker.MakeSample(source);
    if (r.ok) host.Say(TSampleMaker::ResultText(source));
    else host.Say("原因: " + r.error);
    if (common.json) {
        nlohmann::json j = {{"tool", "sample"},
                            {"source", source},
                            {"output", r.ok ? nlohmann::json(r.samplePath) : nlohmann::json(nullptr)},
                            {"result", r.ok ? "done" : "io-error"},
                            {"bytes", r.bytes}};
        if (!r.ok) j["error"] = r.error;
        std::printf("%s\n", j.dump(2).c_str());
    }
    return r.ok ? kExitDone : kExitIo;
}

CommandRunner Setup(CLI::App& app) {
    auto source = std::make_shared<std::string>();
    app.add_option("SOURCE", *source, "the damaged file")->required()->check(CLI::ExistingFile);
    auto common = AddCommonOptions(app);
    return [source, common] { return RunSample(*source, *common); };
}

const bool registered =
    RegisterCommand({"sample", "sample maker: copy the first 512 KiB of a damaged file to SOURCE.sam", 90, Setup});

}  // namespace
}  // namespace mendery::cli
