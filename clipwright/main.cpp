// clipwright: cuts, joins and repairs ASF files. Started by Mendery with one parameter text
// ("-i \"a.wmv\" -o \"a.cut.wmv\" -start 10 -dur 5 -y"); also usable from a shell.
//
// Log lines go to standard output, refusals, errors and warnings to standard error. With
// CLIPWRIGHT_PROGRESS=1 in the environment (set by the program that runs it) standard error
// also carries progress lines "@progress DONE TOTAL"; on a terminal a progress bar is drawn.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "clipwright/ClipArgs.h"
#include "clipwright/ClipJob.h"

namespace {

mendery::ClipStopFlag g_stop{0};
extern "C" void OnStopSignal(int signal) { g_stop.store(signal); }

const char* kUsage =
    "用法: clipwright -i 输入文件 [-i 输入文件2 ...] -o 输出文件 [-y] [-resync] [-istart] [-b] [-start S [-dur D]]...\n"
    "  一个 -i, 没有 -start:  基础修复 (丢弃损坏的数据包; -resync 逐字节查找下一个数据包)\n"
    "  多个 -i:              按顺序合并 (-b 拒绝比特率不同的文件)\n"
    "  -start S -dur D:      保留这些片段 (秒), 每段从 S 处或之前的关键帧开始\n"
    "                        (-istart: 正好从 S 开始); 最后一个没有 -dur 的 -start 一直到文件结尾;\n"
    "                        长度为 0 的片段不保留任何内容\n"
    "  -y                    替换已存在的输出文件\n"
    "退出代码: 0 完成, 1 拒绝或没有可用内容, 2 参数错误, 3 无法读取输入或无法写入输出, 130/143 被中止\n";

void InstallSignals() {
    // Ctrl-C, a termination request or a hang-up end the job cleanly: no partial output is
    // left behind and an existing output stays as it was.
    struct sigaction stop{};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &stop, nullptr);
    // A reader that went away, or a file size limit, shows up as a failed write instead of
    // killing the process with its temporary file in place.
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (int s : {SIGPIPE, SIGXFSZ}) sigaction(s, &ignore, nullptr);
}

// Progress for the program that runs clipwright (machine lines) or for a person (a bar).
class ProgressOut {
public:
    ProgressOut() {
        const char* env = std::getenv("CLIPWRIGHT_PROGRESS");
        lines_ = env && std::strcmp(env, "1") == 0;
        bar_ = !lines_ && ::isatty(STDERR_FILENO);
    }
    void Report(std::uint64_t done, std::uint64_t total) {
        if ((!lines_ && !bar_) || total == 0) return;
        const unsigned permille = static_cast<unsigned>(done * 1000 / total);
        const auto now = std::chrono::steady_clock::now();
        if (permille == last_ || (permille < 1000 && now - drawn_ < std::chrono::milliseconds(100))) return;
        last_ = permille;
        drawn_ = now;
        if (lines_) {
            std::fprintf(stderr, "@progress %llu %llu\n", static_cast<unsigned long long>(done),
                         static_cast<unsigned long long>(total));
        } else {
            const unsigned filled = permille * 30 / 1000;
            std::fprintf(stderr, "\r[%s%s] %3u%%", std::string(filled, '#').c_str(), std::string(30 - filled, '.').c_str(),
                         permille / 10);
            visible_ = true;
        }
        std::fflush(stderr);
    }
    // Clears the bar before a line is printed on the terminal.
    void Clear() {
        if (!visible_) return;
        std::fputs("\r\033[K", stderr);
        visible_ = false;
    }

private:
    bool lines_ = false, bar_ = false, visible_ = false;
    unsigned last_ = ~0u;
    std::chrono::steady_clock::time_point drawn_{};
};

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
    InstallSignals();
    ProgressOut progress;
    mendery::ClipJobHooks hooks;
    hooks.stop = &g_stop;
    hooks.progress = [&progress](std::uint64_t done, std::uint64_t total) { progress.Report(done, total); };
    const int code = mendery::RunClipJob(
        *args,
        [&progress](const std::string& line) {
            progress.Clear();
            std::printf("clipwright: %s\n", line.c_str());
            std::fflush(stdout);
        },
        [&progress](const std::string& line) {
            progress.Clear();
            std::fprintf(stderr, "clipwright: %s\n", line.c_str());
        },
        hooks);
    progress.Clear();
    return code;
}
