#include "gui/kit/RunGuarded.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <exception>

#include "gui/kit/QtHost.h"
#include "gui/kit/Text.h"

namespace mendery::ui {

QString ErrorAtText(const QString& path, const QString& reason) {
    QString text = QStringLiteral("错误在 \"") + path + QLatin1Char('"');
    if (!reason.isEmpty()) text += QLatin1Char('\n') + reason;
    return text;
}

bool RunGuarded(QWidget* owner, const QString& path, const std::function<void()>& work) {
    QString reason;
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        reason = ToQt(e.what());
    } catch (...) {
        reason = QStringLiteral("未知错误");
    }
    ShowHostMessage(owner, ToStd(ErrorAtText(path, reason)), MessageKind::Error);
    return false;
}

bool ShellOpen(QWidget* owner, const QString& path) {
    if (path.isEmpty() || !QFileInfo::exists(path)) return false;
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return true;
    ShowHostMessage(owner,
                    ToStd(QStringLiteral("不能打开文件 \"") + path +
                          QStringLiteral("\":\r没有为此类文件注册的程序 (桌面没有可以打开它的默认程序).")),
                    MessageKind::Warning);
    return false;
}

bool DeleteOutputFile(QWidget* owner, const QString& path) {
    const bool removed = !path.isEmpty() && QFile::remove(path);
    ShowHostMessage(owner, ToStd((removed ? QStringLiteral("文件已删除,\r") : QStringLiteral("不能删除,\r")) + path),
                    removed ? MessageKind::Information : MessageKind::Warning);
    return removed;
}

}  // namespace mendery::ui
