#pragma once
// Header fields that contradict the file, taken from the file itself: the header object's size
// and sub-object count from its children, the packet size from the packet grid, the size and
// stream number of stream properties objects from their own fields and from the packets.
#include <functional>
#include <string>

#include "asf/Host.h"
#include "asf/Outcome.h"

namespace mendery {

// `stopRequested`, when given, is asked after the host let pending events run; a stop ends the
// run with Outcome::Aborted and removes the unfinished output.
//
// Writes a copy of `source` to `output` (staged beside it) whose header fields that contradict
// the file are mended, and logs every change. The source is never changed. When nothing
// contradicts the file it says so, writes nothing and returns Outcome::NotRun with
// `changedAnything` false: no output is made, and the caller goes on with the source as it is.
// Done: the mended copy is in place. Refused: the file does not begin with a header object or
// holds no data object. Failed: reading the source or writing the output failed.
Outcome MendHeaderFields(const std::string& source, const std::string& output, IHost& host, bool* changedAnything,
                         const std::function<bool()>& stopRequested = {});

}  // namespace mendery
