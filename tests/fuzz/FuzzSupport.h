#pragma once
// Shared by the libFuzzer targets: the input as a temporary file, and a host that discards
// everything.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/Host.h"

namespace mendery::fuzz {

class QuietHost : public IHost {
public:
    void Log(std::string_view) override {}
    void ClearLog() override {}
    void SetProgressRange(std::int64_t) override {}
    void SetProgress(std::int64_t) override {}
    void ProcessMessages() override {}
    void Message(std::string_view, MessageKind) override {}
    Answer Ask(std::string_view, Buttons, MessageKind) override { return Answer::No; }
};

// A per-process scratch folder holding the input file and the tool's outputs.
class Scratch {
public:
    Scratch() : dir_(std::filesystem::temp_directory_path() / ("mendery-fuzz-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(dir_);
    }
    std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size) const {
        const auto path = (dir_ / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
        return path;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

}  // namespace mendery::fuzz
