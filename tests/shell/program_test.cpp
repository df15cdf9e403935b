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
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velocimo {
namespace {

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
        explicit Run(ProgramTest& t, std::string failAt = {})
            : store(t.m_dir + "/Velocimo.reg"),
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

} // namespace
} // namespace velocimo
