#pragma once
// The rescue's steps: for each kind, its title, the rule that plans it from the findings and
// the function that runs it from one intermediate file into the next. Adding a kind is one row
// in each of the two tables in RescueSteps.cpp: its rule and its runner.
#include <optional>
#include <string>
#include <vector>

#include "asf/Outcome.h"
#include "rescue/Rescue.h"
#include "rescue/RescueDiagnosis.h"
#include "rescue/RescueWork.h"

namespace mendery {

// What every step may use besides its input and output.
struct RescueContext {
    std::string source;         // the damaged file the user gave (read only)
    std::string reference;      // a good file recorded with the same settings, or empty
    std::string clipwright;     // the cutting tool
    std::string clipwrightProblem;  // why the cutting tool cannot be run, or empty
    std::string codecListFrom;  // the file whose header the codec list is copied from (empty: source)
    RescueFindings findings;
    const bool* aborted = nullptr;  // the run's stop request
    bool Aborted() const { return aborted && *aborted; }
};

// How one step ended. `wroteOutput` is false when the step found nothing to do (its note says
// why) or failed; then the chain goes on from its input.
struct StepEnd {
    Outcome outcome = Outcome::NotRun;
    bool wroteOutput = false;
    std::string note;
};

using StepRunner = StepEnd (*)(const RescueContext& context, StepHost& host, const std::string& input,
                               const std::string& output);
// Why the findings call for a step of this kind, or nothing when they do not.
using PlanRule = std::optional<std::string> (*)(const RescueContext& context);

// The title and the short tag (for intermediate names) of a kind.
const char* StepTitle(RescueStepKind kind);
const char* StepTag(RescueStepKind kind);
StepRunner RunnerFor(RescueStepKind kind);

// The steps the findings call for, in the order they run. `skipped`, when given, gets a line
// for each step the findings call for that cannot run (the cutting tool is missing).
std::vector<RescueStep> PlanSteps(const RescueContext& context, std::vector<std::string>* skipped = nullptr);

// Whether a step of this kind works on the header (then the file is diagnosed again after it).
bool IsHeaderStep(RescueStepKind kind);
// Whether a step of this kind rewrites the packets (the lost-chunk recovery, the advanced repair).
bool IsPacketStep(RescueStepKind kind);

// Why the cutting tool at `path` cannot be run (empty path, missing, not executable), or empty.
std::string ClipwrightProblem(const std::string& path);

// The chosen options of the advanced repair for these findings.
struct RepairChoice {
    bool deleteBadChunks = false;  // damaged packets are dropped
    // Two-byte packet length fields are taken out (the packet size gives every packet's
    // length), and the damaged packets whose only fault is that field are kept.
    bool removeLengthFields = false;
    bool fixSizesAndDurations = false;
};
RepairChoice ChooseRepairOptions(const RescueFindings& findings);

}  // namespace mendery
