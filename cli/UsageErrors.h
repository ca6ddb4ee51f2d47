#pragma once
// Command-line parse errors in the program's language: the parser's English texts of the
// common errors (unknown option, missing argument, wrong value, extra arguments) rewritten
// in Chinese, and the exit code each one ends with.
#include <CLI/CLI.hpp>

#include <string>

namespace mendery::cli {

// The error line of a parse error, without the "错误: " prefix.
std::string UsageErrorText(const CLI::Error& error);
// The whole failure message: the error line and where to find the usage.
std::string UsageFailureMessage(const CLI::App* app, const CLI::Error& error);
// 3 when the error says an input file does not exist or is a folder (the parser's own file
// check), else 2.
int UsageErrorExitCode(const CLI::Error& error);

}  // namespace mendery::cli
