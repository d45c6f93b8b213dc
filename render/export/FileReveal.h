#pragma once

#include <QString>

namespace orvane {

// Asks the desktop's file manager to show `path` selected in its folder
// (org.freedesktop.FileManager1.ShowItems on the session bus). The call is
// sent without waiting for an answer, so it never holds up the main thread;
// without a session bus or a file manager that answers, nothing happens.
// Main thread.
void revealInFileManager(const QString& path);

} // namespace orvane
