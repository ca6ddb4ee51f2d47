#include "asf/BinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

namespace mendery {

BinaryFile::~BinaryFile() {
    if (fd_ >= 0) {
        ReleaseReserve();
        ::close(fd_);
    }
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), reserved_(other.reserved_) {
    other.fd_ = -1;
    other.reserved_ = false;
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ReleaseReserve();
            ::close(fd_);
        }
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        reserved_ = other.reserved_;
        other.fd_ = -1;
        other.reserved_ = false;
    }
    return *this;
}

void BinaryFile::Fail(const std::string& what) const {
    const int error = errno;
    throw IoError(what + " \"" + path_ + "\": " + SystemReason(error));
}

void BinaryFile::Open(const std::string& path, Mode mode) {
    Close();
    path_ = path;
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        // Emptied below only when it holds bytes: see there.
        case Mode::Create: flags |= O_RDWR | O_CREAT; break;
    }
    // A FIFO or device would block the open or the reads; opening without blocking lets the
    // type be checked first, and only regular files are used.
    fd_ = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
    if (fd_ < 0) Fail("无法打开");
    struct stat st{};
    if (::fstat(fd_, &st) != 0) Fail("无法打开");
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw IoError("无法打开 \"" + path_ + "\": " + NotRegularReason(st.st_mode));
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    // Truncating a file, even an empty one, makes some file systems (ext4) start writing all
    // of it back at close, and the program waits for that. A fresh staged output is empty, so
    // only a file that holds bytes is emptied; the result is the same empty file.
    if (mode == Mode::Create && st.st_size > 0 && ::ftruncate(fd_, 0) != 0) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        errno = error;
        Fail("无法打开");
    }
}

void BinaryFile::Close() {
    if (fd_ >= 0) {
        ReleaseReserve();
        int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0) Fail("无法关闭");
    }
}

namespace {
// Calls `once(at, wanted, done)` (one read of the bytes still wanted, `done` of them read) until
// `out` is full or the file ends; an interrupted call is made again. -1 on an error (errno set).
template <class Once>
ssize_t ReadUntilFull(std::span<std::uint8_t> out, Once once) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = once(out.data() + done, out.size() - done, done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}
}  // namespace

std::size_t BinaryFile::Read(std::span<std::uint8_t> out) {
    const ssize_t got = ReadUntilFull(out, [this](std::uint8_t* at, std::size_t wanted, std::size_t) {
        return ::read(fd_, at, wanted);
    });
    if (got < 0) Fail("无法读取");
    return static_cast<std::size_t>(got);
}

std::size_t BinaryFile::ReadAt(std::int64_t pos, std::span<std::uint8_t> out) const {
    const ssize_t got = ReadUntilFull(out, [this, pos](std::uint8_t* at, std::size_t wanted, std::size_t done) {
        return ::pread(fd_, at, wanted, static_cast<off_t>(pos) + static_cast<off_t>(done));
    });
    if (got < 0) Fail("无法读取");
    return static_cast<std::size_t>(got);
}

void BinaryFile::ReadExact(std::span<std::uint8_t> out) {
    if (Read(out) != out.size()) {
        throw IoError("文件意外结束 \"" + path_ + "\"");
    }
}

void BinaryFile::Write(std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("无法写入");
        }
        if (n == 0) {
            errno = ENOSPC;
            Fail("无法写入");
        }
        done += static_cast<std::size_t>(n);
    }
}

void BinaryFile::Seek(std::int64_t pos) {
    if (::lseek(fd_, pos, SEEK_SET) < 0) Fail("无法定位");
}

std::int64_t BinaryFile::Tell() const {
    off_t p = ::lseek(fd_, 0, SEEK_CUR);
    if (p < 0) Fail("无法定位");
    return p;
}

std::int64_t BinaryFile::Size() const {
    struct stat st{};
    if (::fstat(fd_, &st) != 0) Fail("无法读取文件信息");
    return st.st_size;
}

void BinaryFile::Truncate(std::int64_t size) {
    if (::ftruncate(fd_, size) != 0) Fail("无法截断");
}

void BinaryFile::Reserve(std::int64_t bytes) {
    if (bytes <= 0) return;
    // FALLOC_FL_KEEP_SIZE: the file's size stays that of what was written, so a run that ends
    // early leaves no zeros behind. Not posix_fallocate, which writes zeros where the file
    // system cannot allocate.
    if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0) {
        reserved_ = true;
    } else if (errno == ENOSPC || errno == EDQUOT) {
        // A refused allocation may have kept part of the range.
        reserved_ = true;
        ReleaseReserve();
    }
}

void BinaryFile::ReleaseReserve() noexcept {
    if (!reserved_) return;
    reserved_ = false;
    // Setting the size a file already has drops the blocks allocated past its end.
    const int saved = errno;
    struct stat st{};
    if (::fstat(fd_, &st) == 0) (void)::ftruncate(fd_, st.st_size);
    errno = saved;
}

std::string SystemReason(int error) {
    switch (error) {
        case ENOENT: return "文件或文件夹不存在";
        case EACCES:
        case EPERM: return "没有访问权限";
        case ENOSPC: return "磁盘空间不足";
        case EDQUOT: return "超出磁盘配额";
        case EROFS: return "文件系统是只读的";
        case EISDIR: return "这是一个文件夹";
        case ENOTDIR: return "路径中的某一部分不是文件夹";
        case ENAMETOOLONG: return "文件名太长";
        case EFBIG: return "文件太大";
        case EIO: return "输入/输出错误 (磁盘或介质可能已损坏)";
        case EMFILE:
        case ENFILE: return "打开的文件太多";
        case EBUSY: return "文件正被使用";
        case EEXIST: return "文件已存在";
        case ELOOP: return "符号链接层数太多";
        case ENXIO:
        case ENODEV: return "设备不存在";
        case EXDEV: return "不能跨文件系统操作";
        case EINVAL: return "参数无效";
        case ENOMEM: return "内存不足";
        default: return std::string("系统错误 ") + std::to_string(error) + " (" + std::strerror(error) + ")";
    }
}

std::string NotRegularReason(unsigned mode) {
    if (S_ISDIR(mode)) return "这是一个文件夹, 不是文件";
    if (S_ISFIFO(mode)) return "这是一个管道 (FIFO), 不是普通文件";
    if (S_ISSOCK(mode)) return "这是一个套接字, 不是普通文件";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "这是一个设备, 不是普通文件";
    return "不是普通文件";
}

std::string CheckInputFile(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return SystemReason(errno);
    if (!S_ISREG(st.st_mode)) return NotRegularReason(st.st_mode);
    return {};
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
    if (output.empty()) return "没有指定输出文件";
    if (source == output || IsSameFile(source, output)) return "输出文件就是输入文件本身";
    std::error_code ec;
    fs::path parent = fs::path(output).parent_path();
    if (parent.empty()) parent = ".";
    if (!fs::is_directory(parent, ec)) return "输出文件夹不存在: " + parent.string();
    if (fs::is_directory(output, ec)) return "输出路径是一个文件夹: " + output;
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
