#pragma once

#include <QString>

namespace orvane {

// The user's Desktop folder (XDG user dirs), created when missing; if none can be
// formed or created, the Videos folder, then the home folder. Empty when even
// that fails.
QString defaultOutputFolder();

} // namespace orvane
