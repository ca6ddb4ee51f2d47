#pragma once
// Binary file input and output with 64-bit positions. Every failure throws IoError
// carrying the path and the system's reason. Only regular files are opened: a FIFO, device,
// socket or folder is refused without blocking.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace mendery {

struct IoError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class BinaryFile {
public:
    enum class Mode { Read, ReadWrite, Create };  // Create makes a new file or empties an existing one

    BinaryFile() = default;
    BinaryFile(const std::string& path, Mode mode) { Open(path, mode); }
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    BinaryFile(BinaryFile&& other) noexcept;
    BinaryFile& operator=(BinaryFile&& other) noexcept;

    void Open(const std::string& path, Mode mode);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // Reads up to out.size() bytes; fewer only at the end of the file.
    std::size_t Read(std::span<std::uint8_t> out);
    void ReadExact(std::span<std::uint8_t> out);
    // Reads up to out.size() bytes from `pos` without moving the file position: safe to call
    // from several threads at once.
    std::size_t ReadAt(std::int64_t pos, std::span<std::uint8_t> out) const;
    void Write(std::span<const std::uint8_t> data);
    void Seek(std::int64_t pos);
    std::int64_t Tell() const;
    std::int64_t Size() const;
    bool AtEnd() const { return Tell() >= Size(); }
    void Truncate(std::int64_t size);
    // Sets disk space aside for the first `bytes` of a file about to be written, leaving its
    // size as it is. The file system then allocates in one step what it would otherwise
    // reserve and account for block by block as the writes come in: a whole-file rewrite
    // spends about a fifth less time in the kernel. Only a hint: a file system that cannot
    // does nothing, and when the disk has too little room nothing stays set aside (the writes
    // meet the full disk themselves, as before). What the writes did not use is given back
    // when the file is closed.
    void Reserve(std::int64_t bytes);

private:
    [[noreturn]] void Fail(const std::string& what) const;
    // Gives back space set aside past the end of the file; best effort.
    void ReleaseReserve() noexcept;
    int fd_ = -1;
    std::string path_;
    bool reserved_ = false;
};

// The system's reason for an error number, in the program's language.
std::string SystemReason(int error);
// Why a file of this st_mode is not read as a media file (it is not a regular file).
std::string NotRegularReason(unsigned mode);
// Empty when `path` is an existing regular file, else the reason it cannot be read. Checked
// before a source is handed to code that opens it by name (a FIFO would block that open).
std::string CheckInputFile(const std::string& path);
// Size in bytes of the file at path (64-bit), 0 when it is not found.
std::int64_t FileSizeOf(const std::string& path);
bool FileExists(const std::string& path);
// True when both paths name the same existing file (also through a symbolic or hard link).
bool IsSameFile(const std::string& a, const std::string& b);
// Refusal reason when `output` cannot be written as a new file for `source`, or empty.
std::string CheckOutputPath(const std::string& source, const std::string& output);
// The log line refusing `output` as a new file for `source`, or empty when it may be created.
std::string OutputRefusalLine(const std::string& source, const std::string& output);
// The folder of the running program (from /proc/self/exe), with no trailing slash.
std::string RunningProgramFolder();

}  // namespace mendery
