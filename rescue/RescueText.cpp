#include "rescue/RescueText.h"

namespace mendery {

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::NotRun: return "未执行";
        case Outcome::Done: return "完成";
        case Outcome::Aborted: return "已停止";
        case Outcome::Declined: return "已取消";
        case Outcome::Refused: return "被拒绝";
        case Outcome::Failed: return "失败";
        case Outcome::NothingUsable: return "没有可用的结果";
    }
    return "";
}

std::string StepLine(std::size_t index, const RescueStep& step) {
    std::string line = "步骤 " + std::to_string(index + 1) + ": " + step.title + " - " + OutcomeText(step.outcome);
    if (step.kept) line += ", 已采用";
    if (!step.note.empty()) line += " (" + step.note + ")";
    return line;
}

std::size_t DisplayWidth(const std::string& text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        // Three- and four-byte sequences hold the CJK blocks and full-width forms.
        columns += length >= 3 ? 2 : 1;
        i += length;
    }
    return columns;
}

std::string PadRight(const std::string& text, std::size_t columns) {
    const std::size_t width = DisplayWidth(text);
    return width >= columns ? text : text + std::string(columns - width, ' ');
}

}  // namespace mendery
