#pragma once

// Internal to the Wayland backend: which input devices are pointing devices.

#include <QString>

#include <bitset>
#include <vector>

namespace orvane::wayland {

// What an input device says it can do, as the kernel lists it in
// /proc/bus/input/devices (its "B:" capability bitmaps).
struct DeviceCaps {
    QString name;
    QString eventNode;        // "event5": the /dev/input node
    std::bitset<0x300> keys;  // EV_KEY codes
    std::bitset<0x10> rel;    // EV_REL codes
    std::bitset<0x40> abs;    // EV_ABS codes
};

// A device whose clicks Orvane reads: it has a left button and pointer axes
// (relative X and Y: a mouse; absolute X and Y: a touchpad, tablet or
// touchscreen), and no typing keys. Keyboards are never opened, not even one
// with a touchpad on the same device node: whatever it types is not Orvane's
// to read.
bool isPointingDevice(const DeviceCaps& caps);

// The devices listed in /proc/bus/input/devices' text (any readable user may
// read it: nothing is opened to learn this).
std::vector<DeviceCaps> parseInputDevices(const QString& text);

// The pointing devices the system has now.
std::vector<DeviceCaps> pointingDevices();

} // namespace orvane::wayland
