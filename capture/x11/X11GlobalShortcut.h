#pragma once

#include "capture/GlobalShortcut.h"

#include <memory>
#include <string>

class QSocketNotifier;

namespace orvane {

// The global shortcut on X11: a passive key grab on the root window, on a
// connection of its own, for the combination with and without Caps Lock and
// Num Lock (the server matches modifiers exactly). Main thread only.
class X11GlobalShortcut : public GlobalShortcut {
    Q_OBJECT

public:
    // `display`: X display name; empty means the DISPLAY variable.
    explicit X11GlobalShortcut(std::string display = {}, QObject* parent = nullptr);
    ~X11GlobalShortcut() override;

    QString setKeys(const QString& keys) override;
    QString keys() const override { return keys_; }

private:
    struct Grab;
    QString registerKeys(const QString& keys);
    void readEvents();
    void ungrab();

    std::string display_;
    std::unique_ptr<Grab> grab_;
    QSocketNotifier* notifier_ = nullptr;
    QString keys_;
};

} // namespace orvane
