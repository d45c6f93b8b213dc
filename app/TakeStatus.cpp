#include "TakeStatus.h"

#include <algorithm>

namespace orvane::takestatus {

QString choose() {
    return QStringLiteral("Choose what to record…");
}
QString grant() {
    return QStringLiteral("Grant Accessibility, then Start again");
}
QString recording() {
    return QStringLiteral("Recording… click around, then Stop");
}
QString countdown(int secondsLeft) {
    return QStringLiteral("Recording in %1…").arg(secondsLeft);
}
QString paused(double takeSeconds) {
    const int s = static_cast<int>(std::max(0.0, takeSeconds));
    return QStringLiteral("Paused at %1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}
QString finishing() {
    return QStringLiteral("Finishing…");
}
QString noFrames() {
    return QStringLiteral(
        "No frames were captured — check Screen Recording permission and try again");
}

QString startFailed(const StartFailure& failure) {
    if (failure.stage == StartFailure::Stage::Writer) {
        const QString text = QStringLiteral("Couldn’t create video writer");
        return failure.detail.isEmpty() ? text : text + QStringLiteral(": ") + failure.detail;
    }
    return QStringLiteral("Screen capture failed: ") + failure.detail;
}

QString pickerError(const QString& description) {
    return QStringLiteral("Picker error: ") + description;
}

namespace {

QString writeFailureReason(const Error& error) {
    if (error.kind == ErrorKind::NoSpace) {
        return QStringLiteral("the disk is full");
    }
    return QStringLiteral("the movie could not be written (%1)")
        .arg(QString::fromStdString(error.message));
}

QString done(int zoomCount, double duration) {
    return QString::asprintf("Done — %d zooms over %.1fs", zoomCount, duration);
}

} // namespace

QString endReason(const TakeResult& result) {
    if (result.writerFailure) {
        return writeFailureReason(*result.writerFailure);
    }
    switch (result.streamEnd) {
    case StreamEnd::SourceGone: return QStringLiteral("the window was closed");
    case StreamEnd::DisplayLost: return QStringLiteral("the display connection was lost");
    case StreamEnd::SharingRevoked: return QStringLiteral("screen sharing was stopped");
    case StreamEnd::Running:
    case StreamEnd::Stopped: break;
    }
    return {};
}

QString nothingKept(const Error& writerFailure) {
    return QStringLiteral("Recording failed: %1. Nothing could be kept.")
        .arg(writeFailureReason(writerFailure));
}

QString finished(const TakeResult& result, int zoomCount, double duration,
                 bool recordsWithoutClicks, const QString& inputProblem) {
    QString text;
    if (const QString ended = endReason(result); !ended.isEmpty()) {
        // The take ended without the user: say why and what was kept.
        text = QStringLiteral("Recording stopped: %1. Kept %2 s.")
                   .arg(ended, QString::number(duration, 'f', 1));
    } else if (!result.clicksObserved && recordsWithoutClicks) {
        // The take has its picture and cursor; say why it has no zooms.
        text = done(zoomCount, duration) + QStringLiteral(". No clicks were recorded") +
               (inputProblem.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + inputProblem);
    } else {
        text = done(zoomCount, duration);
    }
    for (const QString& note : result.soundNotes) {
        text += QStringLiteral(" — ") + note; // the take is there; what of its sound is not
    }
    if (result.filesError) {
        text += QStringLiteral(" — ") + QString::fromStdString(result.filesError->message);
    }
    return text;
}

QString recovered(int zoomCount, double duration) {
    return QString::asprintf("Recovered the interrupted take — %d zooms over %.1fs", zoomCount,
                             duration);
}

} // namespace orvane::takestatus
