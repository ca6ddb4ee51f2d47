#pragma once
// How the last run of a converter or the re-encoder ended, for hosts that report an exit status.
namespace mendery {

// Done: the output holds media and is complete. Aborted: stopped by the user; the output, when
// one remains, holds what was converted up to the stop. Declined: the user answered No.
// Refused: the input cannot be converted or nothing usable came out of it. Failed: reading the
// source or writing the output failed. After Declined, Refused and Failed no output remains,
// except where a converter's output reached the 4 GiB RIFF limit (Refused): the whole file
// written up to there is kept.
enum class TConvertOutcome { NotRun, Done, Aborted, Declined, Refused, Failed };

}  // namespace mendery
