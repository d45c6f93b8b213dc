#include "TakeJournalWriter.h"

#include "timeline/TakeJournal.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace orvane {

namespace {

Error errnoError(const std::string& what, int err) {
    return Error{errorKindFromErrno(err), what + ": " + std::strerror(err)};
}

// Writes all of `text` to `fd`, going on after short writes and interrupts.
Result<void> writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errnoError("cannot write the take journal", errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

} // namespace

Result<std::unique_ptr<TakeJournalWriter>> TakeJournalWriter::create(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errnoError("cannot create the take journal", errno);
    }
    // Held while the take records, so that no one mistakes a live take for one
    // that was cut short (takejournal::inUse); closing the file releases it.
    ::flock(fd, LOCK_EX | LOCK_NB);
    std::unique_ptr<TakeJournalWriter> journal(new TakeJournalWriter(path, fd));
    std::string header = takejournal::headerLine();
    if (auto wrote = journal->writeOut(header); !wrote) {
        journal->close();
        QFile::remove(path);
        return wrote.errorValue();
    }
    journal->flusher_ = std::thread([raw = journal.get()] { raw->flushLoop(); });
    return journal;
}

TakeJournalWriter::TakeJournalWriter(QString path, int fd) : path_(std::move(path)), fd_(fd) {}

TakeJournalWriter::~TakeJournalWriter() {
    close();
}

void TakeJournalWriter::video(int width, int height, bool cursorInPicture) {
    append(takejournal::videoLine(width, height, cursorInPicture));
}

void TakeJournalWriter::click(const Moment& click) {
    append(takejournal::clickLine(click));
}

void TakeJournalWriter::sample(const CursorSample& sample) {
    append(takejournal::sampleLine(sample));
}

void TakeJournalWriter::append(std::string line) {
    std::lock_guard lock(mutex_);
    if (!closing_) {
        pending_ += line;
    }
}

void TakeJournalWriter::flushLoop() {
    std::unique_lock lock(mutex_);
    while (!closing_) {
        wake_.wait_for(lock, std::chrono::milliseconds(kFlushIntervalMs));
        if (pending_.empty()) {
            continue;
        }
        std::string text;
        text.swap(pending_);
        // The disk is written without the lock: appends never wait for it.
        lock.unlock();
        Result<void> wrote = writeOut(text);
        lock.lock();
        if (!wrote && !error_) {
            error_ = wrote.errorValue();
        }
    }
}

Result<void> TakeJournalWriter::writeOut(std::string& text) {
    if (fd_ < 0) {
        return Error{ErrorKind::Invalid, "the take journal is closed"};
    }
    if (auto wrote = writeAll(fd_, text); !wrote) {
        return wrote;
    }
    // Data only: the journal's size is part of what fdatasync makes durable.
    if (::fdatasync(fd_) != 0 && errno != EINVAL) {
        return errnoError("cannot sync the take journal", errno);
    }
    return {};
}

Result<void> TakeJournalWriter::close() {
    {
        std::lock_guard lock(mutex_);
        if (closing_ && fd_ < 0) {
            return error_ ? Result<void>(*error_) : Result<void>();
        }
        closing_ = true;
    }
    wake_.notify_all();
    if (flusher_.joinable()) {
        flusher_.join();
    }
    std::string rest;
    {
        std::lock_guard lock(mutex_);
        rest.swap(pending_);
    }
    if (!rest.empty() && fd_ >= 0) {
        if (auto wrote = writeOut(rest); !wrote && !error_) {
            error_ = wrote.errorValue();
        }
    }
    if (fd_ >= 0) {
        if (::close(fd_) != 0 && !error_) {
            error_ = errnoError("cannot close the take journal", errno);
        }
        fd_ = -1;
    }
    return error_ ? Result<void>(*error_) : Result<void>();
}

} // namespace orvane
