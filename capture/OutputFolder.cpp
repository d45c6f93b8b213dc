#include "OutputFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace orvane {

QString defaultOutputFolder() {
    const QStandardPaths::StandardLocation order[] = {QStandardPaths::DesktopLocation,
                                                      QStandardPaths::MoviesLocation,
                                                      QStandardPaths::HomeLocation};
    for (auto location : order) {
        const QString path = QStandardPaths::writableLocation(location);
        if (path.isEmpty()) {
            continue;
        }
        if (QDir().mkpath(path)) {
            return QDir(path).absolutePath();
        }
    }
    return {};
}

} // namespace orvane
