#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

class QNetworkAccessManager;
class QNetworkReply;

namespace orvane {

// One entry of an appcast feed.
struct AppcastItem {
    QVersionNumber version;
    QString title;
    QString notes;     // the item's description as plain text (markup removed)
    QUrl downloadPage; // where a newer version is offered; always a secure address
};

// Checks an appcast feed (RSS whose items carry a version and a download link)
// for a newer Orvane. The feed URL is set at build time; without one, checking
// is not possible. Only secure addresses are trusted, for the feed (also after
// redirects) and for the download links it offers: HTTPS, or plain HTTP to
// this machine's loopback address (local test servers). Main thread only.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    // `feed` empty: no feed configured. `current`: the running version.
    Updater(QUrl feed, QVersionNumber current, QObject* parent = nullptr);
    ~Updater() override;

    // False while a check runs, or when no feed, or one at an address that is
    // not secure, is configured.
    bool canCheckForUpdates() const;
    // HTTPS, or HTTP to a loopback host (127.0.0.0/8, ::1, "localhost").
    static bool isSecureAddress(const QUrl& url);
    // Starts a check; exactly one of the result signals follows. Nothing when
    // a check cannot start now.
    void checkForUpdates();

    // Parses a feed; the newest item, or an error message for a malformed feed.
    static bool parseFeed(const QByteArray& xml, AppcastItem& newest, QString& error);

signals:
    void canCheckForUpdatesChanged();
    void updateAvailable(const orvane::AppcastItem& item);
    void upToDate(const QVersionNumber& newest);
    void checkFailed(const QString& message);

private:
    void finished(QNetworkReply* reply);

    QUrl feed_;
    QVersionNumber current_;
    QNetworkAccessManager* network_;
    bool checking_ = false;
};

} // namespace orvane

Q_DECLARE_METATYPE(orvane::AppcastItem)
