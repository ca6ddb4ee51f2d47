#include "asf/BufferedOutput.h"

#include <algorithm>

namespace mendery {

void BufferedOutput::WriteAround(std::span<const std::uint8_t> data) {
    // An empty piece (an empty frame's chunk) may come without a pointer: nothing to copy.
    while (!data.empty()) {
        // The buffer is filled up to its page boundary and written out; a piece larger than
        // the buffer goes on from there.
        const std::size_t fill = std::min(data.size(), limit_ - pending_);
        std::memcpy(buffer_ + pending_, data.data(), fill);
        pending_ += fill;
        data = data.subspan(fill);
        if (data.empty()) return;
        Flush();
        if (data.size() < capacity_) continue;
        // Whole pages of a large piece go to the file directly: passing them through the
        // buffer would only copy them once more.
        const std::size_t direct = data.size() - data.size() % alignment_;
        WritePages(data.first(direct));
        data = data.subspan(direct);
    }
}

void BufferedOutput::WritePages(std::span<const std::uint8_t> pages) {
    if (!SlowPageCopy(pages.data(), base_, true)) {
        file_.Write(pages);
        MoveTo(base_ + static_cast<std::int64_t>(pages.size()));
        return;
    }
    // Through the buffer, whose copy into the file's pages runs at full speed: a copy in user
    // memory costs far less than the kernel's slow one.
    while (!pages.empty()) {
        const std::size_t n = std::min(pages.size(), limit_);
        std::memcpy(buffer_, pages.data(), n);
        pending_ = n;
        Flush();
        pages = pages.subspan(n);
    }
}

void BufferedOutput::WriteInPlace(std::span<const std::uint8_t> data) {
    // Up to the next page boundary through the buffer, so that the pages handed over start
    // on one.
    const std::size_t toBoundary = static_cast<std::size_t>(
        (static_cast<std::int64_t>(alignment_) - Tell() % static_cast<std::int64_t>(alignment_)) %
        static_cast<std::int64_t>(alignment_));
    const std::size_t lead = std::min(toBoundary, data.size());
    Write(data.first(lead));
    data = data.subspan(lead);
    const std::size_t pages = data.size() - data.size() % alignment_;
    if (pages > 0) {
        Flush();
        WritePages(data.first(pages));
    }
    Write(data.subspan(pages));
}

void BufferedOutput::Flush() {
    const std::size_t n = pending_;
    pending_ = 0;  // a failed write is not retried by the next flush
    if (n == 0) return;
    file_.Write(std::span(buffer_, n));
    MoveTo(base_ + static_cast<std::int64_t>(n));
}

void BufferedOutput::AppendTo(BufferedOutput& to) {
    const std::int64_t size = Size();
    file_.Seek(0);
    MoveTo(0);
    // The buffer is free once everything is written out: it carries the copy.
    for (std::int64_t left = size; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(capacity_)));
        file_.ReadExact(std::span(buffer_, n));
        to.Write(std::span<const std::uint8_t>(buffer_, n));
        left -= static_cast<std::int64_t>(n);
    }
    MoveTo(size);
}

void BufferedOutput::Close() {
    if (!file_.IsOpen()) return;
    try {
        Flush();
    } catch (const IoError&) {
        pending_ = 0;
        try {
            file_.Close();
        } catch (const IoError&) {
        }
        throw;
    }
    file_.Close();
}

}  // namespace mendery
