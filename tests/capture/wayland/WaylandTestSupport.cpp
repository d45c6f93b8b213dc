#include "WaylandTestSupport.h"

#include "app/Recorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace orvane::test {

bool portalControl(const QString& command) {
    const char* path = std::getenv("ORVANE_TEST_PORTAL_CONTROL");
    if (path == nullptr) {
        return false;
    }
    // The backend keeps the FIFO open for reading, so this never blocks.
    const int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const QByteArray line = command.toUtf8() + '\n';
    const bool ok = ::write(fd, line.constData(), static_cast<std::size_t>(line.size())) == line.size();
    ::close(fd);
    return ok;
}

std::vector<QJsonObject> portalCalls() {
    std::vector<QJsonObject> calls;
    QFile log(QString::fromLocal8Bit(qgetenv("ORVANE_TEST_PORTAL_LOG")));
    if (!log.open(QIODevice::ReadOnly)) {
        return calls;
    }
    for (const QByteArray& line : log.readAll().split('\n')) {
        if (!line.trimmed().isEmpty()) {
            calls.push_back(QJsonDocument::fromJson(line).object());
        }
    }
    return calls;
}

int portalDialogs() {
    int n = 0;
    for (const QJsonObject& c : portalCalls()) {
        if (c[QStringLiteral("method")].toString() == QLatin1String("SelectSources") &&
            c[QStringLiteral("dialog")].toBool()) {
            ++n;
        }
    }
    return n;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

bool stopAndWait(Recorder& recorder) {
    recorder.stop();
    return waitFor([&] { return recorder.phase() != Phase::recording &&
                                recorder.status() != QStringLiteral("Finishing…"); },
                   15000);
}

QRect findColour(const QByteArray& bgra, int width, int height, int b, int g, int r, int tolerance) {
    int left = width, top = height, right = -1, bottom = -1;
    if (bgra.size() < static_cast<qsizetype>(width) * height * 4) {
        return {};
    }
    const auto* px = reinterpret_cast<const unsigned char*>(bgra.constData());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = px + (static_cast<std::size_t>(y) * width + x) * 4;
            if (std::abs(p[0] - b) <= tolerance && std::abs(p[1] - g) <= tolerance &&
                std::abs(p[2] - r) <= tolerance) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace orvane::test
