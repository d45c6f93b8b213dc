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
    QString notes;     // the item's description, as text or HTML
    QUrl downloadPage; // where a newer version is offered
};

// Checks an appcast feed (RSS whose items carry a version and a download link)
// for a newer Orvane. The feed URL is set at build time; without one, checking
// is not possible. Main thread only.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    // `feed` empty: no feed configured. `current`: the running version.
    Updater(QUrl feed, QVersionNumber current, QObject* parent = nullptr);
    ~Updater() override;

    // False while a check runs or when no feed is configured.
    bool canCheckForUpdates() const;
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
