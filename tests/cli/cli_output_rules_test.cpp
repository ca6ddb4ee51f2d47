// The rules every mendery-cli command keeps, run once per tool: an existing output survives
// unless replacing it was asked for, a failed run leaves nothing behind and says why, inputs
// that are not regular files are refused at once, a stop signal stops and says the output is
// partial, usage errors are Chinese and exit codes follow one table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/AsfBuilder.h"

using namespace mendery;
using namespace mendery::test;
namespace fs = std::filesystem;

namespace {

std::string Cli(const std::string& args) { return std::string(MENDERY_CLI) + " " + args; }

// One tool as the rules see it: a sample it turns into an output, its options, and whether
// it takes -o (the sample maker writes SOURCE.sam).
struct Tool {
    std::string name, sample, options;
    bool takesOutput = true;
};

const std::vector<Tool> kTools = {
    {"repair", "a_wmv2_wmav2.wmv", "--preset bad-chunks"},
    {"recover", "a_wmv2_wmav2.wmv", ""},
    {"shrink", "c_wmav2.wma", "--no-extra"},
    {"avi", "b_msmpeg4v3_wmav2.asf", ""},
    {"wav", "c_wmav2.wma", ""},
    {"reencode", "c_wmav2.wma", ""},
    {"sample", "a_wmv2_wmav2.wmv", "", false},
};

std::string OutputFor(const Tool& tool, const std::string& source) {
    return tool.takesOutput ? source + ".out" + fs::path(source).extension().string() : source + ".sam";
}

std::string Command(const Tool& tool, const std::string& source, const std::string& flags = "") {
    std::string c = tool.name + " " + tool.options + " " + flags + " " + Quote(source);
    if (tool.takesOutput) c += " -o " + Quote(OutputFor(tool, source));
    return Cli(c) + " </dev/null";
}

std::vector<std::string> FilesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string LastLine(const std::string& log) {
    std::string text = log;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.find_last_of('\n') + 1);
}

const Bytes kKeep = {'K', 'E', 'E', 'P', ' ', 'M', 'E'};

}  // namespace

TEST(CliOutputRules, AnExistingOutputIsKeptUnlessReplacingItWasAsked) {
    for (const auto& tool : kTools) {
        SCOPED_TRACE(tool.name);
        TempDir dir;
        const std::string source = (dir / ("in" + fs::path(tool.sample).extension().string())).string();
        fs::copy_file(SampleFile(tool.sample), source);
        const std::string out = OutputFor(tool, source);
        WriteFileBytes(out, kKeep);

        std::string log;
        EXPECT_EQ(RunCommand(Command(tool, source), &log), 1) << log;
        EXPECT_NE(log.find("输出文件已存在"), std::string::npos) << log;
        EXPECT_EQ(ReadFileBytes(out), kKeep);
        EXPECT_EQ(FilesIn(dir).size(), 2u);

        EXPECT_EQ(RunCommand(Command(tool, source, tool.name == "sample" ? "--yes" : "--overwrite"), &log), 0) << log;
        EXPECT_NE(ReadFileBytes(out), kKeep);
        EXPECT_GT(fs::file_size(out), 1000u);
        EXPECT_EQ(log.find(".part-"), std::string::npos) << log;
        EXPECT_EQ(FilesIn(dir).size(), 2u);
        EXPECT_EQ(ReadFileBytes(source), ReadFileBytes(SampleFile(tool.sample)));
        if (tool.takesOutput) {
            EXPECT_NE(log.find("输出文件: " + out), std::string::npos) << log;
            // --json names the target, never the temporary file.
            ASSERT_EQ(RunCommand(Command(tool, source, "--yes --json") + " 2>/dev/null", &log), 0) << log;
            const auto summary = nlohmann::json::parse(log);
            EXPECT_EQ(summary["output"], out);
            EXPECT_EQ(summary["result"], "done");
            EXPECT_EQ(summary["partial"], false);
        }
    }
}

TEST(CliOutputRules, AFailedRunLeavesNothingAndSaysWhyLast) {
    for (const auto& tool : kTools) {
        if (tool.name == "sample") continue;  // any file makes a sample
        SCOPED_TRACE(tool.name);
        TempDir dir;
        const std::string source = (dir / "text.wmv").string();
        WriteFileBytes(source, Bytes(5000, 'x'));
        const std::string out = OutputFor(tool, source);

        std::string log;
        EXPECT_EQ(RunCommand(Command(tool, source), &log), 1) << log;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(log.find("输出文件:"), std::string::npos) << log;
        EXPECT_EQ(LastLine(log).rfind("失败: ", 0), 0u) << log;
        EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"text.wmv"});

        WriteFileBytes(out, kKeep);
        EXPECT_EQ(RunCommand(Command(tool, source, "--yes"), &log), 1) << log;
        EXPECT_EQ(ReadFileBytes(out), kKeep);
        EXPECT_EQ(FilesIn(dir).size(), 2u);
    }
}

