#pragma once

#include <QString>

class QDBusConnection;

namespace orvane {

// Shows the user a file that was just written: asks the desktop's file manager
// to show `path` selected in its folder (org.freedesktop.FileManager1.ShowItems
// on the session bus). The call is sent without waiting for the answer, so it
// never holds up the main thread; when there is no session bus, or no file
// manager answers (an error reply such as "no such service"), the containing
// folder is opened instead with QDesktopServices::openUrl. Main thread.
void revealInFileManager(const QString& path);

// The same on a given connection: the session bus in the call above, a
// private bus in tests. The connection must outlive the answer.
void revealInFileManager(const QString& path, const QDBusConnection& bus);

} // namespace orvane
