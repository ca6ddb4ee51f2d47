#pragma once
// The arguments of clipwright, the cutting, joining and basic-repair tool:
//   -i FILE (repeatable)  -o FILE  -y  -resync  -istart  -b  [-start S [-dur D]]...
// A -start without its -dur keeps everything from S to the end of the file; a piece of zero
// length is no piece ("everything except 0..5" arrives as -start 0 -dur 0 -start 5).
#include <optional>
#include <string>
#include <vector>

namespace mendery {

struct ClipPiece {
    double start = 0;               // seconds of presentation time
    std::optional<double> duration; // none: to the end of the file
};

struct ClipArgs {
    std::vector<std::string> inputs;
    std::string output;
    bool overwrite = false;  // -y
    bool resync = false;     // -resync: search byte by byte for the next packet after damage
    bool istart = false;     // -istart: do not wait for a key frame
    bool sameBitrate = false;  // -b: refuse to join inputs whose bitrates differ
    bool cut = false;          // a -start was given (even when every piece turned out empty)
    std::vector<ClipPiece> pieces;  // the pieces to keep; empty ones are left out

    enum class Mode { Repair, Join, Cut };
    Mode GetMode() const {
        if (cut) return Mode::Cut;
        return inputs.size() > 1 ? Mode::Join : Mode::Repair;
    }
};

// Parses argument tokens (argv without the program name). A single token holding a whole
// parameter text ("-i \"a.wmv\" -o ...") is split first. Returns the refusal reason in
// `error` and nothing when the arguments are unusable.
std::optional<ClipArgs> ParseClipArgs(std::vector<std::string> tokens, std::string& error);

}  // namespace mendery
