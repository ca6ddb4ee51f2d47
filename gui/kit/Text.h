#pragma once
// Text between the logic units and the windows. The logic units hold UTF-8 text, paths
// included; Qt holds QString. Every conversion between the two goes through these helpers.
#include <QString>
#include <string>
#include <string_view>

namespace mendery::ui {

inline QString ToQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string ToStd(const QString& text) { return text.toStdString(); }

// Texts of the logic units use "\r" as their line break; Qt widgets want "\n".
QString UiText(std::string_view text);

}  // namespace mendery::ui
