#pragma once

// What the Wayland tests share: the test portal backend's control FIFO and
// call log (tests/support/wayland/wayland-session.sh sets both up), waiting on
// the event loop, and finding the target window in a recorded picture.
#include <QByteArray>
#include <QJsonObject>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

namespace orvane {
class Recorder;
}

namespace orvane::test {

// Sends one command to the test portal backend ("move 300 200", "close").
bool portalControl(const QString& command);
// Every call the backend logged so far.
std::vector<QJsonObject> portalCalls();
// How many SelectSources would have shown the dialog to a person.
int portalDialogs();

// Runs the event loop until `done` or the timeout; whether `done` held.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);

// Stops the take and waits until it has finished (ready or idle).
bool stopAndWait(Recorder& recorder);

// The bounding box of the pixels close to `bgr` in a width x height BGRA
// picture; empty when there are none.
QRect findColour(const QByteArray& bgra, int width, int height, int b, int g, int r, int tolerance = 12);

// The target window's orange, and its blue link (window-local 400,300 160x60).
inline constexpr int kOrangeB = 40, kOrangeG = 80, kOrangeR = 230;
inline constexpr int kBlueB = 230, kBlueG = 80, kBlueR = 40;

} // namespace orvane::test
