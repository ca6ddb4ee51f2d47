#pragma once
// Each cli/*.cpp registers its subcommands here; main.cpp builds the parser from the list.
#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>

#include "cli/CliHost.h"

namespace mendery::cli {

using CommandRunner = std::function<int()>;
struct CommandSpec {
    std::string name;
    std::string help;
    int order;  // position in --help
    // Adds the subcommand's options to `app` and returns what runs it after parsing.
    std::function<CommandRunner(CLI::App& app)> setup;
};

bool RegisterCommand(CommandSpec command);

// --yes, --no, --quiet, --log FILE, --json on a subcommand.
std::shared_ptr<CommonOptions> AddCommonOptions(CLI::App& app);

}  // namespace mendery::cli
