// mendery-cli: every tool of Mendery from a terminal or a script.
#include <algorithm>
#include <iostream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "cli/Commands.h"
#include "cli/UsageErrors.h"
#include "asf/BinaryFile.h"

namespace mendery::cli {

namespace {
std::vector<CommandSpec>& Registry() {
    static std::vector<CommandSpec> commands;
    return commands;
}

// Empty when the log file can be written; it is tried without blocking (a FIFO nobody reads)
// and without leaving a file the check created.
std::string CheckLogFile(const std::string& path) {
    struct stat before{};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        const std::string reason = error == ENXIO && existed ? NotRegularReason(before.st_mode) : SystemReason(error);
        return "无法打开日志文件 \"" + path + "\": " + reason;
    }
    ::close(fd);
    if (!existed) ::unlink(path.c_str());
    return {};
}

const char* const kExitCodeTable =
    "Exit codes: 0 done; 1 refused, failed or nothing usable (the log says why); 2 usage error;\n"
    "3 an input cannot be opened or read, or an output cannot be written; 130 stopped by Ctrl-C;\n"
    "143 stopped by SIGTERM. An existing output is replaced only with --yes or --overwrite.";
}  // namespace

bool RegisterCommand(CommandSpec command) {
    Registry().push_back(std::move(command));
    return true;
}

std::shared_ptr<CommonOptions> AddCommonOptions(CLI::App& app) {
    auto o = std::make_shared<CommonOptions>();
    auto* yes = app.add_flag("--yes", o->yes, "answer Yes to every question and replace an existing output");
    app.add_flag("--no", o->no, "answer No to every question")->excludes(yes);
    app.add_flag("--overwrite", o->overwrite, "replace an existing output (without answering questions)");
    app.add_flag("-q,--quiet", o->quiet, "print no log lines");
    app.add_option("--log", o->logFile, "also write the log to FILE")->check(CLI::Validator(CheckLogFile, "FILE"));
    app.add_flag("--json", o->json, "print a machine-readable summary on stdout (the log goes to stderr)");
    return o;
}

}  // namespace mendery::cli

int main(int argc, char** argv) {
    using namespace mendery::cli;
    InstallSignalHandlers();
    CLI::App app{"mendery-cli: repair, cut, join and convert ASF media (.asf, .wmv, .wma)"};
    app.require_subcommand(1);
    app.footer(kExitCodeTable);
    auto& commands = Registry();
    std::sort(commands.begin(), commands.end(), [](const auto& a, const auto& b) { return a.order < b.order; });
    std::vector<std::pair<CLI::App*, CommandRunner>> runners;
    for (auto& c : commands) {
        CLI::App* sub = app.add_subcommand(c.name, c.help);
        sub->footer(kExitCodeTable);
        runners.emplace_back(sub, c.setup(*sub));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help
        const CLI::App* where = &app;
        for (const CLI::App* sub : app.get_subcommands()) where = sub;
        std::cerr << UsageFailureMessage(where, e) << std::flush;
        return UsageErrorExitCode(e);
    }
    for (auto& [sub, run] : runners)
        if (sub->parsed()) return run();
    return kExitUsage;
}
