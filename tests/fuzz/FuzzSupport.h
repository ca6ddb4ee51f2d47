#pragma once
// Shared by the libFuzzer targets: the input as a file in a per-process scratch folder in
// memory. The targets' host is NullHost (asf/NullHost.h), which discards everything.
//
// The tools open their files by name, rename and remove them, so the input has to be a real
// file in a real folder; a folder on tmpfs (/dev/shm) costs no disk work, which on a disk
// folder was most of the time spent per input (truncate, write-back on close). The folder is
// made once per process and removed at exit; each input only rewrites its files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "asf/NullHost.h"

namespace mendery::fuzz {

class Scratch {
public:
    Scratch() : dir_(Where()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);  // left by an earlier process with this id
        std::filesystem::create_directories(dir_);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // Replaces the file `name` by the bytes given and returns its path.
    std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size) const {
        const std::string path = dir_ + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) Die("open", path);
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) Die("write", path);
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        return path;
    }
    // Reads the whole file `name` into `out`, reusing its storage.
    void Read(const std::string& name, std::vector<std::uint8_t>& out) const { ReadPath(dir_ + name, out); }
    // The same for a file anywhere.
    static void ReadPath(const std::string& path, std::vector<std::uint8_t>& out) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) Die("open", path);
        struct stat st{};
        if (::fstat(fd, &st) != 0) Die("stat", path);
        out.resize(static_cast<std::size_t>(st.st_size));
        for (std::size_t done = 0; done < out.size();) {
            const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) Die("read", path);
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    // The path of an output `name`, with no file left there by the previous input: a tool
    // must behave the same whatever ran before it.
    std::string Fresh(const std::string& name) const {
        const std::string path = dir_ + name;
        ::unlink(path.c_str());
        return path;
    }

    // The folder itself, with a trailing slash.
    const std::string& Folder() const { return dir_; }

private:
    static std::string Where() {
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
        return (base / ("mendery-fuzz-" + std::to_string(::getpid()))).string() + "/";
    }
    [[noreturn]] static void Die(const char* what, const std::string& path) {
        std::perror((std::string("fuzz scratch: ") + what + " " + path).c_str());
        std::abort();
    }
    std::string dir_;
};

}  // namespace mendery::fuzz
