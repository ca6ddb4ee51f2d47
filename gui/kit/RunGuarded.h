#pragma once
// The error display of the desktop program: an error a tool throws ends only the work it was
// doing, shown as "错误在 \"path\"" and its reason in a message box; the window goes on.
#include <QString>
#include <functional>

class QWidget;

namespace mendery::ui {

QString ErrorAtText(const QString& path, const QString& reason);
// Runs `work`; an exception out of it goes to the error display. Returns false when one did.
bool RunGuarded(QWidget* owner, const QString& path, const std::function<void()>& work);

// Opens a file with the desktop's associated application. A file that does not exist does
// nothing visible; when the desktop cannot open an existing one, the user is told which file
// and why. False when nothing was opened.
bool ShellOpen(QWidget* owner, const QString& path);

// The tool windows' "删除输出文件": deletes the file and says so ("文件已删除," or "不能删除,"
// and the path). False when it could not be deleted.
bool DeleteOutputFile(QWidget* owner, const QString& path);

}  // namespace mendery::ui
