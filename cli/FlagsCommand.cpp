// mendery-cli flags: makes a file seekable, or marks an already seekable file live, in place.
#include <nlohmann/json.hpp>

#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "asf/AsfObjects.h"
#include "asf/BinaryFile.h"
#include "repair/FlagFixer.h"

namespace mendery::cli {
namespace {

const char* ResultName(FlagFixResult r) {
    switch (r) {
        case FlagFixResult::NotAsf: return "not-asf";
        case FlagFixResult::NoFileProperties: return "no-file-properties";
        case FlagFixResult::NewStyle: return "new-style-flags";
        case FlagFixResult::SetSeekable: return "set-seekable";
        case FlagFixResult::SetLive: return "set-live";
        case FlagFixResult::Declined: return "unchanged";
        case FlagFixResult::Refused: return "refused";
        case FlagFixResult::IoFailed: return "io-error";
    }
    return "unknown";
}

// A declined change leaves the file as the user wanted it: the command is done.
RunResult ResultOf(FlagFixResult r) {
    switch (r) {
        case FlagFixResult::SetSeekable:
        case FlagFixResult::SetLive:
        case FlagFixResult::Declined: return RunResult::Done;
        case FlagFixResult::IoFailed: return RunResult::IoError;
        default: return RunResult::Refused;
    }
}

int RunFlags(const std::string& source, const CommonOptions& common) {
    CliHost host(common);
    if (auto code = CheckSource(host, source)) return *code;
    FlagFixer fixer(host);
    FlagFixResult r;
    if (const std::int64_t size = FileSizeOf(source); size < kHeaderObjectFixedSize) {
        // Too short to hold a header object: the fixer's read of it would end as an
        // input/output error although the file was read without one.
        host.Message("文件: \"" + source + "\"\n文件太短 (" + std::to_string(size) + "字节), 不是ASF文件. 标记未修改.",
                     MessageKind::Plain);
        r = FlagFixResult::NotAsf;
    } else {
        r = fixer.FixFlags(source);
    }
    // The desktop program says nothing when the header holds no file properties object; a
    // terminal user needs to know that nothing was done.
    if (r == FlagFixResult::NoFileProperties) host.Say("文件头中没有文件属性对象, 标记未修改.");
    if (common.json) {
        nlohmann::json j = {{"tool", "flags"}, {"source", source}, {"result", ResultName(r)}};
        std::printf("%s\n", j.dump(2).c_str());
    }
    return ExitCodeFor(ResultOf(r));
}

CommandRunner Setup(CLI::App& app) {
    auto source = std::make_shared<std::string>();
    app.add_option("SOURCE", *source, "the ASF file whose flags are rewritten in place")->required();
    auto common = AddCommonOptions(app);
    return [source, common] { return RunFlags(*source, *common); };
}

const bool registered = RegisterCommand(
    {"flags", "flag fixer: make a file seekable, or mark a seekable one live (rewrites 4 bytes in place)", 80, Setup});

}  // namespace
}  // namespace mendery::cli
