#pragma once
// A header rebuilt from a good file recorded with the same settings, for a file whose header
// object is missing or destroyed (recovered from a formatted card, its first kilobytes
// overwritten): the packets are found by the reference's packet size and layout, checked
// against its streams, and put behind the reference's header with the file's own counts,
// sizes and durations.
#include <functional>
#include <string>

#include "asf/Host.h"
#include "asf/Outcome.h"

namespace mendery {

// `stopRequested`, when given, is asked after the host let pending events run; a stop ends the
// run with Outcome::Aborted and removes the unfinished output.
//
// Writes `output` (staged beside it): the reference's header objects (file properties mended
// for the damaged file's packets; index objects are not copied), a data object head and the
// damaged file's packets from the first place where they parse at the reference's packet size
// to the last whole packet. Neither input is changed. Refused when the reference has no usable
// header or packets, or when the damaged file's packets do not match it (no run of packets at
// its packet size and layout, stream numbers it does not have); Failed on a read or write
// error; NothingUsable when no packet was found; Done otherwise.
Outcome RebuildHeaderFromReference(const std::string& damaged, const std::string& reference, const std::string& output,
                                   IHost& host,
                                   const std::function<bool()>& stopRequested = {});

}  // namespace mendery
