// Power cuts while driving: the real program against velocimo-sim, killed with SIGKILL at
// random moments, must leave a readable file whose odometer is at most a minute behind.

#include "settings/regfilestore.h"
#include "shell/core/utf.h"
#include "tests/support/programprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace velocimo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::queryStatusFields;
using test::spawnProcess;
using test::waitUntil;

constexpr int kTrials = 100;
constexpr int kLanes = 4;
constexpr double kRate = 30.0;
// The simulated drive tops out at 130 km/h; no unit is longer than a kilometre, so this
// bounds the odometer's pace per second of our clock.
constexpr double kMaxPerSecond = 130.0 / 3600.0 * kRate;
constexpr double kTickSeconds = 1.0;
constexpr int kMinuteOfTicks = 60;

struct Sample {
    Clock::time_point asked; // before the question went out
    long ticks = -1;
    double total = -1;
};

bool ask(const std::string& socketPath, Sample& sample) {
    sample.asked = Clock::now();
    auto s = queryStatusFields(socketPath, {"gpsConnected", "ticks", "totalDistance"});
    if (s["gpsConnected"] != "true" || !s.count("ticks") || !s.count("totalDistance")) {
        return false;
    }
    sample.ticks = std::atol(s["ticks"].c_str());
    sample.total = std::atof(s["totalDistance"].c_str());
    return true;
}

// One program folder, simulator and settings file; trials run one after another in it.
class Lane {
public:
    explicit Lane(int index) {
        char name[] = "/tmp/velocimo-powercut-XXXXXX";
        if (!::mkdtemp(name)) {
            return;
        }
        m_dir = name;
        ::mkdir((m_dir + "/run").c_str(), 0700);
        ::mkdir((m_dir + "/config").c_str(), 0700);
        const std::string link = m_dir + "/gps";
        std::ostringstream rate;
        rate << kRate;
        m_sim = spawnProcess({VELOCIMO_SIM_PATH, "--rate", rate.str(), "--link", link}, {},
                             m_dir + "/sim.err");
        waitUntil([&] { return ::access(link.c_str(), F_OK) == 0; }, 5000ms);
        RegFileStore store(storePath());
        auto main = store.openKey(kSettingsKeyPath);
        main->writeDword(u"AutoConnect", 1);
        // Four fast simulators on a loaded machine can overrun their ptys and tear lines; the
        // odometer's persistence is under test here, not what a torn line decodes to.
        main->writeDword(u"VerifyChecksum", 1);
        main->writeDword(u"DistTotal", 1000u * static_cast<uint32_t>(index + 1));
        main->close();
        auto ports = store.openKey(kPortsKeyPath);
        ports->writeText(u"COM1:", fromUtf8(link));
        ports->close();
    }
    ~Lane() {
        if (m_sim > 0) {
            ::kill(m_sim, SIGKILL);
            ::waitpid(m_sim, nullptr, 0);
        }
        if (!m_dir.empty()) {
            std::system(("rm -rf '" + m_dir + "'").c_str());
        }
    }

