// The update check against an appcast feed served on the loopback address by
// the test itself: a newer version, an equal one, a malformed feed and a
// network error; feeds at addresses that are not secure, and release notes
// that arrive as HTML.
#include "FakeBackend.h"

#include "ui/update/ReleaseNotes.h"
#include "ui/update/Updater.h"
#include "ui/window/MainWindow.h"

#include <QMessageBox>
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

TEST(Updater, OnlySecureFeedsAreChecked) {
    for (const char* refused :
         {"http://example.com/appcast.xml", "http://10.0.0.1/appcast.xml",
          "http://127.0.0.1.example.com/appcast.xml", "ftp://127.0.0.1/appcast.xml",
          "file:///tmp/appcast.xml", "https:///appcast.xml", "appcast.xml"}) {
        Updater u(QUrl(QString::fromLatin1(refused)), QVersionNumber(0, 1, 0));
        EXPECT_FALSE(u.canCheckForUpdates()) << refused;
        QSignalSpy any(&u, &Updater::checkFailed);
        QSignalSpy available(&u, &Updater::updateAvailable);
        u.checkForUpdates();
        QTest::qWait(20);
        EXPECT_EQ(any.count() + available.count(), 0) << refused;
    }
    for (const char* accepted :
         {"https://updates.example.com/appcast.xml", "http://127.0.0.1:8080/appcast.xml",
          "http://127.4.5.6/appcast.xml", "http://[::1]:9000/appcast.xml",
          "http://localhost/appcast.xml"}) {
        EXPECT_TRUE(Updater(QUrl(QString::fromLatin1(accepted)), QVersionNumber(0, 1, 0))
                        .canCheckForUpdates())
            << accepted;
    }
}

TEST(Updater, ADownloadLinkThatIsNotSecureIsNotOffered) {
    // The newest item points at plain HTTP on the internet; the older one at HTTPS.
    QByteArray xml = feed(QStringLiteral("0.3.0"));
    xml.replace("https://example.invalid/orvane-0.3.0.deb", "http://example.invalid/orvane-0.3.0.deb");
    AppcastItem newest;
    QString error;
    ASSERT_TRUE(Updater::parseFeed(xml, newest, error)) << error.toStdString();
    EXPECT_EQ(newest.version, QVersionNumber(0, 0, 9));
    EXPECT_EQ(newest.downloadPage.scheme(), QStringLiteral("https"));

    xml.replace("https://example.invalid/orvane/0.0.9", "javascript:alert(1)");
    EXPECT_FALSE(Updater::parseFeed(xml, newest, error));
    EXPECT_TRUE(error.contains(QStringLiteral("no version with a download link")));
}

TEST(Updater, ReleaseNotesBecomePlainText) {
    EXPECT_EQ(releaseNotesAsText(QStringLiteral(
                  "<h2>What&#39;s new</h2>\n<ul><li>Faster &amp; smaller</li>"
                  "<li><a href=\"https://example.invalid/x\">Details</a></li></ul>"
                  "<script>alert('owned')</script><style>p{}</style><!-- note -->"
                  "<p>Thanks<br/>to&nbsp;everyone &lt;3 &#x2764;</p><img src=\"http://t.invalid/p.png\">")),
              QStringLiteral("What's new\n• Faster & smaller\n• Details\nThanks\nto everyone <3 \u2764"));
    // Notes without markup keep their lines; only the ends are tidied.
    EXPECT_EQ(releaseNotesAsText(QStringLiteral("  Faster export.\n\n\n\nFixes: 2 < 3  \n")),
              QStringLiteral("Faster export.\n\nFixes: 2 < 3"));
    // Broken markup and references lose nothing but the markup.
    EXPECT_EQ(releaseNotesAsText(QStringLiteral("<b>Bold &bogus; &#0; &#x110000;</b> <i")),
              QStringLiteral("Bold &bogus; &#0; &#x110000;"));
    EXPECT_EQ(releaseNotesAsText(QString()), QString());
}

TEST(Updater, TheUpdateDialogShowsTheNotesAsPlainText) {
    const QString notes = QStringLiteral(
        "<![CDATA[<p><b>Bold claim</b></p><ul><li>Item one</li></ul>"
        "<a href=\"https://phish.invalid\">Click here</a>]]>");
    FeedServer server(feed(QStringLiteral("0.2.0"), notes));
    Updater u(server.url(), QVersionNumber(0, 1, 0));
    test::FakeBackend backend;
    MainWindow w(backend, backend);
    w.setUpdater(&u);
    QSignalSpy available(&u, &Updater::updateAvailable);
    u.checkForUpdates();
    ASSERT_TRUE(available.wait(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.lastUpdateMessage().isEmpty(); }, 2000));
    const auto* box = w.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), QStringLiteral("Orvane 0.2.0 is available.\n\nBold claim\n• Item one\nClick here"));
    EXPECT_FALSE(box->text().contains(QLatin1Char('<')));
}
