#include "PointerDevices.h"

#include <QFile>
#include <QStringList>

#include <linux/input-event-codes.h>

namespace orvane::wayland {

namespace {

// A "B: NAME=hex hex ..." bitmap: the words are 64 bits (as long on the
// kernels we run on), most significant first.
template <std::size_t N>
std::bitset<N> parseBitmap(const QString& words) {
    std::bitset<N> bits;
    const QStringList parts = words.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    std::size_t base = 0;
    for (auto it = parts.crbegin(); it != parts.crend(); ++it, base += 64) {
        bool ok = false;
        const quint64 word = it->toULongLong(&ok, 16);
        if (!ok) {
            continue;
        }
        for (std::size_t b = 0; b < 64 && base + b < N; ++b) {
            if ((word >> b) & 1u) {
                bits.set(base + b);
            }
        }
    }
    return bits;
}

} // namespace

bool isPointingDevice(const DeviceCaps& caps) {
    const bool leftButton = caps.keys.test(BTN_LEFT);
    const bool relative = caps.rel.test(REL_X) && caps.rel.test(REL_Y);
    const bool absolute = caps.abs.test(ABS_X) && caps.abs.test(ABS_Y);
    // A node that can type letters is a keyboard, even with a touchpad or a
    // pointing stick built in: it is never opened.
    const bool types = caps.keys.test(KEY_A) || caps.keys.test(KEY_Q) || caps.keys.test(KEY_ENTER) ||
                       caps.keys.test(KEY_SPACE);
    return leftButton && (relative || absolute) && !types && !caps.eventNode.isEmpty();
}

std::vector<DeviceCaps> parseInputDevices(const QString& text) {
    std::vector<DeviceCaps> devices;
    DeviceCaps current;
    bool any = false;
    auto flush = [&] {
        if (any) {
            devices.push_back(current);
        }
        current = DeviceCaps{};
        any = false;
    };
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.isEmpty()) {
            flush();
            continue;
        }
        any = true;
        if (line.startsWith(QLatin1String("N: Name="))) {
            current.name = line.mid(8).remove(QLatin1Char('"'));
        } else if (line.startsWith(QLatin1String("H: Handlers="))) {
            for (const QString& h : line.mid(12).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (h.startsWith(QLatin1String("event"))) {
                    current.eventNode = h;
                }
            }
        } else if (line.startsWith(QLatin1String("B: KEY="))) {
            current.keys = parseBitmap<0x300>(line.mid(7));
        } else if (line.startsWith(QLatin1String("B: REL="))) {
            current.rel = parseBitmap<0x10>(line.mid(7));
        } else if (line.startsWith(QLatin1String("B: ABS="))) {
            current.abs = parseBitmap<0x40>(line.mid(7));
        }
    }
    flush();
    return devices;
}

std::vector<DeviceCaps> pointingDevices() {
    std::vector<DeviceCaps> out;
    QFile f(QStringLiteral("/proc/bus/input/devices"));
    if (!f.open(QIODevice::ReadOnly)) {
        return out;
    }
    for (const DeviceCaps& d : parseInputDevices(QString::fromUtf8(f.read(1 << 20)))) {
        if (isPointingDevice(d)) {
            out.push_back(d);
        }
    }
    return out;
}

} // namespace orvane::wayland