    // Starts the program, lets it drive for delay, kills it; what went wrong, if anything.
    std::string trial(std::chrono::milliseconds delay, double& lagOut) {
        double before = 0;
        if (!readTotal(before)) {
            return "the file does not read cleanly before the start";
        }
        const pid_t pid = spawnProcess({VELOCIMO_PROGRAM_PATH},
                                       {{"QT_QPA_PLATFORM", "offscreen"},
                                        {"XDG_RUNTIME_DIR", m_dir + "/run"},
                                        {"XDG_CONFIG_HOME", m_dir + "/config"}},
                                       m_dir + "/velocimo.err");
        if (pid <= 0) {
            return "could not start the program";
        }
        std::vector<Sample> samples;
        Sample sample;
        if (!waitUntil([&] { return ask(controlPath(), sample); }, 10000ms)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return "never connected";
        }
        samples.push_back(sample);
        const auto killAt = Clock::now() + delay;
        while (Clock::now() + 120ms < killAt) {
            std::this_thread::sleep_for(100ms);
            if (ask(controlPath(), sample)) {
                samples.push_back(sample);
            }
        }
        std::this_thread::sleep_until(killAt);
        if (ask(controlPath(), sample)) {
            samples.push_back(sample);
        }
        ::kill(pid, SIGKILL);
        const auto killed = Clock::now();
        ::waitpid(pid, nullptr, 0);

        double stored = 0;
        if (!readTotal(stored)) {
            return "the file does not read cleanly";
        }

        // The true total at the kill lies between the last answer and that answer plus the
        // most the car could have driven from the moment it was asked (one epoch of slack
        // for the reader applying a whole second of the drive at once).
        const Sample& last = samples.back();
        const double seconds = std::chrono::duration<double>(killed - last.asked).count();
        const double trueLow = last.total;
        const double trueHigh = last.total + kMaxPerSecond * (seconds + 2.0 / kRate);
        // One minute of driving: what the last 60 ticks covered, at most.
        const double minute = kMaxPerSecond * kTickSeconds * kMinuteOfTicks;
        const double allowed = std::min(minute, trueHigh - before);
        lagOut = trueLow - stored;

        std::ostringstream why;
        why.precision(9);
        if (stored > trueHigh) {
            why << "stored " << stored << " is ahead of the drive (at most " << trueHigh << ")";
        } else if (trueHigh - stored > allowed + 1e-6) {
            why << "stored " << stored << " lags the drive (" << trueLow << ".." << trueHigh
                << ") by more than " << allowed;
        }
        // Sharper: a tick that has finished saved at least the whole value it saw, and the
        // tick after an answer saw at least that answer's distance.
        for (auto it = samples.rbegin(); it != samples.rend(); ++it) {
            if (it->ticks < last.ticks) {
                if (stored < std::floor(it->total) - 1e-6) {
                    why << "stored " << stored << " is below the whole of " << it->total
                        << ", answered before tick " << last.ticks << " ended";
                }
                break;
            }
        }
        return why.str();
    }

    bool ready() const { return m_sim > 0; }

private:
    // The odometer in the file, whole and fraction; false when the file has a line it
    // cannot read.
    bool readTotal(double& total) {
        RegFileStore store(storePath());
        auto key = store.openKey(kSettingsKeyPath);
        uint32_t whole = 0;
        uint32_t fraction = 0;
        if (!key || !store.takeNotices().empty() || !key->readDword(u"DistTotal", whole)) {
            return false;
        }
        key->readDword(u"DistTotalFraction", fraction); // absent until a fraction is saved
        total = whole + fraction / 1e6;
        return true;
    }
    std::string storePath() const { return m_dir + "/config/Korvane/Velocimo.reg"; }
    std::string controlPath() const { return m_dir + "/run/velocimo/control"; }

    std::string m_dir;
    pid_t m_sim = -1;
};

TEST(PowerCut, KilledAtRandomTheOdometerIsAtMostAMinuteBehindAndTheFileReads) {
    const char* seedText = std::getenv("VELOCIMO_POWERCUT_SEED");
    const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                   : std::random_device{}();
    std::printf("power-cut seed %u (set VELOCIMO_POWERCUT_SEED to repeat)\n", seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayMs(0, 2500);
    std::vector<std::chrono::milliseconds> delays;
    for (int i = 0; i < kTrials; ++i) {
        delays.emplace_back(delayMs(random));
    }

    std::atomic<int> next{0};
    std::mutex lock;
    std::vector<std::string> failures;
    double worstLag = 0;
    std::vector<std::thread> lanes;
    for (int l = 0; l < kLanes; ++l) {
        lanes.emplace_back([&, l] {
            Lane lane(l);
            if (!lane.ready()) {
                std::lock_guard guard(lock);
                failures.push_back("lane " + std::to_string(l) + ": no simulator");
                return;
            }
            for (int i; (i = next++) < kTrials;) {
                double lag = 0;
                const std::string why = lane.trial(delays[static_cast<std::size_t>(i)], lag);
                std::lock_guard guard(lock);
                worstLag = std::max(worstLag, lag);
                if (!why.empty()) {
                    failures.push_back("trial " + std::to_string(i) + " (" +
                                       std::to_string(delays[static_cast<std::size_t>(i)].count()) +
                                       " ms): " + why);
                }
            }
        });
    }
    for (std::thread& t : lanes) {
        t.join();
    }
    std::printf("power-cut worst lag behind the last answer: %.6f\n", worstLag);
    EXPECT_TRUE(failures.empty()) << "seed " << seed << "\n" << ::testing::PrintToString(failures);
}

} // namespace
} // namespace velocimo
