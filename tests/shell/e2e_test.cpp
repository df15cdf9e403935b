// The real velocimo program, offscreen, against velocimo-sim on a pseudo-terminal.

#include "settings/regfilestore.h"
#include "shell/singleinstance.h"
#include "tests/support/programprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velocimo {
namespace {

using namespace std::chrono_literals;

const std::string kProgram = VELOCIMO_PROGRAM_PATH;
const std::string kSim = VELOCIMO_SIM_PATH;

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// The exit code, or -1 when the process is still running after the limit (or died by a signal).
int waitExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    const bool done =
        test::waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!done || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// The few top-level members of the running program's status line the tests look at; empty
// when no program answers.
std::map<std::string, std::string> queryStatus(const std::string& socketPath) {
    return test::queryStatusFields(socketPath, {"gpsConnected", "fixValid", "ticks", "tickPaints"});
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(exists(kProgram)) << kProgram;
        ASSERT_TRUE(exists(kSim)) << kSim;
        char name[] = "/tmp/velocimo-e2e-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_dir = name;
        ::mkdir((m_dir + "/run").c_str(), 0700);
        ::mkdir((m_dir + "/config").c_str(), 0700);
        m_link = m_dir + "/gps";
        std::vector<std::string> simArgs = {kSim, "--rate", "5", "--link", m_link};
        simArgs.insert(simArgs.end(), m_simOptions.begin(), m_simOptions.end());
        m_sim = test::spawnProcess(simArgs, {}, m_dir + "/sim.err");
        ASSERT_GT(m_sim, 0);
        ASSERT_TRUE(test::waitUntil([this] { return exists(m_link); }, 5000ms)) << "no sim link";

        RegFileStore store(storePath());
        auto main = store.openKey(kSettingsKeyPath);
        ASSERT_TRUE(main);
        main->writeDword(u"AutoConnect", 1);
        main->writeDword(u"DistTotal", 1234);
        main->close();
        auto ports = store.openKey(kPortsKeyPath);
        ASSERT_TRUE(ports);
        ports->writeText(u"COM1:", fromUtf8(m_link));
        ports->close();
    }

