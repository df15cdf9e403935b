// The command logic with the real subsystems behind it: a settings file in a temporary
// folder, the CSV log, the alarm and the link over a scripted device.

#include "settings/regfilestore.h"
#include "shell/app.h"
#include "shell/linkmessages.h"
#include "shell/program.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace velocimo {
namespace {

std::string testRead(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class NullWindow : public WindowHost {
public:
    bool createWindow() override { return true; }
    void showAndPaint() override {}
    void requestRepaint() override { ++repaints; }
    void startTick() override { ticking = true; }
    void stopTick() override { ticking = false; }
    void bringToFront() override {}
    void quit(int) override { ++quits; }
    void closeWindow() override {}
    void runOptionsDialog() override {}
    void runAboutDialog() override {}
    void runLoggingDialog() override {}
    int repaints = 0;
    int quits = 0;
    bool ticking = false;
};

struct Box {
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons;
    bool topmost;
    bool posted;
    friend bool operator==(const Box&, const Box&) = default;
};

Box boxOf(const MessageRequest& r, bool posted) {
    return {toUtf8(r.text), toUtf8(r.caption), r.icon, r.buttons, r.topmost, posted};
}

// The watchdog posts from the reader thread: recording is locked and can be waited for.
class Boxes : public MessageBoxService {
public:
    MessageResult show(const MessageRequest& r) override {
        add(r, false);
        return answer;
    }
    void post(const MessageRequest& r) override { add(r, true); }
    bool waitForCount(std::size_t n, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return shown.size() >= n; });
    }
    MessageResult answer = MessageResult::Yes;
    std::vector<std::u16string> texts;
    std::vector<Box> shown;

private:
    void add(const MessageRequest& r, bool posted) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            texts.push_back(r.text);
            shown.push_back(boxOf(r, posted));
        }
        m_cv.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

class Player : public SoundPlayer {
public:
    void stop() override {}
    void start(std::u16string_view path) override { started.emplace_back(path); }
    std::vector<std::u16string> started;
};

class Picker : public FilePicker {
public:
    std::u16string openFile(const FileRequest&) override { return {}; }
    std::u16string saveFile(const FileRequest&) override { return answer; }
    std::u16string answer;
};

class FixedClock : public Clock {
public:
    SystemTime localNow() override { return SystemTime{2026, 12, 3, 9, 7, 5, 3, 0}; }
};

// A receiver that is always there and never says anything. failAt names one step that
// fails ("open", "getLineState", ...).
class QuietDevice : public SerialDevice {
public:
    explicit QuietDevice(std::vector<std::string>& opened, std::string failAt = {})
        : m_opened(opened), m_failAt(std::move(failAt)) {}
    bool readPortByte(uint8_t& byte) override {
        byte = 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return false;
    }
    bool open(const std::string& path) override {
        m_opened.push_back(path);
        m_open = !path.empty() && m_failAt != "open";
        return m_open;
    }
    bool isOpen() const override { return m_open; }
    void write(const uint8_t*, std::size_t) override {}
    bool getLineState(LineState&) override { return m_failAt != "getLineState"; }
    bool setLineState(const LineState&) override { return m_failAt != "setLineState"; }
    bool getTimeouts(PortTimeouts&) override { return m_failAt != "getTimeouts"; }
    bool setTimeouts(const PortTimeouts&) override { return m_failAt != "setTimeouts"; }
    void purge() override {}
    void close() override { m_open = false; }
    void interrupt() override {}

private:
    std::vector<std::string>& m_opened;
    std::string m_failAt;
    std::atomic<bool> m_open{false};
};

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        char name[] = "/tmp/velocimo-program-XXXXXX";
        m_dir = ::mkdtemp(name);
    }
    ~ProgramTest() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    struct Run {
        explicit Run(ProgramTest& t, std::string failAt = {}, std::string storePath = {})
            : store(storePath.empty() ? t.m_dir + "/Velocimo.reg" : storePath),
              program(record, settings, fields,
                      ProgramServices{store, SoundDefaults{}, player, picker, clock, boxes, nullptr,
                                      nullptr, [this] { ++timerStops; },
                                      std::make_unique<QuietDevice>(opened, failAt)}),
              app(record, settings, fields, program, boxes) {}
        LiveRecord record;
        Settings settings;
        LogFieldSet fields;
        RegFileStore store;
        Player player;
        Picker picker;
        FixedClock clock;
        Boxes boxes;
        std::vector<std::string> opened;
        std::atomic<int> timerStops{0};
        Program program;
        App app;
        NullWindow window;
    };

    bool storedDword(const char16_t* name, uint32_t& value) {
        RegFileStore store(m_dir + "/Velocimo.reg");
        auto key = store.openKey(kSettingsKeyPath);
        return key && key->readDword(name, value);
    }

    std::string m_dir;
};

