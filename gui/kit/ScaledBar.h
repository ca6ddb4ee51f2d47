#pragma once
// A progress bar driven by 64-bit positions. The bar's range is an int: a larger maximum is
// scaled down by a power of two, and every position with it.
#include <cstdint>

class QProgressBar;

namespace mendery::ui {

class ScaledBar {
public:
    explicit ScaledBar(QProgressBar* bar = nullptr) : bar_(bar) {}
    void Attach(QProgressBar* bar) { bar_ = bar; }
    QProgressBar* Bar() const { return bar_; }

    void SetRange(std::int64_t maximum);
    // Clamped to the range.
    void SetPosition(std::int64_t position);

private:
    QProgressBar* bar_;
    int shift_ = 0;
};

}  // namespace mendery::ui
