#pragma once

#include "CaptureBackend.h"

#include <QString>

#include <memory>

namespace orvane {

// The backend of last resort, when no capture backend opens (no X server or
// portal the program can use): the window still opens, lists the library,
// edits and exports takes, and says why it cannot record. Nothing here
// records: the picker fails with the reason, clicks and the cursor are never
// observed, and no stream is made. Main thread only.
class NullCaptureBackend final : public CaptureBackend {
public:
    static constexpr const char* kName = "none";

    // `reason`: why no backend opened, as the factory said it.
    explicit NullCaptureBackend(QString reason);
    ~NullCaptureBackend() override;

    const char* name() const override { return kName; }
    ContentPicker& picker() override;
    InputMonitor& input() override;
    PermissionChecks& permissions() override;
    Result<std::unique_ptr<ScreenStream>> createStream(const CaptureContent& content) override;
    QString captureNote() override;

    // The sentence the user reads: "Recording is unavailable: <reason>".
    QString unavailable() const;

private:
    class Picker;
    class Input;
    class Checks;
    QString reason_;
    std::unique_ptr<Picker> picker_;
    std::unique_ptr<Input> input_;
    std::unique_ptr<Checks> checks_;
};

} // namespace orvane
