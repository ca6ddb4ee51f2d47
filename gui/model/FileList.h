#pragma once
// The main window's file list as plain data: which paths it accepts, how it reorders and
// purges its rows, and the playlist it writes. The window shows these rows in its grid.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mendery {

// Operation codes of ReorderList (4 is not used).
enum ReorderCode { rcDelete = 0, rcUp = 1, rcDown = 2, rcSort = 3, rcPurge = 5, rcTop = 6, rcBottom = 7 };

// Only .ASF, .WMV and .WMA (any case) are listed.
bool IsAcceptedMediaPath(std::string_view path);
// Characters 2..31 and 127 become NUL before a path is stored; nothing else changes.
std::string ReplaceControlChars(std::string path);

// The grid's rows: always at least one; a single empty row means the list is empty.
struct FileRows {
    std::vector<std::string> rows{std::string()};
    int current = 0;

    bool Empty() const { return rows.size() == 1 && rows[0].empty(); }
    std::string Selected() const;
    // Appends an accepted path (the first fills the empty row) and makes it current.
    bool Add(const std::string& path);
    // The dialog's selection taken from last to first, then trailing empty rows dropped.
    void AddAll(const std::vector<std::string>& paths);
    void Clear();
};

using FileExistsFn = std::function<bool(const std::string&)>;
using PathLessFn = std::function<bool(const std::string&, const std::string&)>;

// Applies one operation code to the rows, keeping the current row with its entry.
// `exists` serves the purge, `less` the sort (case-insensitive by the user's locale).
void ReorderList(FileRows& list, int code, const FileExistsFn& exists, const PathLessFn& less);

// The lines of an ASX playlist of every row (written with CR LF endings). Paths are XML-escaped
// so that a "&" or "<" in a file name does not make the playlist unreadable to players.
std::vector<std::string> PlaylistLines(const std::vector<std::string>& rows);
// Writes the playlist; throws IoError when the file cannot be written.
void WritePlaylist(const std::string& path, const std::vector<std::string>& rows);

}  // namespace mendery
