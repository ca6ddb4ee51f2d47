#pragma once
// The split window's logic that needs no window: the precheck that refuses files the cutting
// tool cannot cut reliably, the marks and their rules, and the cut itself.
#include <cstdint>
#include <optional>
#include <string>

#include "launch/ProcessRunner.h"
#include "asf/Host.h"

namespace mendery {

// "大小匹配警告 ": 0 no size check, 1 warn when the real size differs from the header's by more
// than 1 %, 2 warn when the file is shorter than its header says.
enum class SizeMatchMode { None = 0, Differs = 1, Shorter = 2 };

inline constexpr std::uint64_t kSplitHeaderBuffer = 64001;

// Shows the first failing check's message (or asks about the size) and returns false, or true
// when the file may be cut.
bool SplitPrecheck(IHost& host, const std::string& path, SizeMatchMode mode);

// Rounding of the player's milliseconds to whole seconds (to nearest, ties to even).
std::int64_t RoundMsToSeconds(std::int64_t ms);
// The file's length in whole seconds as the window keeps it: rounded seconds plus 1.
std::int64_t SplitTotalSeconds(std::int64_t lengthMs);

class SplitMarks {
public:
    explicit SplitMarks(std::int64_t total = 0) { Reset(total); }
    void Reset(std::int64_t total);  // start 0, end total

    std::int64_t Total() const { return total_; }
    std::int64_t Start() const { return start_; }
    std::int64_t End() const { return end_; }
    // A value outside 0..total changes nothing. The start may pass the end; the cut refuses that.
    bool SetStart(std::int64_t v);
    bool SetEnd(std::int64_t v);
    void SetStartFromPosition(std::int64_t ms) { SetStart(RoundMsToSeconds(ms)); }  // "设置起点"
    void SetEndFromPosition(std::int64_t ms) { SetEnd(RoundMsToSeconds(ms)); }      // "设置终点"
    void StartUp() { SetStart(start_ + 1); }
    void StartDown() { SetStart(start_ - 1); }
    void EndUp() { SetEnd(end_ + 1); }
    void EndDown() { SetEnd(end_ - 1); }
    // "设置下一选择": the next piece of the same length, unless the file ends first.
    void NextSelection();

private:
    std::int64_t total_ = 0, start_ = 0, end_ = 0;
};

// The refusal message for a cut of start..end, or nothing when the range may be cut.
std::optional<std::string> CutRangeRefusal(std::int64_t start, std::int64_t end, std::int64_t total);

// "分割": checks the range, runs the tool with the chosen command line and copies the codec
// list; tells the user the outcome. `except` keeps everything but the selection. Returns
// whether the cut was written.
bool RunSplitCut(IHost& host, const ToolRunner& tool, const std::string& source, const std::string& output,
                 const SplitMarks& marks, bool except);

}  // namespace mendery
