#include "NullCaptureBackend.h"

#include "ContentPicker.h"
#include "InputMonitor.h"
#include "PermissionChecks.h"

namespace orvane {

class NullCaptureBackend::Picker final : public ContentPicker {
public:
    explicit Picker(QString why) : why_(std::move(why)) {}
    void setActive(bool) override {}
    void present() override { refuse(); }
    void choose(const ContentQuery&) override { refuse(); }

private:
    void refuse() {
        QMetaObject::invokeMethod(this, [this] { emit failed(why_); }, Qt::QueuedConnection);
    }
    QString why_;
};

class NullCaptureBackend::Input final : public InputMonitor {
public:
    bool startClicks() override { return false; }
    void stopClicks() override {}
    std::optional<CursorReading> readCursor() override { return std::nullopt; }
};

class NullCaptureBackend::Checks final : public PermissionChecks {
public:
    explicit Checks(QString why) : why_(std::move(why)) {}
    bool screenCaptureAllowed() override { return false; }
    bool inputObservable() override { return false; }
    bool requestInputAccess() override { return false; }
    QString screenProblem() override { return why_; }
    QString inputProblem() override { return why_; }
    // Start goes on to the picker, which says why nothing can be recorded.
    bool recordsWithoutClicks() override { return true; }

private:
    QString why_;
};

NullCaptureBackend::NullCaptureBackend(QString reason)
    : reason_(std::move(reason)), picker_(std::make_unique<Picker>(unavailable())),
      input_(std::make_unique<Input>()), checks_(std::make_unique<Checks>(unavailable())) {}

NullCaptureBackend::~NullCaptureBackend() = default;

ContentPicker& NullCaptureBackend::picker() {
    return *picker_;
}

InputMonitor& NullCaptureBackend::input() {
    return *input_;
}

PermissionChecks& NullCaptureBackend::permissions() {
    return *checks_;
}

Result<std::unique_ptr<ScreenStream>> NullCaptureBackend::createStream(const CaptureContent&) {
    return Error{ErrorKind::Unsupported, unavailable().toStdString()};
}

QString NullCaptureBackend::unavailable() const {
    QString why = reason_.trimmed();
    while (why.endsWith(QLatin1Char('.'))) {
        why.chop(1);
    }
    return QStringLiteral("Recording is unavailable: ") + why;
}

QString NullCaptureBackend::captureNote() {
    return unavailable() + QStringLiteral(". Your recordings can still be opened, edited and exported.");
}

} // namespace orvane
