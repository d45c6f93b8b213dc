// The update check against an appcast feed served on the loopback address by
// the test itself: a newer version, an equal one, a malformed feed and a
// network error.
#include "ui/update/Updater.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvane;

namespace {

// A one-file HTTP server on 127.0.0.1 that answers every request with `body`.
class FeedServer {
public:
    explicit FeedServer(QByteArray body) : body_(std::move(body)) {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n")) {
                        return;
                    }
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
                             QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(server_.serverPort()));
    }

private:
    QByteArray body_;
    QTcpServer server_;
};

QByteArray feed(const QString& version, const QString& notes = QStringLiteral("Faster export.")) {
    return QStringLiteral(R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Orvane</title>
    <item>
      <title>Orvane 0.0.9</title>
      <sparkle:version>0.0.9</sparkle:version>
      <link>https://example.invalid/orvane/0.0.9</link>
    </item>
    <item>
      <title>Orvane %1</title>
      <description>%2</description>
      <enclosure url="https://example.invalid/orvane-%1.deb" sparkle:version="%1" length="1" type="application/octet-stream"/>
    </item>
  </channel>
</rss>)")
        .arg(version, notes)
        .toUtf8();
}

} // namespace

TEST(Updater, NewerVersionIsOfferedWithNotesAndLink) {
    FeedServer server(feed(QStringLiteral("0.2.0")));
    Updater u(server.url(), QVersionNumber(0, 1, 0));
    QSignalSpy available(&u, &Updater::updateAvailable);
    EXPECT_TRUE(u.canCheckForUpdates());
    u.checkForUpdates();
    EXPECT_FALSE(u.canCheckForUpdates()); // greyed while it runs
    ASSERT_TRUE(available.wait(5000));
    const auto item = available.at(0).at(0).value<AppcastItem>();
    EXPECT_EQ(item.version, QVersionNumber(0, 2, 0));
    EXPECT_EQ(item.notes, QStringLiteral("Faster export."));
    EXPECT_EQ(item.downloadPage.toString(), QStringLiteral("https://example.invalid/orvane-0.2.0.deb"));
    EXPECT_TRUE(u.canCheckForUpdates());
}

TEST(Updater, EqualOrOlderIsUpToDate) {
    FeedServer server(feed(QStringLiteral("0.1.0")));
    Updater u(server.url(), QVersionNumber(0, 1, 0));
    QSignalSpy upToDate(&u, &Updater::upToDate);
    QSignalSpy available(&u, &Updater::updateAvailable);
    u.checkForUpdates();
    ASSERT_TRUE(upToDate.wait(5000));
    EXPECT_EQ(available.count(), 0);
}

TEST(Updater, MalformedFeedAndNetworkErrorsSaySoInOneLine) {
    {
        FeedServer server("<rss><channel><item><title>broken");
        Updater u(server.url(), QVersionNumber(0, 1, 0));
        QSignalSpy failed(&u, &Updater::checkFailed);
        u.checkForUpdates();
        ASSERT_TRUE(failed.wait(5000));
        const QString message = failed.at(0).at(0).toString();
        EXPECT_TRUE(message.contains(QStringLiteral("not valid XML"))) << message.toStdString();
        EXPECT_FALSE(message.contains(QLatin1Char('\n')));
    }
    {
        FeedServer server("<html><body>Not found</body></html>");
        Updater u(server.url(), QVersionNumber(0, 1, 0));
        QSignalSpy failed(&u, &Updater::checkFailed);
        u.checkForUpdates();
        ASSERT_TRUE(failed.wait(5000));
        EXPECT_TRUE(failed.at(0).at(0).toString().contains(QStringLiteral("not an RSS feed")));
    }
    // Nothing listens on this port any more: connection refused.
    QUrl gone;
    {
        FeedServer server(feed(QStringLiteral("9.0")));
        gone = server.url();
    }
    Updater u(gone, QVersionNumber(0, 1, 0));
    QSignalSpy failed(&u, &Updater::checkFailed);
    u.checkForUpdates();
    ASSERT_TRUE(failed.wait(10000));
    EXPECT_TRUE(failed.at(0).at(0).toString().startsWith(QStringLiteral("Couldn’t check for updates: ")));
    EXPECT_TRUE(u.canCheckForUpdates());
}

TEST(Updater, NoFeedMeansNoCheck) {
    Updater u(QUrl(), QVersionNumber(0, 1, 0));
    EXPECT_FALSE(u.canCheckForUpdates());
    QSignalSpy any(&u, &Updater::checkFailed);
    u.checkForUpdates();
    QTest::qWait(50);
    EXPECT_EQ(any.count(), 0);
}
