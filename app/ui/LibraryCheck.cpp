#include "app/ui/LibraryCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mendery::ui {

namespace {
const char* const kToolName = "clipwright";

bool IsProgram(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}
}  // namespace

QString CuttingToolPath() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kToolName);
}

QString FindCuttingTool() {
    if (IsProgram(CuttingToolPath())) return CuttingToolPath();
    QStringList folders{QDir::currentPath()};
    for (const QString& dir : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts)) folders << dir;
    for (const QString& dir : folders) {
        const QString candidate = QDir(dir).filePath(QLatin1String(kToolName));
        if (IsProgram(candidate)) return candidate;
    }
    return {};
}

const char* LibraryWarning() {
    return "警告:在您的系统中发现有视频组件丢失!\r请安装\"Microsoft Media Encoder 7.1\".它可以免费从"
           "http://www.microsoft.com/windows/windowsmedia/"
           "获得.\r您可以继续使用但某些功能会被禁用.";
}

}  // namespace mendery::ui