TEST_F(ProgramTest, FirstStartWritesTheDefaultsAndExitSavesEverything) {
    {
        Run run(*this);
        ASSERT_TRUE(run.app.start(run.window));
        EXPECT_EQ(run.settings.speedLimits[2], 100);
        EXPECT_EQ(run.program.portName(), u"COM1:");
        EXPECT_EQ(run.record.snapshot().speedUnitText, u"km/h");
        uint32_t value = 0;
        ASSERT_TRUE(storedDword(u"SpeedLimit0", value));
        EXPECT_EQ(value, 50u);
        EXPECT_FALSE(storedDword(u"SelectedDisplay", value));

        run.settings.speedLimits[0] = 42;
        run.settings.selectedDisplay = 3;
        run.record.update([](NavState& nav) { nav.totalDistanceWhole = 77; });
        run.app.command(command::kExit);
        EXPECT_EQ(run.window.quits, 1);
    }
    uint32_t value = 0;
    ASSERT_TRUE(storedDword(u"SpeedLimit0", value));
    EXPECT_EQ(value, 42u);
    ASSERT_TRUE(storedDword(u"SelectedDisplay", value));
    EXPECT_EQ(value, 3u);
    ASSERT_TRUE(storedDword(u"DistTotal", value));
    EXPECT_EQ(value, 77u);

    // The next start continues from there.
    Run again(*this);
    ASSERT_TRUE(again.app.start(again.window));
    EXPECT_EQ(again.settings.selectedDisplay, 3);
    EXPECT_EQ(again.record.snapshot().totalDistanceText, u"000077");
}

TEST_F(ProgramTest, ClosingTheWindowSavesOnlyTheRunState) {
    Run run(*this);
    ASSERT_TRUE(run.app.start(run.window));
    run.settings.speedLimits[0] = 42;
    run.settings.nightMode = 1;
    run.app.command(command::kResetTotal); // answered Yes
    run.app.windowClosed();
    uint32_t value = 0;
    ASSERT_TRUE(storedDword(u"SpeedLimit0", value));
    EXPECT_EQ(value, 50u);
    ASSERT_TRUE(storedDword(u"NightMode", value));
    EXPECT_EQ(value, 1u);
    ASSERT_TRUE(storedDword(u"DistTotal", value));
    EXPECT_EQ(value, 0u);
}

TEST_F(ProgramTest, OpenTickLogAndCloseThroughTheRealParts) {
    Run run(*this);
    ASSERT_TRUE(run.app.start(run.window));
    const std::string csv = m_dir + "/drive.csv";
    run.fields.logSpeedCurrent = true;
    run.settings.loggingOn = true;
    run.settings.logFilePath.assign(fromUtf8(csv));
    run.settings.logFileChosen = true;
    run.settings.selectedLimit = 2; // 100

    run.app.command(command::kGpsOpen);
    ASSERT_TRUE(run.app.connected()) << (run.boxes.texts.empty() ? "" : toUtf8(run.boxes.texts[0]));
    EXPECT_TRUE(run.window.ticking);
    ASSERT_EQ(run.opened.size(), 1u);
    EXPECT_FALSE(run.opened[0].empty()) << "COM1: maps to a device file";

    // Speeds either side of the log threshold; the alarm hears 95 km/h against limit 100.
    for (double speed : {2.4999, 2.5, 95.0}) {
        run.record.update([speed](NavState& nav) {
            nav.speed = speed;
            nav.speedText.format("%3.1lf", speed);
        });
        run.app.tick();
    }
    std::ifstream in(csv, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "SPEED_CUR\r\n2.5\r\n95.0\r\n");
    EXPECT_EQ(run.program.speedAlarm().warnSoundPlayed, true);

    run.app.command(command::kGpsOpen);
    EXPECT_EQ(run.boxes.texts.back(), u"GPS is already connected!");

    run.app.command(command::kGpsClose);
    EXPECT_FALSE(run.app.connected());
    EXPECT_FALSE(run.window.ticking);
    EXPECT_FALSE(run.program.link().portOpen());
    EXPECT_EQ(run.record.snapshot().dataValidText, u"No");
}

