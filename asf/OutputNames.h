#pragma once
// The names every tool gives its outputs and temporary files, derived from its input.
#include <string>
#include <vector>

namespace mendery {

enum class OutputFor {
    AdvancedRepair,       // stem + ".adv" + ext
    LostChunk,            // stem + ".lch" + ext
    Shrinker,             // stem + ".shr" + ext
    ReEncoder,            // stem + ".mp43" + ext
    Avi,                  // stem + ".avi"
    Wav,                  // stem + ".wav"
    Split,                // stem + ".cut" + ext
    BasicRepairNew,       // stem + ".bsr" + ext
    BasicRepairTemp,      // path + ".tmp"
    BasicRepairBackup,    // path + ".旧"
    BasicRepairDeclined,  // stem + "已修复" + ext
    Sample,               // path + ".sam"
    ShrinkTemp,           // (the shrinker's output) + ".tmp"
    TransplantTemp,       // (the output receiving a codec list) + ".pop"
    Rescue,               // stem + ".rsc" + ext
};

std::string ToolOutputName(const std::string& input, OutputFor producer);

// The proposed name of a join of the listed files (first F, last L): F's folder and extension,
// F's name up to the end of the part both share and the first differing digit run, "-", and
// L's name from where they differ. clip01.wmv .. clip05.wmv gives clip01-5.wmv.
std::string JoinedOutputName(const std::string& first, const std::string& last);

// Splits a path into stem and extension (the extension keeps its dot; empty when the file
// name has none), so that stem + extension == path.
void SplitExtension(const std::string& path, std::string& stem, std::string& extension);

}  // namespace mendery
