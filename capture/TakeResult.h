#pragma once

#include "ScreenStream.h"
#include "SoundSource.h"

#include "timeline/CursorSample.h"
#include "timeline/Moment.h"
#include "timeline/Result.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace orvane {

// Why a take could not start, as a value: the document above turns it into
// the sentence the user reads.
struct StartFailure {
    enum class Stage {
        Stream, // the screen stream could not be set up or started
        Writer, // the movie writer could not be created
    };
    Stage stage = Stage::Stream;
    // The stream's own description of what went wrong (Stream), or why the
    // take's folder could not be made (Writer); empty when there is no more to say.
    QString detail;
};

// What one take left behind, reported once when it has finished: the files,
// what the picture and the input recorded, and how and why it ended. Plain
// values; no sentences except the sound notes, which the sound sources word.
struct TakeResult {
    // Whether the movie holds frames that can be read back. False: no frames
    // reached the writer, or the writer failed before any was kept.
    bool written = false;
    QString folder;    // the take's own folder (where its files went)
    QString moviePath; // empty when no writer could be made
    // The movie's duration as read back from the file (seconds); nothing when
    // it could not be read.
    std::optional<double> movieDuration;
    double startTime = 0; // host seconds at the content choice: the take's time 0
    int videoW = 0;       // pixels of the recording
    int videoH = 0;
    bool cursorInPicture = false; // the pictures already show the cursor
    std::vector<Moment> clicks;
    std::vector<CursorSample> track;
    std::vector<SoundKind> soundTracks; // the movie's sound tracks, in order
    StreamEnd streamEnd = StreamEnd::Stopped;
    std::optional<Error> writerFailure; // the write error that stopped the take early
    bool clicksObserved = true;         // clicks could be observed during the take
    QStringList soundNotes;             // what of the chosen sound is missing, as sentences
    // The first failure to write the clicks file or the track file; the
    // journal is kept beside the movie then.
    std::optional<Error> filesError;
};

} // namespace orvane