TEST(CliOutputRules, AnsweringNoOrFindingNothingToDoKeepsTheExistingOutput) {
    TempDir dir;
    // WMV2 video: the converter asks first; without a terminal the answer is No.
    const std::string wmv = (dir / "a.wmv").string();
    fs::copy_file(SampleFile("a_wmv2_wmav2.wmv"), wmv);
    WriteFileBytes(dir / "a.avi", kKeep);
    std::string log;
    EXPECT_EQ(RunCommand(Cli("avi --overwrite " + Quote(wmv)) + " </dev/null", &log), 1) << log;
    EXPECT_EQ(ReadFileBytes(dir / "a.avi"), kKeep);
    EXPECT_EQ(LastLine(log), "已取消: 未创建输出文件.") << log;

    // Chunks without unused tails: nothing to shrink, the named output stays.
    const std::string full = (dir / "g.wmv").string();
    fs::copy_file(SampleFile("g_wmv2_wmav2_pkt16000.wmv"), full);
    for (const std::string& out : {(dir / "g.shr.wmv").string(), (dir / "named.wmv").string()}) {
        WriteFileBytes(out, kKeep);
        EXPECT_EQ(RunCommand(Cli("shrink --yes --no-extra " + Quote(full) + " -o " + Quote(out)), &log), 1) << log;
        EXPECT_EQ(ReadFileBytes(out), kKeep);
        EXPECT_NE(log.find("此文件没有待移除的垃圾数据"), std::string::npos) << log;
        EXPECT_EQ(LastLine(log).rfind("失败: ", 0), 0u) << log;
    }
    EXPECT_EQ(FilesIn(dir).size(), 5u);
}

// A tool that removes what it wrote says so once, by the name the user gave: the temporary file
// beside it is no name the user knows. A file with a video and an audio stream but no packet
// leaves every tool with an unfinished output; a file without video leaves the AVI converter's
// output empty.
TEST(CliOutputRules, ARemovedOutputIsNamedOnceByTheTarget) {
    TempDir dir;
    const std::string noPackets = AsfBuilder().VideoStream(1, "MP43").AudioStream(2).WriteTo(dir / "empty.wmv");
    const std::string audioOnly = (dir / "audio.wma").string();
    fs::copy_file(SampleFile("c_wmav2.wma"), audioOnly);
    struct Case {
        std::string command, source, extension, line;
    };
    const std::string unfinished = "未完成的输出文件已删除: ", empty = "未写入任何内容, 输出文件已删除: ";
    const std::vector<Case> cases = {
        {"repair --preset bad-chunks", noPackets, ".wmv", unfinished},
        {"recover", noPackets, ".wmv", unfinished},
        {"avi", noPackets, ".avi", unfinished},
        {"wav", noPackets, ".wav", unfinished},
        {"avi", audioOnly, ".avi", empty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command + " " + c.source);
        const std::string out = (dir / ("out" + c.extension)).string();
        std::string log;
        EXPECT_EQ(RunCommand(Cli(c.command + " " + Quote(c.source) + " -o " + Quote(out)) + " </dev/null", &log), 1) << log;
        EXPECT_NE(log.find(c.line + out + "\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("输出文件已删除"), log.rfind("输出文件已删除")) << log;
        EXPECT_EQ(log.find(".part-"), std::string::npos) << log;
        EXPECT_EQ(LastLine(log).rfind("失败: ", 0), 0u) << log;
        EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"audio.wma", "empty.wmv"}));
    }
}

TEST(CliOutputRules, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
    TempDir dir;
    const std::string fifo = (dir / "pipe.wmv").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir / "folder.wmv");
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {fifo, "管道"}, {(dir / "folder.wmv").string(), "文件夹"}, {"/dev/null", "设备"}, {(dir / "missing.wmv").string(), "不存在"}};
    std::vector<std::string> commands = {"info", "flags --no"};
    for (const auto& tool : kTools) commands.push_back(tool.name);
    for (const auto& command : commands) {
        for (const auto& [input, reason] : inputs) {
            SCOPED_TRACE(command + " " + input);
            std::string log;
            // A tool that opened the FIFO would wait for a writer: timeout's 124.
            EXPECT_EQ(RunCommand("timeout 20 " + Cli(command + " " + Quote(input)) + " </dev/null", &log), 3) << log;
            EXPECT_NE(log.find("无法读取输入文件"), std::string::npos) << log;
            EXPECT_NE(log.find(reason), std::string::npos) << log;
        }
    }
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"folder.wmv", "pipe.wmv"}));
}

