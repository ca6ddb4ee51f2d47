#include "rescue/RescueWork.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "asf/BinaryFile.h"

namespace mendery {

namespace fs = std::filesystem;

namespace {
const std::string kWorkFolderStem = "mendery-rescue-";

// The pid in a work folder's name, or 0 when the name is not one of ours.
long PidInName(const std::string& name) {
    if (name.rfind(kWorkFolderStem, 0) != 0) return 0;
    const std::size_t digits = kWorkFolderStem.size();
    const std::size_t dash = name.find('-', digits);
    if (dash == std::string::npos || dash == digits || dash - digits > 9) return 0;
    if (name.find_first_not_of("0123456789", digits) != dash) return 0;
    return std::stol(name.substr(digits, dash - digits));
}

bool ProcessRuns(long pid) {
    // EPERM: a process of another user runs with that pid.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}
}  // namespace

std::string WorkFolderPrefix(long pid) { return kWorkFolderStem + std::to_string(pid) + "-"; }

int RemoveStaleWorkFolders(const std::string& base) {
    std::vector<fs::path> stale;
    std::error_code ec;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        const long pid = PidInName(it->path().filename().string());
        if (pid <= 0 || pid == static_cast<long>(::getpid()) || ProcessRuns(pid)) continue;
        struct stat st{};
        // Not through a link, and only what this user made.
        if (::lstat(it->path().c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) stale.push_back(it->path());
    }
    int removed = 0;
    for (const auto& folder : stale) {
        std::error_code removeError;
        fs::remove_all(folder, removeError);
        if (!removeError) ++removed;
    }
    return removed;
}

RescueWorkFolder::RescueWorkFolder(const std::string& given) {
    if (!given.empty()) {
        std::error_code ec;
        fs::create_directories(given, ec);
        if (ec || !fs::is_directory(given))
            throw IoError("无法使用工作文件夹 \"" + given + "\": " + SystemReason(ec ? ec.value() : ENOTDIR));
        path_ = given;
        return;
    }
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    RemoveStaleWorkFolders(base.string());
    std::string pattern = (base / (WorkFolderPrefix(::getpid()) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw IoError("无法创建工作文件夹 \"" + pattern + "\": " + SystemReason(errno));
    path_ = pattern;
    owned_ = true;
}

RescueWorkFolder::~RescueWorkFolder() { Clear(); }

std::string RescueWorkFolder::NewFile(std::size_t step, const std::string& tag, const std::string& extension) {
    std::string name = (fs::path(path_) / ("rescue-" + std::to_string(step) + "-" + tag + extension)).string();
    files_.push_back(name);
    return name;
}

void RescueWorkFolder::Clear() {
    std::error_code ec;
    for (const auto& f : files_) {
        fs::remove(f, ec);
        // Tools write beside their output under temporary names of their own.
        fs::remove(f + ".tmp", ec);
        fs::remove(f + ".pop", ec);
    }
    files_.clear();
    if (owned_ && !path_.empty()) fs::remove_all(path_, ec);
}

void StepHost::ProcessMessages() {
    outer_.ProcessMessages();
    if (AfterEvents) AfterEvents();
}

void StepHost::Message(std::string_view text, MessageKind) { log_.emplace_back(text); }

Answer StepHost::Ask(std::string_view text, Buttons buttons, MessageKind) {
    log_.emplace_back(std::string(text) + " -> 否");
    return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
}

}  // namespace mendery
