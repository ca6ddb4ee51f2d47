#pragma once
// One-step rescue: diagnose a damaged file, run the tools that fit its damage one after another
// on intermediate copies in a work folder, check every result with an independent decode, and
// keep the best file as the output. The source is never touched; the intermediates are removed
// at the end; the output is staged and put in place only when the best result holds media.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "asf/Host.h"
#include "asf/Outcome.h"

namespace mendery {

// What an independent decode of a file found (FFmpeg's decoders, through the encoder plugin).
struct DecodeCheck {
    bool opened = false;          // the file opened and holds at least one stream
    std::string whyNot;           // why it did not open, in the program's language
    double playableSeconds = 0;   // span from the first to the last decoded frame
    struct Stream {
        int number = 0;           // ASF stream number
        std::string kind;         // "视频" / "音频" / other
        std::int64_t frames = 0;  // frames (video) or audio frames decoded
    };
    std::vector<Stream> streams;
    std::int64_t decodeErrors = 0;
    bool seekable = false;        // a seek to the middle landed near its target
    std::int64_t Frames() const;  // all streams together
};

enum class RescueStepKind {
    RebuildHeader,        // a header built from a reference file (the source has none)
    MendHeader,           // header fields that contradict the file, taken from the file itself
    RecoverLostChunks,    // lost-chunk recovery: the packet grid is broken
    RepairPackets,        // the advanced repair: damaged packets on an intact grid
    RebuildTimesAndIndex, // clipwright's basic repair: send times, durations, the index
    FixFlags,             // the flag fixer: seekable flag, durations
    TransplantCodecList,  // the codec list from the source into the result
};

struct RescueStep {
    RescueStepKind kind{};
    std::string title;                 // what the step does, in the program's language
    std::string reason;                // why the diagnosis chose it
    Outcome outcome = Outcome::NotRun;
    std::vector<std::string> log;      // the step's own log lines
    std::optional<DecodeCheck> check;  // the decode of the step's result, when it produced one
    bool kept = false;                 // its result went on to the next step
    // The step reads the file the packet steps started from (the source, or the file a header
    // step made) instead of the latest kept result: another way through the same packets,
    // kept only when it decodes better than what the chain made of them.
    bool fromPacketsStart = false;
    std::string note;                  // e.g. why its result was not kept
};

struct RescueReport {
    Outcome outcome = Outcome::NotRun;
    std::vector<std::string> diagnosis;  // what the survey found, one finding per line
    DecodeCheck before;                  // the source's own decode (opened=false when it cannot)
    std::optional<DecodeCheck> after;    // the kept output's decode
    std::vector<RescueStep> steps;       // planned and run, in order
    std::string output;                  // the file kept, or empty
    bool needsReference = false;         // refused: the header cannot be read and no reference file was given
};

// Shows the steps as they run (the desktop dialog, the command line's progress lines).
class IRescueObserver {
public:
    virtual ~IRescueObserver() = default;
    virtual void Diagnosed(const RescueReport& /*report*/) {}  // diagnosis, before, planned steps
    virtual void StepStarted(std::size_t /*index*/, const RescueStep& /*step*/) {}
    virtual void StepEnded(std::size_t /*index*/, const RescueStep& /*step*/) {}
    // After a header step whose result was kept the file is diagnosed again: `diagnosis` holds
    // the new findings (also appended to the report's), and the steps from `firstNew` on were
    // planned from them, replacing those planned before.
    virtual void PlanChanged(const RescueReport& /*report*/, std::size_t /*firstNew*/,
                             const std::vector<std::string>& /*diagnosis*/) {}
};

class RescueRun {
public:
    std::string FileName;           // the damaged source
    std::string OutFileName;        // where the rescued file goes (replaced only on success)
    std::string ReferenceFileName;  // a good file recorded with the same settings, or empty
    std::string ClipwrightPath;     // the cutting tool, for the basic repair step
    std::string WorkFolder;         // for intermediates; empty: a new folder under the system's temp
    bool Aborted = false;           // set by the host while the run lets events run
    // The independent decode of a file (`stop` is asked now and then; true ends it early).
    // Empty: FFmpeg's decoders in the encoder plugin.
    using DecodeFunction = std::function<DecodeCheck(const std::string& path, const std::function<bool()>& stop)>;
    DecodeFunction Decoder;
    // Told the temporary file's path while the result is copied in beside the target, and an
    // empty path once it is in place or removed: a program that is killed meanwhile removes it.
    std::function<void(const std::string& tempPath)> OutputStaging;

    void AttachHost(IHost& host) { host_ = &host; }
    void AttachObserver(IRescueObserver* observer) { observer_ = observer; }
    // One whole run: diagnose, plan, run the steps, verify, keep the best file.
    const RescueReport& Run();
    const RescueReport& LastReport() const { return report_; }
    Outcome LastOutcome() const { return report_.outcome; }

private:
    IHost* host_ = nullptr;
    IRescueObserver* observer_ = nullptr;
    RescueReport report_;
};

// The before/after table (playable seconds, frames per stream, decode errors, seekable), as
// aligned text lines in the program's language.
std::vector<std::string> RescueTable(const RescueReport& report);

}  // namespace mendery
