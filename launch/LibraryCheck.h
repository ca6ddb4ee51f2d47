#pragma once
// The start-up check for the component the cutting commands need. The search order: the bare
// name (the current folder), each directory of the search list (";"-separated, empty elements
// skipped; here the PATH variable, whose ":" separators are accepted too), the Windows folder
// and its "system" and "system32" subfolders (when such a folder variable is set). A separator
// is put between a directory and the name unless the directory already ends in one.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mendery {

struct LibrarySearch {
    std::string name;                  // the file looked for
    std::string searchList;            // the directories, ";" or ":" separated
    std::string windowsFolder;         // empty: not searched
    std::function<bool(const std::string&)> exists;  // defaults to a file test
};

// Every place looked at, in order.
std::vector<std::string> LibrarySearchOrder(const LibrarySearch& search);
// The first place where the file exists, or nothing.
std::optional<std::string> FindLibrary(const LibrarySearch& search);

// On this system the disabled commands need clipwright: that is the file looked for, with the
// running program's folder put before the directories of PATH.
LibrarySearch ClipwrightLibrarySearch();
bool ClipwrightAvailable();

// The warning shown when the search finds nothing.
std::string MissingLibraryWarning();

}  // namespace mendery
