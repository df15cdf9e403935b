#include "gpslink/receiverprobe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velocimo;
using namespace std::chrono_literals;

namespace {

// A system of its own: /dev with a few devices, /proc with one gpsd holding one of them.
class Probe : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/velocimo-probe-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_root = name;
        for (const char* dir : {"/dev", "/dev/serial", "/dev/serial/by-id", "/proc", "/proc/4242",
                                "/proc/4242/fd", "/proc/77", "/proc/77/fd"}) {
            ::mkdir((m_root + dir).c_str(), 0755);
        }
        for (const char* dev : {"ttyUSB0", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS1", "ttyS0",
                                "rfcomm0", "tty", "ttyUSBx", "console"}) {
            touch("/dev/" + std::string(dev));
        }
        link("../../ttyACM0", "/dev/serial/by-id/usb-u-blox_GNSS_receiver-if00");
        link("../../ttyUSB9", "/dev/serial/by-id/usb-gone-if00");
        write("/proc/4242/comm", "gpsd\n");
        link("/dev/ttyACM0", "/proc/4242/fd/7");
        write("/proc/77/comm", "minicom\n");
        link("/dev/ttyUSB2", "/proc/77/fd/3");
        m_env.root = m_root;
        m_env.accessError = [this](const std::string& path) {
            return path == m_root + "/dev/ttyUSB0" ? EACCES : 0;
        };
    }
    void TearDown() override { std::system(("rm -rf '" + m_root + "'").c_str()); }

    void touch(const std::string& path) const { ::close(::creat((m_root + path).c_str(), 0600)); }
    void write(const std::string& path, const std::string& text) const {
        const int fd = ::creat((m_root + path).c_str(), 0600);
        ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
    }
    void link(const std::string& target, const std::string& path) const {
        ASSERT_EQ(::symlink(target.c_str(), (m_root + path).c_str()), 0);
    }

    std::string m_root;
    ProbeEnvironment m_env;
};

TEST_F(Probe, ListsByIdNamesThenTheDevicesNoneOfThemNames) {
    const std::vector<DeviceEntry> expected = {
        {"/dev/serial/by-id/usb-u-blox_GNSS_receiver-if00",
         "usb-u-blox_GNSS_receiver-if00 (ttyACM0)"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/ttyUSB2", "/dev/ttyUSB2"},
        {"/dev/ttyUSB10", "/dev/ttyUSB10"},
        {"/dev/ttyS0", "/dev/ttyS0"},
        {"/dev/ttyS1", "/dev/ttyS1"},
        {"/dev/rfcomm0", "/dev/rfcomm0"},
    };
    EXPECT_EQ(listSerialDevices(m_env), expected);
}

uint16_t listeningPort(int& fd) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), size);
    ::listen(fd, 4);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    return ntohs(a.sin_port);
}

TEST_F(Probe, SaysWhatIsWrongWithEachSource) {
    int listening = -1;
    const std::string open = std::to_string(listeningPort(listening));
    int closed = -1;
    const std::string refused = std::to_string(listeningPort(closed));
    ::close(closed);
    struct Case {
        std::string entry;
        SourceProblem problem;
    };
    const Case cases[] = {
        {"/dev/ttyUSB2", SourceProblem::None},
        {"/dev/ttyUSB7", SourceProblem::NotPresent},
        {"", SourceProblem::NotPresent},
        {"/dev/serial/by-id/usb-gone-if00", SourceProblem::NotPresent},
        {"/dev/ttyUSB0", SourceProblem::PermissionDenied},
        {"/dev/ttyACM0", SourceProblem::InUseByGpsd},
        {"/dev/serial/by-id/usb-u-blox_GNSS_receiver-if00", SourceProblem::InUseByGpsd},
        {"tcp://127.0.0.1:" + open, SourceProblem::None},
        {"gpsd://127.0.0.1:" + open, SourceProblem::None},
        {"tcp://127.0.0.1:" + refused, SourceProblem::ConnectionRefused},
        {"gpsd://127.0.0.1:" + refused, SourceProblem::ConnectionRefused},
        {"tcp://127.0.0.1", SourceProblem::BadAddress},
        {"tcp://host.invalid:10110", SourceProblem::BadAddress},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(diagnoseSource(c.entry, m_env), c.problem);
    }
    ::close(listening);
    EXPECT_EQ(describeProblem(SourceProblem::None), "");
    EXPECT_EQ(describeProblem(SourceProblem::PermissionDenied),
              "permission denied: add your user to the dialout group (sudo adduser $USER "
              "dialout) and log in again");
    EXPECT_EQ(describeProblem(SourceProblem::InUseByGpsd),
              "in use by gpsd: choose gpsd on this computer");
}

// The real access check: root passes every permission check, so this only binds for others
// (the injected check above covers the dialout hint under root).
TEST_F(Probe, AnUnreadableDeviceIsReportedByTheRealAccessCheck) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "running as root: permissions do not bind";
    }
    touch("/dev/ttyUSB3");
    ::chmod((m_root + "/dev/ttyUSB3").c_str(), 0);
    m_env.accessError = nullptr;
    EXPECT_EQ(diagnoseSource("/dev/ttyUSB3", m_env), SourceProblem::PermissionDenied);
    EXPECT_EQ(diagnoseSource("/dev/ttyUSB1", m_env), SourceProblem::NotPresent);
}

} // namespace
