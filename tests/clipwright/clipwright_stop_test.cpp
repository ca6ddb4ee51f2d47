// Stops with real signals, on a file large enough to take a second or more: clipwright and the
// commands that run it stop in every phase, leave no output and no process behind, and keep
// an existing output and the source byte for byte. Also writes that fail (a size limit, another
// file system) on real files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/AsfBuilder.h"
#include "support/Background.h"

using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

const std::string kClipwright = std::string(MENDERY_BIN_DIR) + "/clipwright";
const std::string kCli = MENDERY_CLI;

// Running, not a zombie waiting for a parent to reap it.
bool Running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

pid_t FirstChildOf(pid_t parent) {
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(e.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent) return std::stoi(name);
    }
    return -1;
}

std::string Text(const std::string& path) {
    const Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

// About 250 MB: the sample joined with itself eight times over. Made once per test program.
const std::string& BigFile() {
    static TempDir dir;
    static std::string path;
    if (!path.empty()) return path;
    std::string previous = SampleFile("a_wmv2_wmav2.wmv");
    for (int i = 1; i <= 8; ++i) {
        const std::string next = (dir / ("big" + std::to_string(i) + ".wmv")).string();
        if (RunCommand(Quote(kClipwright) + " -i " + Quote(previous) + " -i " + Quote(previous) + " -o " + Quote(next) +
                       " >/dev/null") != 0)
            return path;
        if (i > 1) fs::remove(previous);
        previous = next;
    }
    path = previous;
    return path;
}

// Files in `dir` other than those named.
std::vector<std::string> Others(const fs::path& dir, const std::vector<std::string>& known) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end()) out.push_back(name);
    }
    return out;
}

