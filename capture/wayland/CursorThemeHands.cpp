#include "CursorThemeHands.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <cstring>
#include <set>
#include <vector>

namespace orvane::wayland {

namespace {

constexpr std::uint32_t kXcursorMagic = 0x72756358; // "Xcur"
constexpr std::uint32_t kImageType = 0xfffd0002;
constexpr std::uint32_t kMaxSide = 1024;

// Xcursor files are little-endian. The caller checks that 4 bytes are there.
std::uint32_t le32(const QByteArray& b, qsizetype at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<std::uint8_t>(b.at(at + i));
    }
    return v;
}

} // namespace

HandShapeSet xcursorShapes(const QByteArray& file) {
    HandShapeSet shapes;
    if (file.size() < 16 || le32(file, 0) != kXcursorMagic) {
        return shapes;
    }
    const std::uint32_t headerSize = le32(file, 4);
    const std::uint32_t count = le32(file, 12);
    for (std::uint32_t i = 0; i < count && i < 4096; ++i) {
        const qsizetype entry = static_cast<qsizetype>(headerSize) + static_cast<qsizetype>(i) * 12;
        if (entry + 12 > file.size()) {
            break;
        }
        if (le32(file, entry) != kImageType) {
            continue;
        }
        const qsizetype chunk = le32(file, entry + 8);
        // Image chunk: header size, type, subtype, version, width, height,
        // xhot, yhot, delay, then width x height ARGB words.
        if (chunk < 0 || chunk + 36 > file.size()) {
            continue;
        }
        const std::uint32_t width = le32(file, chunk + 16);
        const std::uint32_t height = le32(file, chunk + 20);
        const qsizetype pixels = chunk + 36;
        if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
            pixels + static_cast<qsizetype>(width) * height * 4 > file.size()) {
            continue;
        }
        std::vector<std::uint32_t> argb(static_cast<std::size_t>(width) * height);
        std::memcpy(argb.data(), file.constData() + pixels, argb.size() * 4);
        shapes.add(cursorShapeHashArgb(static_cast<int>(width), static_cast<int>(height),
                                       argb.data(), width));
    }
    return shapes;
}

HandShapeSet loadCursorThemeHands(const QString& theme, const QStringList& searchPath) {
    static constexpr const char* kNames[] = {
        "hand1", "hand2", "hand", "pointer", "pointing_hand",
        "e29285e634086352946a0e7090d73106", "9d800788f1b08800ae810202380a0822",
    };
    HandShapeSet all;
    std::set<QString> seen;
    QStringList pending{theme};
    while (!pending.isEmpty() && seen.size() < 16) {
        const QString name = pending.takeFirst();
        if (name.isEmpty() || !seen.insert(name).second) {
            continue;
        }
        for (const QString& root : searchPath) {
            const QDir dir(QDir(root).filePath(name));
            if (!dir.exists()) {
                continue;
            }
            for (const char* cursor : kNames) {
                QFile f(dir.filePath(QStringLiteral("cursors/") + QLatin1String(cursor)));
                if (f.size() > (8 << 20) || !f.open(QIODevice::ReadOnly)) {
                    continue;
                }
                const HandShapeSet found = xcursorShapes(f.readAll());
                all.merge(found);
            }
            const QString index = dir.filePath(QStringLiteral("index.theme"));
            if (QFile::exists(index)) {
                const QSettings themeIndex(index, QSettings::IniFormat);
                const QString inherits =
                    themeIndex.value(QStringLiteral("Icon Theme/Inherits")).toString();
                pending << inherits.split(QLatin1Char(','), Qt::SkipEmptyParts);
            }
        }
    }
    return all;
}

HandShapeSet loadDesktopCursorHands() {
    QStringList path;
    const QString fromEnv = qEnvironmentVariable("XCURSOR_PATH");
    if (!fromEnv.isEmpty()) {
        path = fromEnv.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    } else {
        const QString home = QDir::homePath();
        path << home + QStringLiteral("/.local/share/icons") << home + QStringLiteral("/.icons");
        for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            path << data + QStringLiteral("/icons");
        }
        path << QStringLiteral("/usr/share/icons") << QStringLiteral("/usr/share/pixmaps");
    }
    QString theme = qEnvironmentVariable("XCURSOR_THEME");
    HandShapeSet hands = loadCursorThemeHands(theme.isEmpty() ? QStringLiteral("default") : theme, path);
    if (hands.size() == 0) {
        hands = loadCursorThemeHands(QStringLiteral("Adwaita"), path);
    }
    return hands;
}

} // namespace orvane::wayland
