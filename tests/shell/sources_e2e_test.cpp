// The real velocimo program, offscreen, reading a simulated receiver through a real gpsd and
// through a TCP server instead of a serial device.

#include "settings/regfilestore.h"
#include "tests/support/programprocess.h"
#include "tests/support/simprocess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/stat.h>

namespace velocimo {
namespace {

using namespace std::chrono_literals;
using test::SimProcess;

const std::string kProgram = VELOCIMO_PROGRAM_PATH;
const std::string kGpsd = "/usr/sbin/gpsd";

uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

void endProcess(pid_t& pid) {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

class NetworkSources : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/velocimo-sources-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_dir = name;
        ::mkdir((m_dir + "/run").c_str(), 0700);
        ::mkdir((m_dir + "/config").c_str(), 0700);
    }
    void TearDown() override {
        endProcess(m_program);
        endProcess(m_gpsd);
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    void startProgramOn(const std::string& entry) {
        {
            RegFileStore store(m_dir + "/config/Korvane/Velocimo.reg");
            auto main = store.openKey(kSettingsKeyPath);
            ASSERT_TRUE(main);
            main->writeDword(u"AutoConnect", 1);
            main->close();
            auto ports = store.openKey(kPortsKeyPath);
            ports->writeText(u"COM1:", fromUtf8(entry));
            ports->close();
        }
        m_program = test::spawnProcess({kProgram},
                                       {{"QT_QPA_PLATFORM", "offscreen"},
                                        {"XDG_RUNTIME_DIR", m_dir + "/run"},
                                        {"XDG_CONFIG_HOME", m_dir + "/config"}},
                                       m_dir + "/velocimo.err");
        ASSERT_GT(m_program, 0);
    }

    std::map<std::string, std::string> status() const {
        return test::queryStatusFields(m_dir + "/run/velocimo/control",
                                       {"gpsConnected", "fixValid"});
    }
    bool hasAFix() const {
        auto s = status();
        return s["gpsConnected"] == "true" && s["fixValid"] == "true";
    }
    std::string errors() const {
        std::ifstream in(m_dir + "/velocimo.err");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // With the data gone the watchdog closes the link, as when a cable is pulled.
    void stopDataAndExpectTheWatchdog(SimProcess& sim) {
        sim.signal(SIGTERM);
        EXPECT_EQ(sim.wait(3000ms), 0);
        EXPECT_TRUE(test::waitUntil([this] { return status()["gpsConnected"] == "false"; }, 40s))
            << errors();
        EXPECT_EQ(::kill(m_program, 0), 0) << "the program keeps running";
        EXPECT_TRUE(errors().find("velocimo:") == std::string::npos) << errors();
    }

    std::string m_dir;
    pid_t m_program = -1;
    pid_t m_gpsd = -1;
};

TEST_F(NetworkSources, TcpServerGivesAFixAndItsEndFiresTheWatchdog) {
    SimProcess sim({"--rate", "5", "--tcp", "0"});
    const std::string entry = sim.firstLine();
    ASSERT_EQ(entry.rfind("tcp://127.0.0.1:", 0), 0u) << entry;
    startProgramOn(entry);
    ASSERT_TRUE(test::waitUntil([this] { return hasAFix(); }, 15s)) << errors();
    stopDataAndExpectTheWatchdog(sim);
}

TEST_F(NetworkSources, GpsdSharingTheReceiverGivesAFixAndItsEndFiresTheWatchdog) {
    struct stat info;
    ASSERT_EQ(::stat(kGpsd.c_str(), &info), 0) << "gpsd is installed by scripts/install-deps.sh";
    SimProcess sim({"--rate", "5"});
    const std::string pty = sim.firstLine();
    ASSERT_FALSE(pty.empty());
    const std::string port = std::to_string(freePort());
    m_gpsd = test::spawnProcess({kGpsd, "-N", "-n", "-F", m_dir + "/gpsd.sock", "-S", port, pty},
                                {}, m_dir + "/gpsd.err");
    ASSERT_GT(m_gpsd, 0);
    ASSERT_TRUE(
        test::waitUntil([&] { return ::stat((m_dir + "/gpsd.sock").c_str(), &info) == 0; }, 5s));
    startProgramOn("gpsd://127.0.0.1:" + port);
    ASSERT_TRUE(test::waitUntil([this] { return hasAFix(); }, 20s)) << errors();
    stopDataAndExpectTheWatchdog(sim);
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
