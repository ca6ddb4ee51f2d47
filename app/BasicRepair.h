#pragma once
// Basic repair through the cutting tool, as a new file or replacing the source, and the join of
// all listed files. The source is never lost: every delete and rename of the replace mode is
// checked, and the flow stops at the first one that fails.
#include <optional>
#include <string>
#include <vector>

#include "app/ClipwrightCommandLines.h"
#include "app/ProcessRunner.h"
#include "engine/Host.h"

namespace mendery {

// True when the two sizes differ by at most 5 % of `reference` (both known, not 0).
bool SizesClose(std::int64_t size, std::int64_t reference);

// New-file mode: runs the tool from `source` into `output` and copies the codec list. Returns
// the path to add to the list (the output, when it exists).
std::optional<std::string> BasicRepairToNewFile(IHost& host, const ToolRun& run, const std::string& source,
                                                const std::string& output, const BasicRepairOptions& options);

// Replace mode: repairs into source + ".tmp"; when the sizes are close (or the user agrees) the
// source becomes source + ".旧" and the repaired file takes its name; otherwise the repaired
// file is kept under the "已修复" name. Returns a path to add to the list (only in that case).
std::optional<std::string> BasicRepairReplacingSource(IHost& host, const ToolRun& run, const std::string& source,
                                                      const BasicRepairOptions& options);

// Joins `files` in order into `output`, copies the first file's codec list, warns when the
// result's size is far from the inputs' total. Returns the output to add to the list.
std::optional<std::string> JoinListedFiles(IHost& host, const ToolRun& run, const std::vector<std::string>& files,
                                           const std::string& output, bool allowIncompatibleBitrates);

}  // namespace mendery
