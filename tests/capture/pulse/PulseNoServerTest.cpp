// The pulse backend with no sound server: nowhere to connect, and a server
// that accepts the connection but never answers. Both must fail within a few
// seconds with a sentence for the user, never hang.

#include "capture/HostClock.h"
#include "capture/pulse/PulseSoundDevices.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace orvane {
namespace {

// Whatever the environment had, this test says where the server is.
class ServerAt {
public:
    explicit ServerAt(const std::string& address) {
        const char* old = std::getenv("PULSE_SERVER");
        if (old != nullptr) {
            old_ = old;
            hadOld_ = true;
        }
        ::setenv("PULSE_SERVER", address.c_str(), 1);
    }
    ~ServerAt() {
        if (hadOld_) {
            ::setenv("PULSE_SERVER", old_.c_str(), 1);
        } else {
            ::unsetenv("PULSE_SERVER");
        }
    }
    ServerAt(const ServerAt&) = delete;
    ServerAt& operator=(const ServerAt&) = delete;

private:
    std::string old_;
    bool hadOld_ = false;
};

void expectFailsFast(double limitSeconds) {
    PulseSoundDevices devices;
    double asked = hostTime();
    EXPECT_TRUE(devices.inputs().empty());
    EXPECT_FALSE(devices.error().empty());
    EXPECT_LT(hostTime() - asked, limitSeconds);

    for (SoundKind kind : kSoundKinds) {
        asked = hostTime();
        auto opened = devices.open(kind, {});
        ASSERT_FALSE(opened.ok());
        EXPECT_EQ(opened.errorKind(), ErrorKind::NotFound);
        EXPECT_NE(opened.error().find("sound server"), std::string::npos) << opened.error();
        EXPECT_LT(hostTime() - asked, limitSeconds);
    }
}

TEST(PulseNoServer, NowhereToConnectFailsAtOnce) {
    ServerAt nowhere("unix:/nonexistent/orvane/no-server");
    expectFailsFast(1.0);
}

TEST(PulseNoServer, AServerThatNeverAnswersTimesOut) {
    // A socket that takes connections (the kernel's backlog) and never reads.
    const std::string path = (std::filesystem::temp_directory_path()
                              / ("orvane-silent-" + std::to_string(::getpid()))).string();
    ::unlink(path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 16), 0);
    {
        ServerAt silent("unix:" + path);
        expectFailsFast(6.0);
    }
    ::close(fd);
    ::unlink(path.c_str());
}

} // namespace
} // namespace orvane
