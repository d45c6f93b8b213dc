#include "Updater.h"

#include "ReleaseNotes.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QXmlStreamReader>

namespace orvane {

namespace {
// Sparkle's namespace for the version attributes and elements of an appcast.
const QString kSparkle = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");
constexpr int kTimeoutMs = 15000;
} // namespace

Updater::Updater(QUrl feed, QVersionNumber current, QObject* parent)
    : QObject(parent), feed_(std::move(feed)), current_(std::move(current)),
      network_(new QNetworkAccessManager(this)) {
    connect(network_, &QNetworkAccessManager::finished, this, &Updater::finished);
}

Updater::~Updater() = default;

bool Updater::canCheckForUpdates() const {
    return isSecureAddress(feed_) && !checking_;
}

bool Updater::isSecureAddress(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) {
        return true;
    }
    if (scheme != QLatin1String("http")) {
        return false;
    }
    const QString host = url.host().toLower();
    if (host == QLatin1String("localhost")) {
        return true;
    }
    // Only a literal address can be trusted to be loopback; a name could
    // resolve anywhere.
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

void Updater::checkForUpdates() {
    if (!canCheckForUpdates()) {
        return;
    }
    checking_ = true;
    emit canCheckForUpdatesChanged();
    QNetworkRequest request(feed_);
    request.setTransferTimeout(kTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    network_->get(request);
}

void Updater::finished(QNetworkReply* reply) {
    reply->deleteLater();
    checking_ = false;
    emit canCheckForUpdatesChanged();
    if (reply->error() != QNetworkReply::NoError) {
        emit checkFailed(QStringLiteral("Couldn’t check for updates: %1").arg(reply->errorString()));
        return;
    }
    if (!isSecureAddress(reply->url())) {
        emit checkFailed(QStringLiteral("Couldn’t check for updates: the update feed was "
                                        "redirected to an address that is not secure"));
        return;
    }
    AppcastItem newest;
    QString error;
    if (!parseFeed(reply->readAll(), newest, error)) {
        emit checkFailed(QStringLiteral("Couldn’t check for updates: %1").arg(error));
        return;
    }
    if (QVersionNumber::compare(newest.version, current_) > 0) {
        emit updateAvailable(newest);
    } else {
        emit upToDate(newest.version);
    }
}

bool Updater::parseFeed(const QByteArray& xml, AppcastItem& newest, QString& error) {
    QXmlStreamReader r(xml);
    bool sawRss = false;
    bool found = false;
    AppcastItem item;
    bool inItem = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto name = r.name();
            if (name == QLatin1String("rss")) {
                sawRss = true;
            } else if (name == QLatin1String("item")) {
                inItem = true;
                item = AppcastItem{};
            } else if (inItem && name == QLatin1String("enclosure")) {
                const auto attrs = r.attributes();
                if (attrs.hasAttribute(kSparkle, QStringLiteral("version")) && item.version.isNull()) {
                    item.version = QVersionNumber::fromString(attrs.value(kSparkle, QStringLiteral("version")));
                }
                if (item.downloadPage.isEmpty() && attrs.hasAttribute(QStringLiteral("url"))) {
                    item.downloadPage = QUrl(attrs.value(QStringLiteral("url")).toString());
                }
            } else if (inItem && r.namespaceUri() == kSparkle &&
                       (name == QLatin1String("version") || name == QLatin1String("shortVersionString"))) {
                const QVersionNumber v = QVersionNumber::fromString(r.readElementText().trimmed());
                if (name == QLatin1String("version") || item.version.isNull()) {
                    item.version = v;
                }
            } else if (inItem && name == QLatin1String("title") && r.namespaceUri().isEmpty()) {
                item.title = r.readElementText().trimmed();
            } else if (inItem && name == QLatin1String("description")) {
                item.notes = releaseNotesAsText(r.readElementText());
            } else if (inItem && name == QLatin1String("link") && r.namespaceUri().isEmpty()) {
                // A page link wins over the enclosure's file.
                item.downloadPage = QUrl(r.readElementText().trimmed());
            }
        } else if (r.isEndElement() && r.name() == QLatin1String("item")) {
            inItem = false;
            // A link to anything but a secure web address is not offered.
            if (!item.version.isNull() && isSecureAddress(item.downloadPage) &&
                (!found || QVersionNumber::compare(item.version, newest.version) > 0)) {
                newest = item;
                found = true;
            }
        }
    }
    if (r.hasError()) {
        error = QStringLiteral("the update feed is not valid XML (%1)").arg(r.errorString());
        return false;
    }
    if (!sawRss) {
        error = QStringLiteral("the update feed is not an RSS feed");
        return false;
    }
    if (!found) {
        error = QStringLiteral("the update feed lists no version with a download link");
        return false;
    }
    return true;
}

} // namespace orvane
