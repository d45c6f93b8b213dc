#include "InspectorTexts.h"

#include <cmath>

namespace orvane::InspectorTexts {

namespace {
// Truncation toward zero of value x 100, as a whole number.
long long truncatedPercent(double value) {
    return std::isfinite(value) ? static_cast<long long>(std::trunc(value * 100)) : 0;
}
long long rounded(double value) {
    return std::isfinite(value) ? std::llround(value) : 0;
}
} // namespace

QString zoomLevel(double value) {
    return QString::asprintf("%.1f×", value);
}

QString duration(double seconds) {
    return QString::asprintf("%.1fs", seconds);
}

QString transition(double value) {
    if (value < 0.02) {
        return QStringLiteral("snap");
    }
    return QString::number(truncatedPercent(value)) + QLatin1Char('%');
}

QString focus(double value) {
    return QString::number(truncatedPercent(value)) + QLatin1Char('%');
}

QString roundedPercent(double value) {
    return QString::number(rounded(value * 100)) + QLatin1Char('%');
}

QString corners(double value) {
    return QString::number(rounded(value));
}

} // namespace orvane::InspectorTexts
