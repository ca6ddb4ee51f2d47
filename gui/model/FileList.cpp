#include "gui/model/FileList.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "asf/BinaryFile.h"

namespace mendery {

bool IsAcceptedMediaPath(std::string_view path) {
    if (path.size() < 4) return false;
    std::string ext(path.substr(path.size() - 4));
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".ASF" || ext == ".WMV" || ext == ".WMA";
}

std::string ReplaceControlChars(std::string path) {
    for (char& c : path) {
        const auto code = static_cast<unsigned char>(c);
        if ((code >= 2 && code <= 31) || code == 127) c = '\0';
    }
    return path;
}

std::string FileRows::Selected() const {
    if (current < 0 || current >= static_cast<int>(rows.size())) return {};
    return rows[current];
}

bool FileRows::Add(const std::string& path) {
    if (!IsAcceptedMediaPath(path)) return false;
    if (!Empty()) rows.emplace_back();
    rows.back() = ReplaceControlChars(path);
    current = static_cast<int>(rows.size()) - 1;
    return true;
}

void FileRows::AddAll(const std::vector<std::string>& paths) {
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) Add(*it);
    while (rows.size() > 1 && rows.back().empty()) rows.pop_back();
    current = static_cast<int>(rows.size()) - 1;
}

void FileRows::Clear() {
    rows.assign(1, std::string());
    current = 0;
}

void ReorderList(FileRows& list, int code, const FileExistsFn& exists, const PathLessFn& less) {
    if (list.rows.empty() || list.rows.front().empty()) return;
    std::vector<std::string> work;
    for (const auto& row : list.rows)
        if (!row.empty()) work.push_back(row);
    int k = std::clamp(list.current, 0, static_cast<int>(work.size()) - 1);
    const int last = static_cast<int>(work.size()) - 1;
    switch (code) {
        case rcDelete: work.erase(work.begin() + k); break;
        case rcUp:
            if (k > 0) { std::swap(work[k], work[k - 1]); --k; }
            break;
        case rcDown:
            if (k < last) { std::swap(work[k], work[k + 1]); ++k; }
            break;
        case rcSort:
            std::stable_sort(work.begin(), work.end(), less);
            k = 0;
            break;
        case rcPurge:
            std::erase_if(work, [&](const std::string& p) { return !exists(p); });
            break;
        case rcTop:
            if (k > 0) { std::rotate(work.begin(), work.begin() + k, work.begin() + k + 1); k = 0; }
            break;
        case rcBottom:
            if (k < last) { std::rotate(work.begin() + k, work.begin() + k + 1, work.end()); k = last; }
            break;
        default: return;
    }
    if (work.empty()) work.emplace_back();
    list.rows = std::move(work);
    list.current = std::min(k, static_cast<int>(list.rows.size()) - 1);
}

namespace {
std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}
}  // namespace

std::vector<std::string> PlaylistLines(const std::vector<std::string>& rows) {
    std::vector<std::string> lines{"<asx version = \"1.0\">", "<title>Mendery - Play All</title>",
                                   "<author>Orvel</author>"};
    for (const auto& row : rows) {
        lines.push_back("  <entry>");
        lines.push_back("  <ref href = \"file://" + XmlEscaped(row) + "\"/>");
        lines.push_back("  </entry>");
    }
    lines.push_back("</asx>");
    return lines;
}

void WritePlaylist(const std::string& path, const std::vector<std::string>& rows) {
    std::string text;
    for (const auto& line : PlaylistLines(rows)) text += line + "\r\n";
    BinaryFile out(path, BinaryFile::Mode::Create);
    out.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    out.Close();
}

}  // namespace mendery
