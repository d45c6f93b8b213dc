#include "render/ResourcePaths.h"

#include <QDir>
#include <QFileInfo>

namespace orvane {

namespace {

// The running executable's folder, read from /proc so that it works before (or
// without) a QCoreApplication.
QString executableDir() {
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString target = exe.symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).absolutePath();
}

bool isDir(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

} // namespace

QString resourceDir() {
    const QString fromEnv = qEnvironmentVariable("ORVANE_RESOURCES");
    if (isDir(fromEnv)) {
        return QDir(fromEnv).absolutePath();
    }
    const QString exeDir = executableDir();
    if (!exeDir.isEmpty()) {
        const QString installed =
            QDir(exeDir).absoluteFilePath(QStringLiteral("../share/orvane/resources"));
        if (isDir(installed)) {
            return QDir::cleanPath(installed);
        }
    }
#ifdef ORVANE_SOURCE_RESOURCE_DIR
    const QString source = QStringLiteral(ORVANE_SOURCE_RESOURCE_DIR);
    if (isDir(source)) {
        return source;
    }
#endif
    return {};
}

QString resourcePath(const QString& relative) {
    const QString dir = resourceDir();
    if (dir.isEmpty()) {
        return {};
    }
    const QString path = QDir(dir).filePath(relative);
    return QFileInfo(path).isFile() ? path : QString();
}

} // namespace orvane
