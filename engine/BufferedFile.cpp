#include "engine/BufferedFile.h"

#include <algorithm>

namespace mendery {

std::size_t BufferedReader::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        if (next_ == end_) {
            // Large reads go straight to the caller's memory.
            if (out.size() - done >= buffer_.size()) {
                std::size_t n = file_.Read(out.subspan(done));
                filePos_ += static_cast<std::int64_t>(n);
                return done + n;
            }
            end_ = file_.Read(buffer_);
            next_ = 0;
            filePos_ += static_cast<std::int64_t>(end_);
            if (end_ == 0) break;
        }
        std::size_t n = std::min(out.size() - done, end_ - next_);
        std::copy_n(buffer_.begin() + next_, n, out.begin() + done);
        next_ += n;
        done += n;
    }
    return done;
}

void BufferedReader::Seek(std::int64_t pos) {
    file_.Seek(pos);
    filePos_ = pos;
    next_ = end_ = 0;
}

void BufferedWriter::Write(std::span<const std::uint8_t> data) {
    if (buffer_.size() + data.size() > buffer_.capacity()) Flush();
    if (data.size() >= buffer_.capacity()) {
        file_.Write(data);
        filePos_ += static_cast<std::int64_t>(data.size());
        return;
    }
    buffer_.insert(buffer_.end(), data.begin(), data.end());
}

void BufferedWriter::Flush() {
    if (buffer_.empty()) return;
    file_.Write(buffer_);
    filePos_ += static_cast<std::int64_t>(buffer_.size());
    buffer_.clear();
}

void BufferedWriter::Seek(std::int64_t pos) {
    Flush();
    file_.Seek(pos);
    filePos_ = pos;
}

}  // namespace mendery
