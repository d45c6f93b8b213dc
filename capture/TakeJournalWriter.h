#pragma once

#include "timeline/CursorSample.h"
#include "timeline/Moment.h"
#include "timeline/Result.h"

#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace orvane {

// Keeps a take's clicks and cursor samples durable while it records: records
// are appended to the take journal (timeline/TakeJournal.h) and pushed to the
// disk (write + fdatasync) at least every kFlushInterval, so a take killed at
// any moment keeps them up to about a quarter of a second before the kill.
//
// Threads: create() and close() on the owner's thread; the append calls on any
// thread (they only queue the text under a lock); a thread of its own writes.
// The destructor closes.
class TakeJournalWriter {
public:
    static constexpr int kFlushIntervalMs = 250;

    // Creates (or replaces) the journal at `path` and writes its header.
    static Result<std::unique_ptr<TakeJournalWriter>> create(const QString& path);
    ~TakeJournalWriter();
    TakeJournalWriter(const TakeJournalWriter&) = delete;
    TakeJournalWriter& operator=(const TakeJournalWriter&) = delete;

    void video(int width, int height, bool cursorInPicture);
    void click(const Moment& click);
    void sample(const CursorSample& sample);

    // Writes what is queued, syncs and closes the file; later appends are
    // dropped. Returns the first write error of the journal's life, if any.
    Result<void> close();
    QString path() const { return path_; }

private:
    TakeJournalWriter(QString path, int fd);
    void append(std::string line);
    void flushLoop();
    Result<void> writeOut(std::string& text); // flusher thread or close()

    const QString path_;
    int fd_ = -1;
    std::mutex mutex_;            // guards everything below
    std::condition_variable wake_;
    std::string pending_;
    bool closing_ = false;
    std::optional<Error> error_;  // the first write error
    std::thread flusher_;
};

} // namespace orvane
