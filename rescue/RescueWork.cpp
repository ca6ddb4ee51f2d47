#include "rescue/RescueWork.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "asf/BinaryFile.h"

namespace mendery {

namespace fs = std::filesystem;

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
    std::string pattern = (base / "mendery-rescue-XXXXXX").string();
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
