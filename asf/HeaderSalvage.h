#pragma once
// A header object whose sub-object walk broke at a damaged size field (below 24 bytes, or past
// the end of the header): the objects after the break are found again by their GUIDs and their
// size fields are mended in place, so that the header walks cleanly again.
#include <cstdint>
#include <span>
#include <string>

#include "asf/AsfObjects.h"
#include "asf/Host.h"

namespace mendery {

struct HeaderSalvage {
    bool needed = false;            // the walk had broken at a size field
    std::uint64_t brokenAfter = 0;  // offset in the header after which the walk was not trusted
    std::size_t found = 0;          // objects found by their GUIDs after that point
    std::size_t resized = 0;        // of which size fields were mended
};

// Mends `header` (the whole header object) and `walk` (its walk) when the walk ended in
// SizeTooSmall or RunsPastEnd; otherwise changes nothing. The objects before the break stand,
// except the last one: its size may be what sent the walk astray. After that point each known
// top-level object found by its GUID ends at the latest where the next one begins (or the
// header ends). A size field below 24, past that point, or leading into bytes that do not walk
// to that point, is set to what the object's own fields say (file and stream properties, header
// extension) or else to the space up to the next object. An unknown object (its GUID damaged
// too) between two known ones is stretched to the next one, so that the header walks to its end.
// `walk.objects` afterwards holds the objects before the break and the known ones found.
HeaderSalvage SalvageHeaderWalk(std::span<std::uint8_t> header, HeaderWalk& walk);

// The log line that says what was mended, in the program's language.
std::string HeaderSalvageNote(const HeaderSalvage& salvage);

// Walks the header object held in `header` and, when the walk broke at a size field, mends it
// (SalvageHeaderWalk) and logs the note to `log` (when given). Returns the walk, mended.
HeaderWalk WalkAndMendHeader(std::span<std::uint8_t> header, ILogSink* log);

}  // namespace mendery
