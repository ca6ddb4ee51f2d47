#pragma once
// The output side of one command run, the same for every tool that writes a new file: the
// source and the target are checked before anything is created, an existing target is kept
// unless --yes/--overwrite, the tool writes under a temporary name beside the target, and the
// file is put in place only when the run produced media. Whatever else happens, the target
// stays as it was and only the temporary file is removed.
#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "cli/CliHost.h"
#include "cli/RunResult.h"
#include "asf/StagedOutput.h"

namespace mendery::cli {

// Empty when `source` is a regular file the command may open, else the exit code after the
// reason was shown (3: missing, a folder, a FIFO, a device, a socket).
std::optional<int> CheckSource(CliHost& host, const std::string& source);

// The packet count the data object of an ASF file announces; -1 when the file holds no
// readable header and data object head.
std::int64_t DataPacketsIn(const std::string& asfPath);

// How a tool's run ended, as the command reads it from the tool's results.
struct RunEnd {
    RunResult result = RunResult::NotRun;
    std::int64_t mediaWritten = -1;  // packets (frames, objects) in the output; -1 when unknown
    const char* unit = "数据块";     // what mediaWritten counts, for the closing line
};

class CommandOutput {
public:
    CommandOutput(CliHost& host, const CommonOptions& common) : host_(host), common_(common) {}
    ~CommandOutput();

    // Checks the source and the target and creates the temporary file. Empty when the tool may
    // run (writing to WorkPath()), else the exit code after the refusal was shown.
    std::optional<int> Open(const std::string& source, const std::string& target);
    const std::string& Target() const { return target_; }
    // The name the tool writes to: the temporary file beside the target.
    const std::string& WorkPath() const;

    // Keeps the output (renamed over the target) when the run finished with media in it, or
    // stopped after writing some; removes it otherwise. Prints "输出文件: TARGET" only for a
    // kept file and a closing line that says why a run ended without one or that the kept
    // file is partial. Returns the run's result after these checks.
    RunResult Finish(RunEnd end);
    bool Kept() const { return kept_; }
    bool Partial() const { return kept_ && end_.result == RunResult::Stopped; }

    // "output", "result", "partial" and "packetsWritten" of the --json summary.
    void AddToJson(nlohmann::json& summary) const;

private:
    void Close(const std::string& line);
    CliHost& host_;
    const CommonOptions& common_;
    std::string target_;
    std::unique_ptr<StagedOutput> staged_;
    RunEnd end_;
    bool kept_ = false;
};

}  // namespace mendery::cli
