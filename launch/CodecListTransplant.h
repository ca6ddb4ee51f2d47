#pragma once
// Copies the codec list object of a source's header into an output's header (clipwright writes
// none). The output is either replaced whole by the new file or left exactly as it was.
#include <cstdint>
#include <functional>
#include <string>

#include "asf/Host.h"

namespace mendery {

enum class TransplantResult {
    Done,
    NoCodecList,       // the source cannot be read, is not ASF or has no codec list: nothing changes
    OutputHasOne,      // the output already holds a codec list: nothing changes
    NoOutput,          // there is no output (the tool wrote none): nothing to do
    OutputNotAsf,      // the output does not begin with a header object: nothing changes
    HeaderTooLarge,    // a header or the codec list does not fit its buffer: nothing changes
    Failed,            // reading or writing failed: the output is as it was
    Stopped,           // a stop came while the output was copied: the output is as it was
};

// Buffer sizes: the source's header object, the output's header object, the codec list object.
inline constexpr std::uint64_t kTransplantSourceHeaderMax = 64001;
inline constexpr std::uint64_t kTransplantOutputHeaderMax = 32768;
inline constexpr std::uint64_t kTransplantCodecListMax = 32792;

// Progress runs from 0 to the output's size in KB, with the percentage as the status text;
// pending events are handled after each megabyte copied, and `stopped` (when given) is asked
// then. Refusals and failures are logged.
TransplantResult TransplantCodecList(IHost& host, const std::string& source, const std::string& output,
                                     const std::function<bool()>& stopped = {});

}  // namespace mendery
