#pragma once
// How a tool's run ended, as far as its output is concerned: whether the file it wrote is put
// in place of the chosen output or thrown away. Plain C++: the tool dialogs and their tests
// share it.
#include <cstdint>

#include "asf/Outcome.h"

namespace mendery::ui {

enum class RunEnd {
    Nothing,  // failed, refused, declined, or no media written: the output is thrown away
    Done,     // finished with media written
    Partial,  // stopped by the user after media was written: kept, and said to be partial
};

// Every outcome the tools may add later that is neither done nor stopped counts as a failure.
inline RunEnd RunEndOf(bool done, bool stopped, std::int64_t mediaWritten) {
    if (mediaWritten <= 0) return RunEnd::Nothing;
    if (done) return RunEnd::Done;
    if (stopped) return RunEnd::Partial;
    return RunEnd::Nothing;
}

inline RunEnd RunEndOf(Outcome outcome, std::int64_t mediaWritten) {
    return RunEndOf(outcome == Outcome::Done, outcome == Outcome::Aborted, mediaWritten);
}

}  // namespace mendery::ui