    void TearDown() override {
        for (pid_t pid : m_programs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (m_sim > 0) {
            ::kill(m_sim, SIGTERM);
            if (waitExit(m_sim, 3000ms) == -1) {
                ::kill(m_sim, SIGKILL);
                ::waitpid(m_sim, nullptr, 0);
            }
        }
        if (!m_dir.empty()) {
            std::system(("rm -rf '" + m_dir + "'").c_str());
        }
    }

    std::string storePath() const { return m_dir + "/config/Korvane/Velocimo.reg"; }
    std::map<std::string, std::string> status() const { return queryStatus(controlPath()); }
    std::string controlPath() const { return m_dir + "/run/velocimo/control"; }
    std::map<std::string, std::string> env() const {
        return {{"QT_QPA_PLATFORM", "offscreen"},
                {"XDG_RUNTIME_DIR", m_dir + "/run"},
                {"XDG_CONFIG_HOME", m_dir + "/config"}};
    }
    pid_t startProgram() {
        const pid_t pid = test::spawnProcess({kProgram}, env(), m_dir + "/velocimo.err");
        if (pid > 0) {
            m_programs.push_back(pid);
        }
        return pid;
    }
    void forget(pid_t pid) { std::erase(m_programs, pid); }

    // Running, ticking, and the last painted record has a valid fix.
    bool ticksWithAFix() const {
        auto s = status();
        return s["gpsConnected"] == "true" && s["fixValid"] == "true" &&
               std::atol(s["ticks"].c_str()) >= 1 && std::atol(s["tickPaints"].c_str()) >= 1;
    }

    bool stored(const char16_t* name, uint32_t& value) {
        RegFileStore store(storePath());
        auto key = store.openKey(kSettingsKeyPath);
        return key && key->readDword(name, value);
    }

    std::string errors() const {
        std::ifstream in(m_dir + "/velocimo.err");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string m_dir;
    std::string m_link;
    // Given to the simulator besides its pace and link.
    std::vector<std::string> m_simOptions;
    pid_t m_sim = -1;
    std::vector<pid_t> m_programs;
};

TEST_F(EndToEnd, StartsConnectedSecondStartHandsOverAnd1023Disconnects) {
    // A socket file left by a crashed run is replaced.
    ::mkdir((m_dir + "/run/velocimo").c_str(), 0700);
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        controlPath().copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    const pid_t first = startProgram();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(test::waitUntil([this] { return ticksWithAFix(); }, 10000ms)) << errors();
    uint32_t value = 0;
    EXPECT_FALSE(stored(u"SelectedDisplay", value)) << "only a run-state save writes it";

    const pid_t second = startProgram();
    EXPECT_EQ(waitExit(second, 3000ms), 0);
    forget(second);
    EXPECT_EQ(::kill(first, 0), 0) << "the first program keeps running";

    ASSERT_TRUE(sendControlLine(controlPath(), "1023"));
    ASSERT_TRUE(test::waitUntil([this] { return status()["gpsConnected"] == "false"; }, 5000ms));
    EXPECT_TRUE(stored(u"SelectedDisplay", value));
    ASSERT_TRUE(stored(u"DistTotal", value));
    EXPECT_GE(value, 1234u);
    // The tick has stopped: no tick arrives any more.
    const std::string ticks = status()["ticks"];
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(status()["ticks"], ticks);
    EXPECT_EQ(::kill(first, 0), 0);
    EXPECT_TRUE(errors().find("velocimo:") == std::string::npos) << errors();
}

// A module of today: 9600 baud, GN and GP talkers mixed, found by the automatic rate.
class TodaysReceiver : public EndToEnd {
protected:
    TodaysReceiver() { m_simOptions = {"--baud", "9600", "--talker", "mixed"}; }
    void SetUp() override {
        EndToEnd::SetUp();
        RegFileStore store(storePath());
        auto main = store.openKey(kSettingsKeyPath);
        ASSERT_TRUE(main);
        main->writeDword(u"BaudRate", 0);
        main->writeDword(u"AnyTalker", 1);
        main->writeDword(u"VerifyChecksum", 1);
        main->close();
    }
};

TEST_F(TodaysReceiver, AutomaticRateAndAnyTalkerGiveAFix) {
    const pid_t program = startProgram();
    ASSERT_GT(program, 0);
    // AutoConnect opens the port at start.
    ASSERT_TRUE(test::waitUntil([this] { return ticksWithAFix(); }, 15000ms)) << errors();
    EXPECT_TRUE(errors().find("velocimo:") == std::string::npos) << errors();
}

TEST_F(EndToEnd, TerminationSignalSavesTheRunStateAndEnds) {
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        {
            RegFileStore store(storePath());
            auto key = store.openKey(kSettingsKeyPath);
            key->writeDword(u"DistTotal", 4321);
            key->writeDword(u"SelectedDisplay", 77);
            key->close();
        }
        const pid_t pid = startProgram();
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(test::waitUntil([this] { return ticksWithAFix(); }, 10000ms)) << errors();
        ::kill(pid, signal);
        EXPECT_EQ(waitExit(pid, 5000ms), 0);
        forget(pid);
        uint32_t value = 0;
        ASSERT_TRUE(stored(u"DistTotal", value));
        EXPECT_GE(value, 4321u);
        ASSERT_TRUE(stored(u"SelectedDisplay", value));
        EXPECT_EQ(value, 77u) << "the run state was written back as it stood";
        EXPECT_FALSE(exists(controlPath())) << "the socket goes with the program";
    }
}

TEST_F(EndToEnd, RefusesAControlFolderOthersCanEnter) {
    ::mkdir((m_dir + "/run/velocimo").c_str(), 0700);
    ::chmod((m_dir + "/run/velocimo").c_str(), 0755);
    const pid_t pid = startProgram();
    EXPECT_EQ(waitExit(pid, 5000ms), 1);
    forget(pid);
    EXPECT_NE(errors().find("velocimo:"), std::string::npos);
    EXPECT_TRUE(status().empty()) << "nothing answers";
}

// A receiver on a pty in the kernel's default state, with SiRF set-up on, that never
// takes what is sent (its output stopped) and later goes away altogether.
TEST_F(EndToEnd, AReceiverThatTakesNothingOrHangsUpNeitherHoldsNorFoolsTheProgram) {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    // Not handed down: the program's copy of the master would keep the device alive.
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    ASSERT_EQ(::tcflow(slave, TCOOFF), 0);
    {
        RegFileStore store(storePath());
        auto main = store.openKey(kSettingsKeyPath);
        main->writeDword(u"SIRF", 1);
        main->close();
        auto ports = store.openKey(kPortsKeyPath);
        ports->writeText(u"COM1:", fromUtf8(name));
        ports->close();
    }
    const pid_t pid = startProgram();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(test::waitUntil([this] { return status()["gpsConnected"] == "true"; }, 10000ms))
        << errors();
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(sendControlLine(controlPath(), "1023"));
    EXPECT_TRUE(test::waitUntil([this] { return status()["gpsConnected"] == "false"; }, 1000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1500ms);

    // Connected again, without a fix; then the device goes.
    ::close(slave);
    ASSERT_EQ(::tcflow(master, TCOON), 0);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    forget(pid);
    const pid_t again = startProgram();
    ASSERT_TRUE(test::waitUntil([this] { return status()["gpsConnected"] == "true"; }, 10000ms))
        << errors();
    ::close(master);
    const auto gone = std::chrono::steady_clock::now();
    EXPECT_TRUE(test::waitUntil([this] { return status()["gpsConnected"] == "false"; }, 2000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - gone, 2500ms);
    EXPECT_EQ(::kill(again, 0), 0) << "still running, the box up";
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace velocimo {
namespace {

class LoggingDrive : public EndToEnd {
protected:
    // Logging on to a chosen file with every column, the built-in drive for a while at five
    // times its pace, then a close: what reached the file.
    std::string drive(const std::map<std::string, std::string>& extraEnv) {
        const std::string csv = m_dir + "/drive.csv";
        {
            RegFileStore store(storePath());
            auto main = store.openKey(kSettingsKeyPath);
            main->writeDword(u"Log", 1);
            main->writeText(u"LogName", fromUtf8(csv));
            main->close();
            auto log = store.openKey(kLogKeyPath);
            for (const char16_t* name :
                 {u"Position_DEC", u"Position_DMM", u"Elevation", u"SpeedCurrent", u"SpeedAverage",
                  u"DistanceTrip", u"DistanceTotal", u"Satellites", u"HDOP"}) {
                log->writeDword(name, 1);
            }
            log->close();
        }
        auto environment = env();
        environment.insert(extraEnv.begin(), extraEnv.end());
        const pid_t pid = test::spawnProcess({kProgram}, environment, m_dir + "/velocimo.err");
        EXPECT_GT(pid, 0);
        m_programs.push_back(pid);
        std::this_thread::sleep_for(12s);
        m_ticks = std::atol(status()["ticks"].c_str());
        ::kill(pid, SIGTERM);
        EXPECT_EQ(waitExit(pid, 5000ms), 0) << errors();
        forget(pid);

        uint32_t value = 0;
        EXPECT_TRUE(stored(u"Log", value) && value == 1) << "logging stays on";
        RegFileStore store(storePath());
        auto main = store.openKey(kSettingsKeyPath);
        std::u16string name;
        EXPECT_TRUE(main && main->readText(u"LogName", name));
        EXPECT_EQ(toUtf8(name), csv);

        std::ifstream in(csv, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Every line ends in CR LF, every value parses, and the speed climbs with the drive.
    void checkLog(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        ASSERT_EQ(start, text.size()) << "a line without CR LF";
        ASSERT_GE(lines.size(), 6u) << text;
        EXPECT_EQ(lines[0], "LAT_DEC,LONG_DEC,LAT_DMM,LONG_DMM,ELEVATION,SPEED_CUR,SPEED_AVG,"
                            "DIST_TRIP,DIST_TOTAL,SATELLITES,HDOP");
        EXPECT_LE(static_cast<long>(lines.size() - 1), m_ticks) << "one record per tick at most";
        std::vector<double> speeds;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            std::vector<std::string> values;
            std::stringstream row(lines[i]);
            for (std::string v; std::getline(row, v, ',');) {
                values.push_back(v);
            }
            ASSERT_EQ(values.size(), 11u) << lines[i];
            for (std::size_t c = 0; c < values.size(); ++c) {
                std::string v = values[c];
                if (c == 4) { // the elevation carries its unit
                    while (!v.empty() && std::isalpha(static_cast<unsigned char>(v.back()))) {
                        v.pop_back();
                    }
                }
                char* end = nullptr;
                const double number = std::strtod(v.c_str(), &end);
                EXPECT_TRUE(!v.empty() && *end == '\0' && std::isfinite(number))
                    << "column " << c << " of " << lines[i];
                if (c == 5) {
                    speeds.push_back(number);
                }
            }
        }
        // The drive accelerates to its top speed before anything slows it down.
        const auto peak = std::max_element(speeds.begin(), speeds.end());
        for (auto it = speeds.begin(); it != peak; ++it) {
            EXPECT_LE(*it, *(it + 1)) << "speeds " << ::testing::PrintToString(speeds);
        }
        for (double s : speeds) {
            EXPECT_GE(s, 2.5) << "a record below the moving threshold";
        }
    }

    long m_ticks = 0;
};

TEST_F(LoggingDrive, WritesOneRecordPerMovingTick) {
    checkLog(drive({}));
}

TEST_F(LoggingDrive, GermanLocaleStillWritesPoints) {
    const std::string text = drive({{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "de_DE.UTF-8"}});
    checkLog(text);
    EXPECT_NE(text.find('.'), std::string::npos);
    const std::size_t header = text.find("\r\n");
    EXPECT_EQ(text.find_first_of(";", header), std::string::npos);
    // Eleven columns per record means no value gained a decimal comma.
}

} // namespace
} // namespace velocimo
