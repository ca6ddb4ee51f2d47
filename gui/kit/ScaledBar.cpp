#include "gui/kit/ScaledBar.h"

#include <QProgressBar>
#include <algorithm>
#include <climits>

namespace mendery::ui {

void ScaledBar::SetRange(std::int64_t maximum) {
    if (!bar_) return;
    shift_ = 0;
    while ((maximum >> shift_) > INT_MAX) ++shift_;
    bar_->setRange(0, static_cast<int>(maximum >> shift_));
}

void ScaledBar::SetPosition(std::int64_t position) {
    if (!bar_) return;
    const int value = static_cast<int>(std::clamp<std::int64_t>(position >> shift_, 0, bar_->maximum()));
    if (value != bar_->value()) bar_->setValue(value);
}

}  // namespace mendery::ui