// Sends the signal once a file in `dir` other than those named (the output being written) holds
// `bytes`: the run is then in the phase the case is about however fast the machine copies.
void StopWhenWritten(Background& p, int signal, const fs::path& dir, const std::vector<std::string>& known,
                     std::uintmax_t bytes) {
    for (;;) {
        ASSERT_FALSE(p.Ended()) << "the run ended before it could be stopped";
        for (const auto& name : Others(dir, known)) {
            std::error_code ec;
            const auto size = fs::file_size(dir / name, ec);
            if (!ec && size >= bytes) {
                ::kill(p.Pid(), signal);
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

}  // namespace

TEST(ClipwrightStops, OnCtrlCAndTerminationInEveryPhaseLeavingNothing) {
    const std::string& big = BigFile();
    ASSERT_FALSE(big.empty());
    TempDir dir;
    const std::string out = (dir / "out.wmv").string(), log = (dir / "log.txt").string();
    struct Case {
        std::vector<std::string> extra;
        int signal;
        std::uintmax_t writtenMb;  // how much of the output is written when the stop is sent
    };
    constexpr int kPromptlyMs = 3000;
    // Repair (reading and copying interleave), a resync repair, a join; early and late (the
    // last one inside the second input).
    const Case cases[] = {{{}, SIGINT, 0},          {{}, SIGTERM, 64},        {{"-resync"}, SIGINT, 64},
                          {{"-i", big}, SIGTERM, 0}, {{"-i", big}, SIGINT, 300}};
    for (const auto& c : cases) {
        SCOPED_TRACE("signal " + std::to_string(c.signal) + " after " + std::to_string(c.writtenMb) + " MB");
        WriteFileBytes(out, Bytes(64, 'k'));
        std::vector<std::string> argv{kClipwright, "-i", big};
        argv.insert(argv.end(), c.extra.begin(), c.extra.end());
        for (const char* a : {"-o", out.c_str(), "-y"}) argv.emplace_back(a);
        Background p(argv, log);
        StopWhenWritten(p, c.signal, dir.path(), {"out.wmv", "log.txt"}, c.writtenMb << 20);
        const auto stopped = std::chrono::steady_clock::now();
        EXPECT_EQ(p.Wait(), 128 + c.signal) << Text(log);
        // Promptly, also in the middle of a copy.
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(kPromptlyMs));
        EXPECT_EQ(ReadFileBytes(out), Bytes(64, 'k'));
        EXPECT_EQ(Others(dir.path(), {"out.wmv", "log.txt"}), std::vector<std::string>{});
        EXPECT_NE(Text(log).find("已停止"), std::string::npos) << Text(log);
    }
}

TEST(ClipwrightStops, TheCommandsPassTheStopOnAndNeverReplaceTheSource) {
    const std::string& big = BigFile();
    ASSERT_FALSE(big.empty());
    TempDir dir;
    const std::string source = (dir / "s.wmv").string(), log = (dir / "log.txt").string();
    fs::copy_file(big, source);
    const Bytes original = ReadFileBytes(source);
    const std::string bsr = (dir / "s.bsr.wmv").string(), joined = (dir / "j.wmv").string();
    struct Case {
        std::vector<std::string> argv;
        int signal;
        std::uintmax_t writtenMb = 32;  // how much of clipwright's output is written at the stop
    };
    // A stop sent to mendery-cli alone, as a script or the desktop program would send it, once
    // clipwright has written part of its output (a warm-cache copy can end within 300 ms).
    const Case cases[] = {{{kCli, "basic", source}, SIGTERM},
                          {{kCli, "basic", source, "--replace"}, SIGINT},
                          {{kCli, "basic", source, "--replace", "--yes"}, SIGTERM},
                          {{kCli, "join", source, source, "-o", joined}, SIGTERM},
                          {{kCli, "cut", source, "--start", "10", "--end", "3800"}, SIGINT, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv[1] + (c.argv.size() > 3 ? " " + c.argv[3] : ""));
        Background p(c.argv, log);
        pid_t tool = -1;
        for (int i = 0; i < 200 && tool <= 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            tool = FirstChildOf(p.Pid());
        }
        ASSERT_GT(tool, 0) << "clipwright did not start";
        StopWhenWritten(p, c.signal, dir.path(), {"s.wmv", "log.txt"}, c.writtenMb << 20);
        EXPECT_EQ(p.Wait(), 128 + c.signal) << Text(log);
        EXPECT_FALSE(Running(tool)) << "clipwright runs on";
        EXPECT_EQ(ReadFileBytes(source), original);
        EXPECT_EQ(Others(dir.path(), {"s.wmv", "log.txt"}), std::vector<std::string>{}) << Text(log);
    }
    // Killed outright: clipwright ends with it and removes what it had written.
    Background killed({kCli, "basic", source}, log);
    pid_t tool = -1;
    for (int i = 0; i < 200 && tool <= 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        tool = FirstChildOf(killed.Pid());
    }
    ASSERT_GT(tool, 0);
    StopWhenWritten(killed, SIGKILL, dir.path(), {"s.wmv", "log.txt"}, 32u << 20);
    killed.Wait();
    for (int i = 0; i < 300 && Running(tool); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(Running(tool)) << "clipwright outlived mendery-cli";
    for (int i = 0; i < 100 && !Others(dir.path(), {"s.wmv", "log.txt"}).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Others(dir.path(), {"s.wmv", "log.txt"}), std::vector<std::string>{});
}

TEST(ClipwrightWrites, AFailedWriteSaysWhyAndKeepsTheExistingOutput) {
    TempDir dir;
    const std::string source = SampleFile("a_wmv2_wmav2.wmv");
    // A file size limit stands in for a full disk: the write fails part way through. Once on the
    // source's file system and once on another one, where the copy cannot stay in the kernel.
    std::vector<fs::path> folders{dir.path()};
    const fs::path shm = fs::path("/dev/shm") / ("clipwright-test-" + std::to_string(::getpid()));
    std::error_code ec;
    if (fs::create_directory(shm, ec)) folders.push_back(shm);
    for (const auto& folder : folders) {
        SCOPED_TRACE(folder.string());
        const std::string out = (folder / "o.wmv").string();
        WriteFileBytes(out, Bytes(10, 'e'));
        std::string log;
        EXPECT_EQ(RunCommand("ulimit -f 300; " + Quote(kClipwright) + " -i " + Quote(source) + " -o " + Quote(out) + " -y", &log), 3);
        EXPECT_NE(log.find("无法写入 \"" + out + "\": 文件太大"), std::string::npos) << log;
        EXPECT_EQ(ReadFileBytes(out), Bytes(10, 'e'));
        EXPECT_EQ(Others(folder, {"o.wmv"}), std::vector<std::string>{});
        // Without the limit the copy is the same wherever it is written.
        ASSERT_EQ(RunCommand(Quote(kClipwright) + " -i " + Quote(source) + " -o " + Quote(out) + " -y", &log), 0) << log;
        const std::string here = (dir / "here.wmv").string();
        ASSERT_EQ(RunCommand(Quote(kClipwright) + " -i " + Quote(source) + " -o " + Quote(here) + " -y"), 0);
        EXPECT_EQ(ReadFileBytes(out), ReadFileBytes(here));
        fs::remove(here);
    }
    fs::remove_all(shm, ec);
}
