#pragma once

// Internal to the Wayland backend: a started ScreenCast portal session.

#include <QDBusConnection>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

#include <atomic>

namespace orvane::wayland {

// What the portal handed over for one shared display or window: the session
// object, the PipeWire remote (a file descriptor that only reaches this
// session's node) and the node with its size. Owns the session and the
// descriptor: both are closed when the last owner lets go. The portal, or the
// user through the desktop's own sharing indicator, may close the session at
// any time; `closedByDesktop` then turns true and `closed` is emitted.
//
// Created and destroyed on the main thread; the flags are read on any thread.
class PortalSession : public QObject {
    Q_OBJECT
public:
    enum class SourceType { Monitor = 1, Window = 2 };

    PortalSession(QDBusConnection bus, QString service, QString sessionPath);
    ~PortalSession() override; // closes the session and the descriptor

    const QString& path() const { return path_; }

    // Set once by the picker after Start and OpenPipeWireRemote.
    int pipeWireFd = -1;       // owned
    quint32 node = 0;
    SourceType sourceType = SourceType::Monitor;
    QSize logicalSize;         // the source's size in logical pixels; empty when not given
    bool cursorAsMetadata = false; // the cursor comes as metadata (else it is in the picture)

    bool closedByDesktop() const { return closedByDesktop_.load(); }

signals:
    void closed();

private slots:
    void onClosed();

private:
    QDBusConnection bus_;
    QString service_;
    QString path_;
    std::atomic<bool> closedByDesktop_{false};
};

} // namespace orvane::wayland
