// clipwright: cuts, joins and repairs ASF files. Started by Mendery with one parameter text
// ("-i \"a.wmv\" -o \"a.cut.wmv\" -start 10 -dur 5 -y"); also usable from a shell.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ClipArgs.h"
#include "app/ClipJob.h"

namespace {

std::atomic<bool> g_stop{false};
extern "C" void OnSignal(int) { g_stop.store(true); }

const char* kUsage =
    "usage: clipwright -i IN [-i IN2 ...] -o OUT [-y] [-resync] [-istart] [-b] [-start S [-dur D]]...\n"
    "  one -i, no -start:   basic repair (drop damaged packets; -resync searches for the next packet)\n"
    "  several -i:          join in order (-b refuses inputs whose bitrates differ)\n"
    "  -start S -dur D:     keep these pieces (seconds), each from the key frame at or before S\n"
    "                       (-istart: exactly at S); a last -start without -dur runs to the end\n"
    "  -y                   replace an existing output\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> tokens(argv + 1, argv + argc);
    if (tokens.empty() || tokens[0] == "-h" || tokens[0] == "--help") {
        std::fputs(kUsage, tokens.empty() ? stderr : stdout);
        return tokens.empty() ? 2 : 0;
    }
    std::string error;
    auto args = mendery::ParseClipArgs(tokens, error);
    if (!args) {
        std::fprintf(stderr, "clipwright: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    // Ctrl-C or a termination request ends the job cleanly: no partial output is left behind.
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    return mendery::RunClipJob(
        *args, [](const std::string& line) { std::printf("clipwright: %s\n", line.c_str()); },
        [](const std::string& line) { std::fprintf(stderr, "clipwright: %s\n", line.c_str()); }, &g_stop);
}