TEST(CliOutputRules, DoneWithoutEncoderIsAFailureWithOnePrefix) {
    // A copy of mendery-cli without the encoder plugin beside it cannot re-encode.
    TempDir dir;
    const std::string cli = (dir / "mendery-cli").string();
    fs::copy_file(MENDERY_CLI, cli);
    const std::string source = (dir / "c.wma").string();
    fs::copy_file(SampleFile("c_wmav2.wma"), source);
    std::string log;
    EXPECT_EQ(RunCommand(Quote(cli) + " reencode " + Quote(source) + " </dev/null", &log), 1) << log;
    EXPECT_NE(log.find("错误: 找不到解码引擎."), std::string::npos) << log;
    EXPECT_EQ(log.find("错误: 错误:"), std::string::npos) << log;
    EXPECT_EQ(log.find("输出文件:"), std::string::npos) << log;
    // The session file stays in the program's folder, as it does after every run.
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"Mendery.wme", "c.wma", "mendery-cli"}));
}

TEST(CliUsage, ErrorsAreChineseAndExitCodesFollowTheTable) {
    TempDir dir;
    const std::string sample = (dir / "a.wmv").string();
    fs::copy_file(SampleFile("a_wmv2_wmav2.wmv"), sample);
    struct Case {
        std::string args, expected;
        int code;
    };
    const std::vector<Case> cases = {
        {"repair --frobnicate " + Quote(sample), "未知的选项或多余的参数: --frobnicate", 2},
        {"repair " + Quote(sample) + " extra.wmv", "未知的选项或多余的参数: extra.wmv", 2},
        {"repair", "缺少必需的参数: SOURCE", 2},
        {"", "缺少要运行的命令", 2},
        {"repair --bad-chunks sometimes " + Quote(sample), "参数 --bad-chunks 的值无效", 2},
        {"reencode --fps 99 " + Quote(sample), "超出范围", 2},
        {"repair -o", "缺少值", 2},
        {"repair --log " + Quote((dir / "no/such/folder/log.txt").string()) + " " + Quote(sample), "无法打开日志文件", 2},
        {"repair " + Quote((dir / "missing.wmv").string()), "文件或文件夹不存在", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::string log;
        EXPECT_EQ(RunCommand(Cli(c.args)), c.code);
        RunCommand(Cli(c.args), &log);
        EXPECT_NE(log.find(c.expected), std::string::npos) << log;
        EXPECT_EQ(log.find("The following"), std::string::npos) << log;
        EXPECT_EQ(log.find(" is required"), std::string::npos) << log;
    }
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"a.wmv"});
    std::string help;
    EXPECT_EQ(RunCommand(Cli("repair --help"), &help), 0);
    EXPECT_NE(help.find("143 stopped by SIGTERM"), std::string::npos) << help;
}

