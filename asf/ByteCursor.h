#pragma once
// The one way this project reads bytes out of a buffer: a bounds-checked,
// little-endian cursor. Every read compares the width with what is left and
// throws TruncatedData instead of reading past the end.
//
// Code that parses damaged data in bulk (the packet parser, which meets a cut packet on
// every damaged block) uses a quiet cursor instead: a read past the end throws nothing, it
// marks the cursor failed and yields zero, an empty span or no move, and so does every read
// after it. The caller checks Failed() before it trusts what it read.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace mendery {

struct TruncatedData : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ByteCursor {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    static ByteCursor Quiet(std::span<const std::uint8_t> bytes) {
        ByteCursor cursor(bytes);
        cursor.quiet_ = true;
        return cursor;
    }

    // A quiet cursor read past its end (or was asked to); FailureText says where.
    bool Failed() const { return failed_; }
    const std::string& FailureText() const { return failure_; }
    // Marks a quiet cursor failed for a reason of the caller's (a field that contradicts the
    // data); a normal cursor throws TruncatedData with that text.
    void Fail(std::string text) {
        if (!quiet_) throw TruncatedData(text);
        if (!failed_) failure_ = std::move(text);
        failed_ = true;
    }

    std::uint64_t Pos() const { return pos_; }
    std::uint64_t Size() const { return bytes_.size(); }
    std::uint64_t Remaining() const { return bytes_.size() - pos_; }
    bool Has(std::uint64_t n) const { return n <= Remaining(); }
    bool AtEnd() const { return pos_ == bytes_.size(); }

    ByteCursor& Seek(std::uint64_t pos) {
        if (failed_) return *this;
        if (pos > bytes_.size()) Fail("定位超出数据末尾");
        else pos_ = pos;
        return *this;
    }
    ByteCursor& Skip(std::uint64_t n) {
        if (Need(n)) pos_ += n;
        return *this;
    }

    std::uint8_t U8() { return static_cast<std::uint8_t>(ReadLe(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(ReadLe(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(ReadLe(4)); }
    std::uint64_t U64() { return ReadLe(8); }
    // A field whose width is given by an ASF length type (0 absent, 1 byte, 2 word, 3 dword).
    std::uint32_t ByLengthType(unsigned lengthType, std::uint32_t absentValue = 0) {
        switch (lengthType & 3) {
            case 1: return U8();
            case 2: return U16();
            case 3: return U32();
            default: return absentValue;
        }
    }

    std::span<const std::uint8_t> Bytes(std::uint64_t n) {
        if (!Need(n)) return {};
        auto out = bytes_.subspan(pos_, n);
        pos_ += n;
        return out;
    }
    // A cursor over the next n bytes (clamped to what is left when clamp is true), quiet when
    // this one is; this cursor moves past them.
    ByteCursor Sub(std::uint64_t n, bool clamp = false) {
        if (clamp && n > Remaining()) n = Remaining();
        ByteCursor sub(Bytes(n));
        sub.quiet_ = quiet_;
        return sub;
    }
    std::span<const std::uint8_t> Rest() const { return bytes_.subspan(pos_); }

private:
    // Small enough to be inlined into every read; the failure, rare and costly, is not.
    bool Need(std::uint64_t n) {
        if (failed_) return false;
        if (n <= Remaining()) [[likely]] return true;
        FailShort(n);
        return false;
    }
    [[gnu::cold, gnu::noinline]] void FailShort(std::uint64_t n) {
        Fail("位置" + std::to_string(pos_) + "需要" + std::to_string(n) + "字节, 只剩" + std::to_string(Remaining()) + "字节");
    }
    std::uint64_t ReadLe(unsigned width) {
        if (!Need(width)) return 0;
        std::uint64_t v = 0;
        for (unsigned i = 0; i < width; ++i) v |= std::uint64_t(bytes_[pos_ + i]) << (8 * i);
        pos_ += width;
        return v;
    }

    std::span<const std::uint8_t> bytes_;
    std::uint64_t pos_ = 0;
    bool quiet_ = false, failed_ = false;
    std::string failure_;
};

// Reading a fixed-position field: ReadU32At(buf, 92).
inline std::uint8_t ReadU8At(std::span<const std::uint8_t> b, std::uint64_t pos) { return ByteCursor(b).Seek(pos).U8(); }
inline std::uint16_t ReadU16At(std::span<const std::uint8_t> b, std::uint64_t pos) { return ByteCursor(b).Seek(pos).U16(); }
inline std::uint32_t ReadU32At(std::span<const std::uint8_t> b, std::uint64_t pos) { return ByteCursor(b).Seek(pos).U32(); }
inline std::uint64_t ReadU64At(std::span<const std::uint8_t> b, std::uint64_t pos) { return ByteCursor(b).Seek(pos).U64(); }

// The writing counterpart: patches little-endian fields inside a buffer, bounds-checked.
class BytePatcher {
public:
    explicit BytePatcher(std::span<std::uint8_t> bytes) : bytes_(bytes) {}
    void U8At(std::uint64_t pos, std::uint8_t v) { PutLe(pos, v, 1); }
    void U16At(std::uint64_t pos, std::uint16_t v) { PutLe(pos, v, 2); }
    void U32At(std::uint64_t pos, std::uint32_t v) { PutLe(pos, v, 4); }
    void U64At(std::uint64_t pos, std::uint64_t v) { PutLe(pos, v, 8); }
    void ByLengthTypeAt(std::uint64_t pos, unsigned lengthType, std::uint32_t v) {
        switch (lengthType & 3) {
            case 1: U8At(pos, static_cast<std::uint8_t>(v)); break;
            case 2: U16At(pos, static_cast<std::uint16_t>(v)); break;
            case 3: U32At(pos, v); break;
            default: break;
        }
    }

private:
    void PutLe(std::uint64_t pos, std::uint64_t v, unsigned width) {
        if (pos > bytes_.size() || width > bytes_.size() - pos)
            throw TruncatedData("位置" + std::to_string(pos) + "写入" + std::to_string(width) + "字节, 超出" +
                                std::to_string(bytes_.size()) + "字节的末尾");
        for (unsigned i = 0; i < width; ++i) bytes_[pos + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    std::span<std::uint8_t> bytes_;
};

// Width in bytes of a field with the given ASF length type.
constexpr unsigned LengthTypeWidth(unsigned lengthType) {
    constexpr unsigned widths[4] = {0, 1, 2, 4};
    return widths[lengthType & 3];
}

}  // namespace mendery
