#include "gui/kit/Text.h"

namespace mendery::ui {

QString UiText(std::string_view text) {
    QString s = ToQt(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

}  // namespace mendery::ui
