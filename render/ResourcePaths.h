#pragma once

#include <QString>

namespace orvane {

// The folder holding Orvane's shipped resources (backgrounds/, cursors/).
// Looked up in this order:
//   1. $ORVANE_RESOURCES, when set and an existing folder (tests, relocation);
//   2. ../share/orvane/resources beside the running executable (installed);
//   3. the source tree's resources/ folder (build tree; fixed at configure time).
// Returns an empty string when none exists. Any thread may call it.
QString resourceDir();

// The path of one resource, `relative` to resourceDir() (for example
// "cursors/cursor-arrow.pdf"), or an empty string when that file is missing.
// Every resource lookup of the program goes through here.
QString resourcePath(const QString& relative);

} // namespace orvane
