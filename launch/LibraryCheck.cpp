#include "launch/LibraryCheck.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "launch/ClipwrightCommandLines.h"

namespace mendery {
namespace {

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.ends_with('/') || dir.ends_with('\\') || dir.ends_with(':')) return dir + name;
    return dir + "/" + name;
}

bool IsFile(const std::string& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

std::vector<std::string> LibrarySearchOrder(const LibrarySearch& s) {
    std::vector<std::string> out{s.name};
    std::string element;
    auto flush = [&] {
        if (!element.empty()) out.push_back(Join(element, s.name));
        element.clear();
    };
    for (char c : s.searchList) {
        if (c == ';' || c == ':') flush();
        else element += c;
    }
    flush();
    if (!s.windowsFolder.empty()) {
        out.push_back(Join(s.windowsFolder, s.name));
        out.push_back(Join(Join(s.windowsFolder, "system"), s.name));
        out.push_back(Join(Join(s.windowsFolder, "system32"), s.name));
    }
    return out;
}

std::optional<std::string> FindLibrary(const LibrarySearch& s) {
    auto exists = s.exists ? s.exists : IsFile;
    for (const auto& p : LibrarySearchOrder(s))
        if (exists(p)) return p;
    return std::nullopt;
}

LibrarySearch ClipwrightLibrarySearch() {
    LibrarySearch s;
    s.name = "clipwright";
    // The program's own folder comes first: that is where the commands run it from.
    const char* path = std::getenv("PATH");
    s.searchList = RunningProgramFolder() + ";" + (path ? path : "");
    const char* windir = std::getenv("windir");
    s.windowsFolder = windir ? windir : "";
    s.exists = [](const std::string& p) { return IsFile(p) && ::access(p.c_str(), X_OK) == 0; };
    return s;
}

bool ClipwrightAvailable() { return FindLibrary(ClipwrightLibrarySearch()).has_value(); }

std::string MissingLibraryWarning() {
    // Here the missing component is clipwright, which comes with Mendery itself: the place to
    // get it is Mendery's own installation.
    return "警告:在您的系统中发现有视频组件丢失!\r请安装\"Microsoft Media Encoder 7.1\".它可以免费从"
           "Mendery 的安装包 (clipwright 与 mendery 位于同一文件夹) "
           "获得.\r您可以继续使用但某些功能会被禁用.";
}

}  // namespace mendery
