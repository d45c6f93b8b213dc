#include "ui/Symbols.h"

#include "render/ResourcePaths.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace orvane::ui {

const QStringList& symbolNames() {
    static const QStringList names = {
        "play.fill",        "pause.fill",    "arrow.counterclockwise",
        "arrow.clockwise",  "keyboard",      "record.circle",
        "stop.fill",        "trash",         "rectangle.dashed",
        "rectangle.dashed.badge.record",     "rectangle",
        "square",           "rectangle.portrait",
        "film",             "magnifyingglass", "plus",
        "checkmark.circle.fill", "circle",   "xmark",
        "ellipsis.circle",  "square.and.arrow.up",
    };
    return names;
}

QString symbolPath(const QString& name) {
    if (!symbolNames().contains(name)) {
        return {};
    }
    return resourcePath(QStringLiteral("icons/") + name + QStringLiteral(".svg"));
}

QIcon symbol(const QString& name) {
    static QHash<QString, QIcon> cache;
    const auto found = cache.constFind(name);
    if (found != cache.constEnd()) {
        return *found;
    }
    const QString path = symbolPath(name);
    QIcon icon;
    if (!path.isEmpty()) {
        // Qt's SVG icon engine renders the file afresh for each size asked.
        icon = QIcon(path);
    }
    cache.insert(name, icon);
    return icon;
}

QPixmap symbolPixmap(const QString& name, int size, qreal devicePixelRatio) {
    const QString path = symbolPath(name);
    if (path.isEmpty() || size <= 0 || devicePixelRatio <= 0) {
        return {};
    }
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) {
        return {};
    }
    const int pixels = static_cast<int>(std::lround(size * devicePixelRatio));
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        // Keep the drawing's aspect, centred in the square.
        QSizeF drawn = renderer.defaultSize();
        drawn.scale(pixels, pixels, Qt::KeepAspectRatio);
        const QRectF box((pixels - drawn.width()) / 2, (pixels - drawn.height()) / 2,
                         drawn.width(), drawn.height());
        renderer.render(&painter, box);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace orvane::ui
