#pragma once
// How a tool's last run ended, for hosts that report an exit status or decide what becomes of
// the output. Every tool reports through this one enum.
namespace mendery {

// Done: the output holds media and is complete. Aborted: stopped by the user; the output, when
// one remains, holds what was written up to the stop. Declined: the user answered No to the
// tool's question. Refused: the input cannot be used (the log says why). Failed: reading the
// source or writing the output failed. NothingUsable: the run went through but its output would
// hold no media, so none was kept. After Declined, Refused, Failed and NothingUsable no output
// remains, except where a converter's output reached the 4 GiB RIFF limit (Refused): the whole
// file written up to there is kept.
enum class Outcome { NotRun, Done, Aborted, Declined, Refused, Failed, NothingUsable };

}  // namespace mendery
