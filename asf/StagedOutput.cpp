#include "asf/StagedOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "asf/BinaryFile.h"

namespace mendery {
namespace {

namespace fs = std::filesystem;

// "dir/.name.part-XXXXXX.ext": hidden, in the same folder (so the rename stays on one file
// system), with the target's extension last.
std::string TempTemplate(const std::string& target, std::size_t& suffixLength) {
    const fs::path path(target);
    const std::string ext = path.extension().string();
    suffixLength = ext.size();
    const fs::path folder = path.parent_path();
    const std::string name = "." + path.stem().string() + ".part-XXXXXX" + ext;
    return folder.empty() ? name : (folder / name).string();
}

// The temporary files of the staged outputs that exist, each with its target. The re-encoder
// runs on a thread of its own, hence the lock.
class StagedNames {
public:
    void Add(const std::string& temp, const std::string& target) {
        const std::lock_guard lock(mutex_);
        targets_[temp] = target;
    }
    void Remove(const std::string& temp) {
        const std::lock_guard lock(mutex_);
        targets_.erase(temp);
    }
    bool IsTemp(const std::string& path) const {
        const std::lock_guard lock(mutex_);
        return targets_.count(path) > 0;
    }
    std::string TargetOf(const std::string& path) const {
        const std::lock_guard lock(mutex_);
        const auto it = targets_.find(path);
        return it == targets_.end() ? path : it->second;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> targets_;
};

StagedNames& Staged() {
    static StagedNames names;
    return names;
}

}  // namespace

StagedOutput::StagedOutput(std::string target) : target_(std::move(target)) {
    std::size_t suffixLength = 0;
    std::string pattern = TempTemplate(target_, suffixLength);
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), static_cast<int>(suffixLength));
    if (fd < 0) {
        const int error = errno;
        throw IoError("无法创建输出文件 \"" + target_ + "\": " + SystemReason(error));
    }
    // mkstemps makes the file private; an output gets the permissions any new file would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    temp_.assign(buffer.data());
    Staged().Add(temp_, target_);
}

StagedOutput::~StagedOutput() {
    if (!committed_) Discard();
    Staged().Remove(temp_);
}

void StagedOutput::Commit() {
    if (committed_) return;
    // A tool that stages its output inside a run that staged it already (the command line and
    // the desktop program hand tools a temporary name) would rename over the outer temporary
    // file, which holds nothing to keep. Renaming over an existing file makes ext4 write the
    // whole new file back within the rename (128 ms of a 300 MB header rebuild that took 311 ms);
    // removed first, it is a plain rename.
    if (Staged().IsTemp(target_)) ::unlink(target_.c_str());
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        Discard();
        throw IoError("无法把输出文件放到 \"" + target_ + "\": " + SystemReason(error));
    }
    committed_ = true;
}

void StagedOutput::Discard() {
    if (committed_ || temp_.empty()) return;
    ::unlink(temp_.c_str());
}

std::string UserOutputName(const std::string& path) { return Staged().TargetOf(path); }

void DiscardOutput(const std::string& path, ILogSink* log, DiscardReason why) {
    std::error_code ec;
    if (!fs::remove(path, ec) || !log) return;
    const char* line = why == DiscardReason::Empty ? "未写入任何内容, 输出文件已删除: " : "未完成的输出文件已删除: ";
    log->Log(line + UserOutputName(path));
}

std::string ExistingOutputRefusal(const std::string& target, bool overwrite) {
    std::error_code ec;
    if (overwrite || !fs::exists(fs::symlink_status(target, ec))) return {};
    return "输出文件已存在: " + target + " (用 --yes 覆盖它)";
}

}  // namespace mendery
