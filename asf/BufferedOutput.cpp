#include "asf/BufferedOutput.h"

#include <cstring>

namespace mendery {

void BufferedOutput::Flush() {
    if (pending_ == 0) return;
    const std::size_t n = pending_;
    pending_ = 0;  // a failed write is not retried by the next flush
    file_.Write(std::span(buffer_).first(n));
    base_ += static_cast<std::int64_t>(n);
}

void BufferedOutput::Write(std::span<const std::uint8_t> data) {
    if (pending_ + data.size() > buffer_.size()) Flush();
    if (data.size() >= buffer_.size()) {
        file_.Write(data);
        base_ += static_cast<std::int64_t>(data.size());
        return;
    }
    std::memcpy(buffer_.data() + pending_, data.data(), data.size());
    pending_ += data.size();
}

}  // namespace mendery
