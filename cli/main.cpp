// mendery-cli: every tool of Mendery from a terminal or a script.
#include <algorithm>
#include <iostream>
#include <vector>

#include "cli/Commands.h"

namespace mendery::cli {

namespace {
std::vector<CommandSpec>& Registry() {
    static std::vector<CommandSpec> commands;
    return commands;
}
}  // namespace

bool RegisterCommand(CommandSpec command) {
    Registry().push_back(std::move(command));
    return true;
}

std::shared_ptr<CommonOptions> AddCommonOptions(CLI::App& app) {
    auto o = std::make_shared<CommonOptions>();
    auto* yes = app.add_flag("--yes", o->yes, "answer Yes to every question");
    app.add_flag("--no", o->no, "answer No to every question")->excludes(yes);
    app.add_flag("-q,--quiet", o->quiet, "print no log lines");
    app.add_option("--log", o->logFile, "also write the log to FILE");
    app.add_flag("--json", o->json, "print a machine-readable summary on stdout (the log goes to stderr)");
    return o;
}

}  // namespace mendery::cli

int main(int argc, char** argv) {
    using namespace mendery::cli;
    InstallSignalHandlers();
    CLI::App app{"mendery-cli: repair, cut, join and convert ASF media (.asf, .wmv, .wma)"};
    app.require_subcommand(1);
    auto& commands = Registry();
    std::sort(commands.begin(), commands.end(), [](const auto& a, const auto& b) { return a.order < b.order; });
    std::vector<std::pair<CLI::App*, CommandRunner>> runners;
    for (auto& c : commands) {
        CLI::App* sub = app.add_subcommand(c.name, c.help);
        runners.emplace_back(sub, c.setup(*sub));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : kExitUsage;
    }
    for (auto& [sub, run] : runners)
        if (sub->parsed()) return run();
    return kExitUsage;
}
