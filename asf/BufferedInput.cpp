#include "asf/BufferedInput.h"

#include <algorithm>
#include <cstring>

namespace mendery {

void BufferedInput::Open(const std::string& path) {
    file_.Open(path, BinaryFile::Mode::Read);
    size_ = file_.Size();
    pos_ = 0;
    windowStart_ = 0;
    windowLength_ = 0;
}

void BufferedInput::Close() {
    windowLength_ = 0;
    file_.Close();
}

void BufferedInput::Fill(std::int64_t at) {
    windowLength_ = 0;
    windowStart_ = at;
    file_.Seek(at);
    windowLength_ = file_.Read(window_.Place(at, kWindowSize));
}

int BufferedInput::ReadByteSlow() {
    if (pos_ >= size_) return -1;
    Fill(pos_);
    if (windowLength_ == 0) return -1;
    return window_.Bytes()[static_cast<std::size_t>(pos_++ - windowStart_)];
}

std::int64_t BufferedInput::FindByte(std::uint8_t value, std::int64_t limit) {
    limit = std::min(limit, size_);
    while (pos_ < limit) {
        const std::int64_t windowEnd = windowStart_ + static_cast<std::int64_t>(windowLength_);
        if (pos_ < windowStart_ || pos_ >= windowEnd) {
            Fill(pos_);
            if (windowLength_ == 0) {
                size_ = pos_;  // the file is shorter than it was: this is its end
                break;
            }
            continue;
        }
        const auto from = static_cast<std::size_t>(pos_ - windowStart_);
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(limit - pos_, static_cast<std::int64_t>(windowLength_ - from)));
        const std::uint8_t* window = window_.Bytes().data();
        const void* hit = std::memchr(window + from, value, n);
        if (hit) {
            const std::int64_t at = windowStart_ + (static_cast<const std::uint8_t*>(hit) - window);
            pos_ = at + 1;
            return at;
        }
        pos_ += static_cast<std::int64_t>(n);
    }
    return -1;
}

std::size_t BufferedInput::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size() && pos_ < size_) {
        const std::int64_t windowEnd = windowStart_ + static_cast<std::int64_t>(windowLength_);
        if (pos_ < windowStart_ || pos_ >= windowEnd) {
            if (out.size() - done >= kWindowSize && !SlowPageCopy(out.data() + done, pos_, false)) {
                // A request at least a window long goes straight from the file into `out`:
                // passing it through the window would only copy it once more (unless the
                // kernel's copy to where `out` lies is the slow one).
                file_.Seek(pos_);
                const std::size_t n = file_.Read(out.subspan(done));
                done += n;
                pos_ += static_cast<std::int64_t>(n);
                break;  // fewer than asked only at the end of the file
            }
            Fill(pos_);
            if (windowLength_ == 0) break;  // the file shrank under us: report what we have
            continue;
        }
        const auto from = static_cast<std::size_t>(pos_ - windowStart_);
        const std::size_t n = std::min(out.size() - done, windowLength_ - from);
        std::memcpy(out.data() + done, window_.Bytes().data() + from, n);
        done += n;
        pos_ += static_cast<std::int64_t>(n);
    }
    return done;
}

}  // namespace mendery
