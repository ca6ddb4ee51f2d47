#pragma once
// Texts the rescue's reports share: outcomes and step lines in the program's language, and
// column widths of mixed Chinese and Latin text.
#include <cstddef>
#include <string>

#include "asf/Outcome.h"
#include "rescue/Rescue.h"

namespace mendery {

const char* OutcomeText(Outcome outcome);
// "步骤 N: TITLE - OUTCOME, 已采用" (or why its result was not used).
std::string StepLine(std::size_t index, const RescueStep& step);
// Terminal columns of UTF-8 text: wide (East Asian) characters take two.
std::size_t DisplayWidth(const std::string& text);
std::string PadRight(const std::string& text, std::size_t columns);

}  // namespace mendery
