#include "engine/BinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

namespace mendery {

BinaryFile::~BinaryFile() {
    if (fd_ >= 0) ::close(fd_);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

void BinaryFile::Fail(const std::string& what) const {
    throw IoError(what + " \"" + path_ + "\": " + std::strerror(errno));
}

void BinaryFile::Open(const std::string& path, Mode mode) {
    Close();
    path_ = path;
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) Fail("cannot open");
    struct stat st{};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        errno = EISDIR;
        Fail("cannot open");
    }
}

void BinaryFile::Close() {
    if (fd_ >= 0) {
        int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0) Fail("cannot close");
    }
}

std::size_t BinaryFile::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::read(fd_, out.data() + done, out.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot read");
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void BinaryFile::ReadExact(std::span<std::uint8_t> out) {
    if (Read(out) != out.size()) {
        errno = 0;
        throw IoError("unexpected end of file \"" + path_ + "\"");
    }
}

void BinaryFile::Write(std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write");
        }
        if (n == 0) {
            errno = ENOSPC;
            Fail("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
}

void BinaryFile::Seek(std::int64_t pos) {
    if (::lseek(fd_, pos, SEEK_SET) < 0) Fail("cannot seek in");
}

std::int64_t BinaryFile::Tell() const {
    off_t p = ::lseek(fd_, 0, SEEK_CUR);
    if (p < 0) Fail("cannot tell position in");
    return p;
}

std::int64_t BinaryFile::Size() const {
    struct stat st{};
    if (::fstat(fd_, &st) != 0) Fail("cannot stat");
    return st.st_size;
}

void BinaryFile::Truncate(std::int64_t size) {
    if (::ftruncate(fd_, size) != 0) Fail("cannot truncate");
}

std::int64_t FileSizeOf(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return st.st_size;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool IsSameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

std::string CheckOutputPath(const std::string& source, const std::string& output) {
    namespace fs = std::filesystem;
    if (output.empty()) return "no output path";
    if (source == output || IsSameFile(source, output)) return "the output is the source file itself";
    std::error_code ec;
    fs::path parent = fs::path(output).parent_path();
    if (parent.empty()) parent = ".";
    if (!fs::is_directory(parent, ec)) return "the output folder does not exist: " + parent.string();
    if (fs::is_directory(output, ec)) return "the output is a folder: " + output;
    return {};
}

std::string OutputRefusalLine(const std::string& source, const std::string& output) {
    const std::string reason = CheckOutputPath(source, output);
    if (reason.empty()) return {};
    if (source == output || IsSameFile(source, output)) return "输出文件不能和输入文件相同!";
    return "不能创建输出文件: " + reason;
}

std::string RunningProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<std::size_t>(n));
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace mendery
