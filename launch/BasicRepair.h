#pragma once
// Basic repair through the cutting tool, as a new file or replacing the source, and the join of
// all listed files. The source is never lost: every delete and rename of the replace mode is
// checked, and the flow stops at the first one that fails. Each flow ends by telling the user
// the outcome: the output on success, clipwright's own reason when it failed, that it stopped
// when the user stopped it. A run that did not finish is never taken for a result: no codec
// list is copied, nothing is renamed, and a file of the output's name from before is not
// handed back.
#include <optional>
#include <string>
#include <vector>

#include "launch/ClipwrightCommandLines.h"
#include "launch/ProcessRunner.h"
#include "asf/Host.h"

namespace mendery {

// True when the two sizes differ by at most 5 % of `reference` (both known, not 0).
bool SizesClose(std::int64_t size, std::int64_t reference);

// New-file mode: runs the tool from `source` into `output` and copies the codec list. Returns
// the path to add to the list (the output, when it exists).
std::optional<std::string> BasicRepairToNewFile(IHost& host, const ToolRunner& tool, const std::string& source,
                                                const std::string& output, const BasicRepairOptions& options);

// Replace mode: repairs into source + ".tmp"; when the sizes are close (or the user agrees) the
// source becomes source + ".旧" and the repaired file takes its name; otherwise the repaired
// file is kept under the "已修复" name. Returns a path to add to the list (only in that case).
std::optional<std::string> BasicRepairReplacingSource(IHost& host, const ToolRunner& tool, const std::string& source,
                                                      const BasicRepairOptions& options);

// The texts of the outcomes.
inline constexpr char kStoppedNoOutput[] = "已停止. 没有写出输出文件.";
inline constexpr char kStoppedSourceKept[] = "已停止. 源文件没有被改动.";
// "基础修复完成." and the output, with what clipwright said about the inputs (a damaged header it repaired).
std::string DoneText(const std::string& job, const std::string& output, const RunResult& result);

// Runs the cutting tool for `job`. When the run did not finish, tells the user why
// (clipwright's own reason, or `stoppedText` after a stop) and returns false; a failed start
// was shown by the runner. A stop that comes after the tool finished is for the caller.
bool RunFinished(IHost& host, const ToolRunner& tool, const std::string& parameters, const std::string& job,
                 const std::string& stoppedText, RunResult& result);

// Copies the source's codec list into a finished output. False after a stop meanwhile: the
// output stays complete as the tool wrote it, and the user is told.
bool CopyCodecListAfterRun(IHost& host, const ToolRunner& tool, const std::string& source, const std::string& output);

// Joins `files` in order into `output`, copies the first file's codec list, warns when the
// result's size is far from the inputs' total. Returns the output to add to the list.
std::optional<std::string> JoinListedFiles(IHost& host, const ToolRunner& tool, const std::vector<std::string>& files,
                                           const std::string& output, bool allowIncompatibleBitrates);

}  // namespace mendery