// Munich, June 2026: sunset 19:17 and sunrise 03:13 UTC.
TEST_F(ProgramTest, AutomaticNightFollowsTheSunAndATapHoldsUntilTheNextChange) {
    Run run(*this);
    std::vector<bool> told;
    run.program.setNightModeListener([&told](bool night) { told.push_back(night); });
    ASSERT_TRUE(run.app.start(run.window));
    struct Step {
        bool autoNight;
        int32_t date;
        double time;
        bool tap;
        int32_t nightMode;
    };
    const Step steps[] = {
        {false, 210626, 220000, false, 0}, // off: the sun changes nothing
        {true, 210626, 220100, false, 1},  // the first look applies night
        {true, 210626, 220200, true, 0},   // a tap at night holds ...
        {true, 210626, 230000, false, 0},  {true, 220626, 31000, false, 0}, // ... until sunrise
        {true, 220626, 120000, true, 1}, // and one by day until sunset
        {true, 220626, 192000, false, 1},  {true, 230626, 32000, false, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.time);
        run.settings.autoNight = s.autoNight;
        run.record.update([&s](NavState& nav) {
            nav.gpsConnected = true;
            nav.fixValid = true;
            nav.latitude.decimalDegrees = 48.1374;
            nav.longitude.decimalDegrees = 11.5755;
            nav.utcDate = s.date;
            nav.utcTime = s.time;
        });
        run.app.tick();
        if (s.tap) {
            run.app.tap(7, 51);
        }
        EXPECT_EQ(run.settings.nightMode, s.nightMode);
        EXPECT_EQ(run.program.dashboard().theme.backgroundBitmap,
                  s.nightMode ? BitmapNight : BitmapDay);
    }
    // The window hears of each change, and of the start.
    EXPECT_EQ(told, (std::vector<bool>{false, true, false, true, false}));
}

TEST_F(ProgramTest, NightTapSwapsTheThemeAndOptionsApplyUnits) {
    Run run(*this);
    ASSERT_TRUE(run.app.start(run.window));
    const Colour day = run.program.dashboard().theme.textColour;
    run.app.tap(7, 51);
    EXPECT_EQ(run.settings.nightMode, 1);
    EXPECT_FALSE(run.program.dashboard().theme.textColour == day);
    run.app.tap(39, 83);
    EXPECT_EQ(run.settings.nightMode, 0);
    EXPECT_TRUE(run.program.dashboard().theme.textColour == day);

    run.settings.units = 2;
    run.settings.comPort = 7;
    run.program.applyUnits();
    run.program.applyPortName();
    EXPECT_EQ(run.record.snapshot().speedUnitText, u"mph");
    EXPECT_EQ(run.record.decodeOptions().units, 2);
    EXPECT_EQ(run.program.portName(), u"COM7:");
}

// Every way an open can end, with the boxes it shows: step first, summary on top.
struct OpenCase {
    OpenResult result;
    const char* failAt; // the QuietDevice step that produces it; null if none can
    std::vector<Box> boxes;
};

