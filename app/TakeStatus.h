#pragma once

#include "capture/TakeResult.h"

#include <QString>

namespace orvane {

// The sentences the session's status reports, made from what capture
// reported as values. One place for every text of a take's life, so the
// window and orvane-record say the same.
namespace takestatus {

QString choose();          // "Choose what to record…"
QString grant();           // "Grant Accessibility, then Start again"
QString recording();       // "Recording… click around, then Stop"
QString finishing();       // "Finishing…"
QString countdown(int secondsLeft); // "Recording in 3…"
QString paused(double takeSeconds); // "Paused at 0:12"
QString noFrames();        // "No frames were captured — check …"
QString startFailed(const StartFailure& failure);
QString pickerError(const QString& description);
// Why a take stopped by itself ("the window was closed"); empty for a take the
// user stopped.
QString endReason(const TakeResult& result);
// A take that kept nothing because its writer failed.
QString nothingKept(const Error& writerFailure);
// A finished take: "Done — 3 zooms over 12.4s", or what ended it early, or
// why it has no clicks; then what of its sound and files is missing.
// `inputProblem` is the backend's word on why clicks could not be observed.
QString finished(const TakeResult& result, int zoomCount, double duration, bool recordsWithoutClicks,
                 const QString& inputProblem);
// A take opened from the journal of an interrupted take.
QString recovered(int zoomCount, double duration);

} // namespace takestatus

} // namespace orvane
