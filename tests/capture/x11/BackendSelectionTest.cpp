// The capture backend as the program gets it on a real X server: the factory's
// choice, and the picker's choice without a dialog that orvane-record uses.
#include "X11TestSupport.h"

#include "capture/CaptureBackendFactory.h"
#include "capture/x11/X11Source.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace orvane;
using namespace orvane::test;

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = std::string(old);
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The one answer a picker gives to choose(): content or a failure text.
struct Answer {
    std::optional<CaptureContent> content;
    QString failure;
};

Answer chooseWith(ContentPicker& picker, const ContentQuery& query) {
    Answer answer;
    bool done = false;
    QObject::connect(&picker, &ContentPicker::contentChosen, [&](const CaptureContent& c) {
        answer.content = c;
        done = true;
    });
    QObject::connect(&picker, &ContentPicker::failed, [&](const QString& why) {
        answer.failure = why;
        done = true;
    });
    picker.choose(query);
    EXPECT_FALSE(done) << "the answer must come queued, not from inside choose()";
    waitUntil([&] { return done; });
    QObject::disconnect(&picker, nullptr, nullptr, nullptr);
    return answer;
}

} // namespace

TEST(BackendSelectionTest, AnX11SessionGetsTheX11Backend) {
    ScopedEnv noChoice("ORVANE_CAPTURE", nullptr);
    ScopedEnv session("XDG_SESSION_TYPE", "x11");
    auto backend = CaptureBackendFactory::open();
    ASSERT_TRUE(backend) << backend.error();
    EXPECT_STREQ(backend.value()->name(), "x11");
    EXPECT_EQ(CaptureBackendFactory::sessionBackend(), "x11");
}

TEST(BackendSelectionTest, AWaylandSessionWhosePortalDoesNotAnswerFallsBackToX11) {
    // XWayland gives Wayland sessions an X server: when the Wayland backend
    // cannot open (here: no session bus, no portal), the next entry that
    // opens is used.
    ScopedEnv noChoice("ORVANE_CAPTURE", nullptr);
    ScopedEnv session("XDG_SESSION_TYPE", "wayland");
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvane-bus");
    auto backend = CaptureBackendFactory::open();
    ASSERT_TRUE(backend) << backend.error();
    EXPECT_STREQ(backend.value()->name(), "x11");
}

TEST(BackendSelectionTest, ANamedBackendIsTheOnlyOneTried) {
    ScopedEnv choice("ORVANE_CAPTURE", "x11");
    auto backend = CaptureBackendFactory::open({"", ":97", {}}); // no server there
    ASSERT_FALSE(backend);
    EXPECT_EQ(backend.errorKind(), ErrorKind::NotFound);
    EXPECT_EQ(backend.error(), "x11 capture: Cannot connect to the X display :97");

    auto unknown = CaptureBackendFactory::open({"quartz", "", {}});
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.errorKind(), ErrorKind::Invalid);
    EXPECT_NE(unknown.error().find("unknown capture backend \"quartz\""), std::string::npos)
        << unknown.error();
    EXPECT_NE(unknown.error().find("x11"), std::string::npos) << unknown.error();
}

TEST(BackendSelectionTest, NoBackendThatOpensSaysWhyForEach) {
    ScopedEnv noChoice("ORVANE_CAPTURE", nullptr);
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvane-bus");
    auto backend = CaptureBackendFactory::open({"", ":96", {}});
    ASSERT_FALSE(backend);
    // Every backend of the build, each with its reason.
    EXPECT_EQ(backend.error().rfind("no capture backend could be opened (x11: Cannot connect to "
                                    "the X display :96; wayland: ",
                                    0),
              0u)
        << backend.error();
}

TEST(BackendSelectionTest, ThePickerChoosesWithoutADialog) {
    auto opened = CaptureBackendFactory::open({"x11", "", {}});
    ASSERT_TRUE(opened) << opened.error();
    CaptureBackend& backend = *opened.value();

    TestWindow window(200, 150, 320, 200, 0x20a040);
    window.setTitle("Chosen by title 7c1");
    window.map();

    Answer monitor = chooseWith(backend.picker(), ContentQuery{});
    ASSERT_TRUE(monitor.content) << monitor.failure.toStdString();
    EXPECT_EQ(monitor.content->kind, CaptureContent::Kind::Display);
    EXPECT_EQ(monitor.content->area, QRectF(0, 0, 1920, 1200));
    ASSERT_NE(X11Source::of(*monitor.content), nullptr);
    EXPECT_EQ(X11Source::of(*monitor.content)->monitorIndex(), 0);

    ContentQuery byTitle;
    byTitle.windowTitle = QStringLiteral("by title 7c1");
    Answer titled;
    // The window is listed once the server has mapped it.
    waitUntil([&] {
        titled = chooseWith(backend.picker(), byTitle);
        return titled.content.has_value();
    });
    ASSERT_TRUE(titled.content) << titled.failure.toStdString();
    EXPECT_EQ(x11WindowId(*titled.content), window.id());

    ContentQuery byId;
    byId.windowId = window.id();
    Answer identified = chooseWith(backend.picker(), byId);
    ASSERT_TRUE(identified.content) << identified.failure.toStdString();
    EXPECT_EQ(identified.content->title, QStringLiteral("Chosen by title 7c1"));

    // A stream of the chosen window can be made; another backend's content
    // (here: none at all) cannot.
    EXPECT_TRUE(backend.createStream(*identified.content));
    CaptureContent foreign = *identified.content;
    foreign.source.reset();
    EXPECT_FALSE(backend.createStream(foreign));

    ContentQuery missing;
    missing.monitor = 5;
    Answer none = chooseWith(backend.picker(), missing);
    EXPECT_FALSE(none.content);
    EXPECT_TRUE(none.failure.startsWith(QStringLiteral("no monitor 5 on "))) << none.failure.toStdString();
    EXPECT_TRUE(none.failure.endsWith(QStringLiteral("(1 found)"))) << none.failure.toStdString();
}