std::vector<OpenCase> openCases() {
    auto stop = [](const char* text, bool topmost, const char* caption = "Velocimo") {
        return Box{text, caption, MessageIcon::Stop, MessageButtons::Ok, topmost, false};
    };
    return {
        {OpenResult::Opened, "", {}},
        {OpenResult::OpenFailed,
         "open",
         {stop("Could not open port!\n\nPort may already be open", true)}},
        {OpenResult::GetStateFailed,
         "getLineState",
         {stop("GetCommState Error", false), stop("Could not configure port!", true)}},
        {OpenResult::SetStateFailed,
         "setLineState",
         {stop("SetCommState Error", false, "Error"), stop("Could not configure port!", true)}},
        {OpenResult::GetTimeoutsFailed,
         "getTimeouts",
         {stop("Could not set port timeouts!", true)}},
        {OpenResult::SetTimeoutsFailed,
         "setTimeouts",
         {stop("SetCommTimeouts function failed", false),
          stop("Could not set port timeouts!", true)}},
        {OpenResult::ReaderFailed, nullptr, {stop("Could not start the GPS reader!", true)}},
    };
}

TEST(LinkMessages, EveryOpenResultHasItsBoxesInOrder) {
    const auto cases = openCases();
    ASSERT_EQ(cases.size(), static_cast<std::size_t>(OpenResult::ReaderFailed) + 1);
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.result));
        std::vector<Box> boxes;
        for (const MessageRequest& r : openMessages(c.result)) {
            boxes.push_back(boxOf(r, false));
        }
        EXPECT_EQ(boxes, c.boxes);
    }
}

TEST(LinkMessages, DataFlowIsATopmostExclamation) {
    EXPECT_EQ(boxOf(dataFlowMessage(), true),
              (Box{"Data flow interrupted!\n\nGPS may have disconnected, please check connection.",
                   "Velocimo", MessageIcon::Exclamation, MessageButtons::Ok, true, true}));
}

TEST(LinkMessages, BaudSearchFailureIsATopmostStop) {
    EXPECT_EQ(boxOf(baudSearchFailedMessage(), true),
              (Box{"No GPS data found at any baud rate", "Velocimo", MessageIcon::Stop,
                   MessageButtons::Ok, true, true}));
}

TEST_F(ProgramTest, OpenShowsTheBoxesOfTheStepThatFailed) {
    for (const OpenCase& c : openCases()) {
        if (!c.failAt) {
            continue;
        }
        SCOPED_TRACE(c.failAt);
        Run run(*this, c.failAt);
        ASSERT_TRUE(run.app.start(run.window));
        run.app.command(command::kGpsOpen);
        EXPECT_EQ(run.boxes.shown, c.boxes);
        EXPECT_EQ(run.app.connected(), c.result == OpenResult::Opened);
        EXPECT_EQ(run.window.ticking, c.result == OpenResult::Opened);
        run.app.shutdown();
    }
}

TEST_F(ProgramTest, WatchdogStopsTheTimerAndPostsOneBox) {
    Run run(*this);
    ASSERT_TRUE(run.app.start(run.window));
    run.app.command(command::kGpsOpen);
    ASSERT_TRUE(run.app.connected());
    // The quiet receiver gives an empty read every few milliseconds: with a fix that counts.
    run.record.update([](NavState& nav) { nav.fixValid = true; });
    ASSERT_TRUE(run.boxes.waitForCount(1, std::chrono::seconds(5)));
    EXPECT_EQ(run.boxes.shown, std::vector<Box>{boxOf(dataFlowMessage(), true)});
    EXPECT_EQ(run.timerStops.load(), 1);
    EXPECT_FALSE(run.app.connected());
    EXPECT_FALSE(run.program.link().portOpen());
}