namespace {

// A run of mendery-cli whose log goes into a FIFO this test reads: while nobody reads it the
// command blocks in the middle of its work, so a signal arrives at a known point.
class BlockedRun {
public:
    BlockedRun(const TempDir& dir, const std::vector<std::string>& args) : fifo_((dir / "log.fifo").string()) {
        EXPECT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
        reader_ = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
        std::vector<std::string> argv = {MENDERY_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back("--log");
        argv.push_back(fifo_);
        const std::string out = (dir / "stdout.txt").string(), err = (dir / "stderr.txt").string();
        stdout_ = out;
        stderr_ = err;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            ::dup2(::open("/dev/null", O_RDONLY), 0);
            std::vector<char*> v;
            for (auto& a : argv) v.push_back(a.data());
            v.push_back(nullptr);
            ::execv(v[0], v.data());
            ::_exit(127);
        }
    }
    ~BlockedRun() {
        if (reader_ >= 0) ::close(reader_);
    }
    // Waits until the pipe is full and the command sleeps: it is blocked writing its log.
    bool WaitUntilBlocked() {
        const std::string stat = "/proc/" + std::to_string(pid_) + "/stat";
        for (int i = 0; i < 4000; ++i) {
            int queued = 0;
            ::ioctl(reader_, FIONREAD, &queued);
            std::ifstream in(stat);
            std::string pid, name, state;
            in >> pid >> name >> state;
            if (queued >= ::fcntl(reader_, F_GETPIPE_SZ) && state == "S") return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // Waits until no signal is pending for the command: a second signal sent before the first
    // was taken would merge with it.
    bool WaitUntilSignalTaken() {
        const std::string status = "/proc/" + std::to_string(pid_) + "/status";
        for (int i = 0; i < 2000; ++i) {
            std::ifstream in(status);
            bool pending = false;
            for (std::string line; std::getline(in, line);)
                if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0)
                    pending |= std::stoull(line.substr(7), nullptr, 16) != 0;
            if (!pending) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // Drains the log until the command ends; returns its exit code (-signal when killed).
    int Finish() {
        char buf[65536];
        int status = 0;
        for (;;) {
            while (::read(reader_, buf, sizeof buf) > 0) {
            }
            if (::waitpid(pid_, &status, WNOHANG) == pid_) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    std::string Stdout() const { return Text(stdout_); }
    std::string Stderr() const { return Text(stderr_); }

private:
    static std::string Text(const std::string& path) {
        const Bytes b = ReadFileBytes(path);
        return std::string(b.begin(), b.end());
    }
    std::string fifo_, stdout_, stderr_;
    int reader_ = -1;
    pid_t pid_ = -1;
};

// A file of many small chunks; with --detail the repair logs a line for each.
std::string ManyChunks(const TempDir& dir) {
    AsfBuilder b;
    b.PacketSize(256).VideoStream(1).SimplePackets(6000);
    return b.WriteTo(dir / "many.wmv");
}

}  // namespace

TEST(CliStop, SigtermAndCtrlCStopTheRepairKeepingAPartialFileThatSaysSo) {
    for (const auto& [signal, code] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
        SCOPED_TRACE(code);
        TempDir dir;
        const std::string source = ManyChunks(dir), out = (dir / "out.wmv").string();
        BlockedRun run(dir, {"repair", "--json", "--detail", "--fix-chunk-count", source, "-o", out});
        ASSERT_TRUE(run.WaitUntilBlocked());
        run.Signal(signal);
        ASSERT_EQ(run.Finish(), code) << run.Stderr();
        const auto summary = nlohmann::json::parse(run.Stdout());
        EXPECT_EQ(summary["result"], "stopped");
        EXPECT_EQ(summary["partial"], true);
        EXPECT_EQ(summary["output"], out);
        const std::int64_t written = summary["packetsWritten"];
        EXPECT_GT(written, 0);
        EXPECT_LT(written, 6000);
        EXPECT_NE(run.Stderr().find("已停止: 输出文件不完整, 只含 " + std::to_string(written) + " 个数据块."), std::string::npos)
            << run.Stderr();
        // The header announces what the file holds, not what the source held.
        const Bytes o = ReadFileBytes(out);
        EXPECT_EQ(GetU64(o, HeaderSizeOf(o) + 40), static_cast<std::uint64_t>(written));
        EXPECT_EQ(o.size(), HeaderSizeOf(o) + 50 + static_cast<std::uint64_t>(written) * 256);
    }
}

TEST(CliStop, ASecondSignalEndsAtOnceAndRemovesTheUnfinishedFile) {
    TempDir dir;
    const std::string source = ManyChunks(dir);
    WriteFileBytes(dir / "out.wmv", kKeep);
    BlockedRun run(dir, {"repair", "--yes", "--detail", source, "-o", (dir / "out.wmv").string()});
    ASSERT_TRUE(run.WaitUntilBlocked());
    run.Signal(SIGTERM);
    ASSERT_TRUE(run.WaitUntilSignalTaken());
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Finish(), 143);
    EXPECT_EQ(ReadFileBytes(dir / "out.wmv"), kKeep);
    for (const auto& name : FilesIn(dir)) EXPECT_EQ(name.find(".part-"), std::string::npos) << name;
}

// In a terminal the progress line is redrawn a few times a second, not for every chunk: the
// converters, recovery and the shrinker set their status once per chunk, and a terminal sent
// a line for each of them slowed a long run several times over.
TEST(CliOutputRules, ATerminalGetsTheProgressLineAFewTimesNotOncePerChunk) {
    if (!HaveProgram("script")) GTEST_SKIP() << "script (util-linux) is needed for a terminal";
    for (const auto& tool : kTools) {
        SCOPED_TRACE(tool.name);
        TempDir dir;
        const std::string source = (dir / ("in" + fs::path(tool.sample).extension().string())).string();
        fs::copy_file(SampleFile(tool.sample), source);
        std::string screen;
        const std::string command = Command(tool, source, "--yes");
        ASSERT_EQ(RunCommand("script -qec " + Quote(command.substr(0, command.rfind(" </dev/null"))) + " /dev/null </dev/null",
                             &screen),
                  0)
            << screen;
        std::size_t redraws = 0;
        for (std::size_t at = screen.find("\r\033[K"); at != std::string::npos; at = screen.find("\r\033[K", at + 1)) ++redraws;
        EXPECT_LT(redraws, 30u) << screen.substr(0, 2000);
    }
}
