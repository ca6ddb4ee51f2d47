#include "recovery/BufferedInput.h"

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
    windowLength_ = file_.Read(window_);
}

int BufferedInput::ReadByteSlow() {
    if (pos_ >= size_) return -1;
    Fill(pos_);
    if (windowLength_ == 0) return -1;
    return window_[static_cast<std::size_t>(pos_++ - windowStart_)];
}

std::size_t BufferedInput::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size() && pos_ < size_) {
        const std::int64_t windowEnd = windowStart_ + static_cast<std::int64_t>(windowLength_);
        if (pos_ < windowStart_ || pos_ >= windowEnd) {
            Fill(pos_);
            if (windowLength_ == 0) break;  // the file shrank under us: report what we have
            continue;
        }
        const auto from = static_cast<std::size_t>(pos_ - windowStart_);
        const std::size_t n = std::min(out.size() - done, windowLength_ - from);
        std::memcpy(out.data() + done, window_.data() + from, n);
        done += n;
        pos_ += static_cast<std::int64_t>(n);
    }
    return done;
}

}  // namespace mendery