// Faults users meet at the settings path, with real files: each costs only what is broken,
// the program starts and keeps running, and the user hears of it in one box.
TEST_F(ProgramTest, SettingsFileFaultsCostOnlyWhatIsBroken) {
    namespace fs = std::filesystem;
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Korvane\\Velocimo]\r\n";
    std::string garbage;
    for (int i = 0; i < 2048; ++i) {
        garbage.push_back(static_cast<char>((i * 131 + 7) % 256));
    }
    auto write = [](const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    };
    auto countBackups = [this] {
        int n = 0;
        for (const auto& e : fs::directory_iterator(m_dir)) {
            n += e.path().filename().string().rfind("Velocimo.reg.bad-", 0) == 0;
        }
        return n;
    };
    const struct {
        const char* name;
        int starts;                                   // runs of the program, each start + Exit
        std::function<void(const std::string&)> make; // the file path
        std::vector<std::string> boxes;               // parts of the box texts, in order
        int maxSpeed;
        std::function<void(const std::string&)> check;
    } cases[] = {
        {"one bad line among good ones",
         2,
         [&](const std::string& p) {
             write(p, head + "\"MaxSpeed\"=dword:00000064\r\nmy note\r\n"
                             "; a comment\r\n\"SpeedLimit0\"=dword:0000001e\r\n");
         },
         {"could not be read and were ignored (line 5)"},
         100,
         [&](const std::string& p) {
             const std::string text = testRead(p);
             EXPECT_NE(text.find("\r\nmy note\r\n"), std::string::npos);
             EXPECT_NE(text.find("\r\n; a comment\r\n"), std::string::npos);
             EXPECT_NE(text.find("\"SpeedLimit0\"=dword:0000001e"), std::string::npos);
             EXPECT_EQ(countBackups(), 0);
         }},
        {"binary garbage twice",
         2,
         [&](const std::string& p) { write(p, garbage); },
         {"It was kept as " + m_dir + "/Velocimo.reg.bad-"},
         120,
         nullptr},
        {"a fifo",
         1,
         [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
         {"could not be read (it is not a regular file)"},
         120,
         [](const std::string& p) {
             struct stat st {};
             ASSERT_EQ(lstat(p.c_str(), &st), 0);
             EXPECT_TRUE(S_ISFIFO(st.st_mode));
         }},
        // A plain file where a folder should be fails every save, even for root (for whom
        // a read-only folder does not).
        {"a folder that cannot be written",
         1,
         [&](const std::string&) { write(m_dir + "/blocked", ""); },
         {"Settings could not be saved to " + m_dir + "/blocked/Velocimo.reg: Not a directory"},
         120,
         [](const std::string&) {}},
        {"leftover temporary files",
         1,
         [&](const std::string& p) {
             write(p + ".a1B2c3", "half a save");
             write(p + ".notours", "kept");
         },
         {},
         120,
         [&](const std::string& p) {
             EXPECT_FALSE(fs::exists(p + ".a1B2c3"));
             EXPECT_TRUE(fs::exists(p + ".notours"));
         }},
        {"a dangling link",
         1,
         [&](const std::string& p) { fs::create_symlink("elsewhere/target.reg", p); },
         {},
         120,
         [&](const std::string& p) {
             EXPECT_TRUE(fs::is_symlink(p));
             EXPECT_NE(testRead(m_dir + "/elsewhere/target.reg").find("\"MaxSpeed\""),
                       std::string::npos);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        const bool blocked = std::string(c.name) == "a folder that cannot be written";
        const std::string path =
            blocked ? m_dir + "/blocked/Velocimo.reg" : m_dir + "/Velocimo.reg";
        c.make(path);
        for (int i = 0; i < c.starts; ++i) {
            if (i > 0 && std::string(c.name) == "binary garbage twice") {
                c.make(path);
            }
            Run run(*this, {}, path);
            auto started =
                std::async(std::launch::async, [&] { return run.app.start(run.window); });
            ASSERT_EQ(started.wait_for(std::chrono::seconds(2)), std::future_status::ready);
            ASSERT_TRUE(started.get());
            EXPECT_EQ(run.settings.maxSpeed, c.maxSpeed);
            run.settings.speedLimits[2] = 99;
            run.program.saveOptions();
            run.app.command(command::kExit);
            EXPECT_EQ(run.settings.speedLimits[2], 99);
            const std::size_t wanted = c.boxes.size();
            ASSERT_EQ(run.boxes.shown.size(), wanted);
            for (std::size_t b = 0; b < wanted; ++b) {
                EXPECT_NE(run.boxes.shown[b].text.find(c.boxes[b]), std::string::npos)
                    << run.boxes.shown[b].text;
                EXPECT_EQ(run.boxes.shown[b].caption, "Velocimo");
                EXPECT_TRUE(run.boxes.shown[b].posted);
            }
        }
        if (std::string(c.name) == "binary garbage twice") {
            EXPECT_EQ(countBackups(), 2);
        } else {
            c.check(path);
        }
    }
}

} // namespace
} // namespace velocimo
