#include "shell/app.h"
#include "tests/support/fakemessageboxes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace velocimo {
namespace {

using Calls = std::vector<std::string>;

// Every subsystem and window operation lands in one call list, so the tests can check
// the order across both.
struct Recorder {
    Calls calls;
    void add(const std::string& name) { calls.push_back(name); }
};

class FakeParts : public Subsystems {
public:
    explicit FakeParts(Recorder& r, Settings& s) : m_r(r), m_settings(s) {}
    void resetStartValues() override { m_r.add("resetStartValues"); }
    void loadRunState() override { m_r.add("loadRunState"); }
    void loadOptions() override {
        m_r.add("loadOptions");
        m_settings.autoConnect = storedAutoConnect;
        m_settings.units = 2;
        m_settings.elevationOffset = 7;
    }
    void loadLogFields() override { m_r.add("loadLogFields"); }
    void saveRunState() override { m_r.add("saveRunState"); }
    void saveOptions() override { m_r.add("saveOptions"); }
    void applyNightMode() override { m_r.add("applyNightMode"); }
    void handleTap(int32_t x, int32_t y) override {
        m_r.add("handleTap " + std::to_string(x) + "," + std::to_string(y));
    }
    bool openGps() override {
        m_r.add("openGps");
        return openResult;
    }
    bool closeGps() override {
        m_r.add("closeGps");
        return closeResult;
    }
    void checkSpeedLimit(const NavState& nav) override {
        m_r.add("checkSpeedLimit");
        alarmSpeed = nav.speed;
    }
    void appendLogRecord(const NavState&) override { m_r.add("appendLogRecord"); }
    void ensureLogFile() override { m_r.add("ensureLogFile"); }
    void toggleLogging() override {
        m_r.add("toggleLogging");
        m_settings.loggingOn = !m_settings.loggingOn;
    }
    void chooseLogFile() override { m_r.add("chooseLogFile"); }

    int32_t storedAutoConnect = 0;
    bool openResult = true;
    bool closeResult = true;
    double alarmSpeed = -1.0;

private:
    Recorder& m_r;
    Settings& m_settings;
};

class FakeWindow : public WindowHost {
public:
    explicit FakeWindow(Recorder& r) : m_r(r) {}
    bool createWindow() override {
        m_r.add("createWindow");
        return createResult;
    }
    void showAndPaint() override { m_r.add("showAndPaint"); }
    void requestRepaint() override { m_r.add("requestRepaint"); }
    void startTick() override { m_r.add("startTick"); }
    void stopTick() override { m_r.add("stopTick"); }
    void bringToFront() override { m_r.add("bringToFront"); }
    void quit(int code) override { m_r.add("quit " + std::to_string(code)); }
    void closeWindow() override { m_r.add("closeWindow"); }
    void runOptionsDialog() override { m_r.add("runOptionsDialog"); }
    void runAboutDialog() override { m_r.add("runAboutDialog"); }
    void runLoggingDialog() override { m_r.add("runLoggingDialog"); }
    bool createResult = true;

private:
    Recorder& m_r;
};

class AppTest : public ::testing::Test {
protected:
    AppTest() : parts(rec, settings), window(rec), app(record, settings, logFields, parts, boxes) {}

    // A started program, with the start-up calls dropped from the list.
    void startQuietly() {
        ASSERT_TRUE(app.start(window));
        rec.calls.clear();
    }
    void connect() {
        app.command(command::kGpsOpen);
        ASSERT_TRUE(app.connected());
        rec.calls.clear();
    }
    void setSpeed(double speed) {
        record.update([speed](NavState& nav) { nav.speed = speed; });
    }

    Recorder rec;
    LiveRecord record;
    Settings settings;
    LogFieldSet logFields;
    FakeParts parts;
    FakeWindow window;
    FakeMessageBoxes boxes;
    App app;
};

TEST_F(AppTest, StartsInOrderAndResetsEverythingFirst) {
    settings.speedLimits[0] = 99;
    settings.continuousOverSound = false;
    logFields.logHdop = true;
    record.update([](NavState& nav) { nav.speedText.assignUtf8("12.3"); });

    ASSERT_TRUE(app.start(window));

    const Calls expected = {"resetStartValues", "loadRunState", "loadOptions", "loadLogFields",
                            "applyNightMode",   "createWindow", "showAndPaint"};
    EXPECT_EQ(rec.calls, expected);
    EXPECT_EQ(settings.speedLimits[0], 0);
    EXPECT_TRUE(settings.continuousOverSound);
    EXPECT_FALSE(logFields.logHdop);
    EXPECT_EQ(record.snapshot().speedText, u"0.0");
    EXPECT_FALSE(app.connected());
    // The handlers decode with the stored units and offset from the first sentence on.
    EXPECT_EQ(record.decodeOptions().units, 2);
    EXPECT_EQ(record.decodeOptions().elevationOffset, 7);
}

TEST_F(AppTest, AutoConnectOpensAfterTheFirstPaint) {
    struct Case {
        int32_t autoConnect;
        bool openWorks;
        bool connected;
        Calls tail;
    };
    const Case cases[] = {
        {0, true, false, {"showAndPaint"}},
        {-1, true, false, {"showAndPaint"}},
        {1, true, true, {"showAndPaint", "ensureLogFile", "openGps", "bringToFront", "startTick"}},
        {2, true, true, {"showAndPaint", "ensureLogFile", "openGps", "bringToFront", "startTick"}},
        {1, false, false, {"showAndPaint", "ensureLogFile", "openGps"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.autoConnect);
        Recorder r;
        LiveRecord rec2;
        Settings s;
        LogFieldSet f;
        FakeParts p(r, s);
        p.storedAutoConnect = c.autoConnect;
        p.openResult = c.openWorks;
        FakeWindow w(r);
        FakeMessageBoxes m;
        App a(rec2, s, f, p, m);
        ASSERT_TRUE(a.start(w));
        const Calls tail(r.calls.end() - static_cast<long>(c.tail.size()), r.calls.end());
        EXPECT_EQ(tail, c.tail);
        EXPECT_EQ(a.connected(), c.connected);
        EXPECT_TRUE(m.shown.empty());
    }
}

TEST_F(AppTest, NoWindowMeansNoShowAndNoConnect) {
    parts.storedAutoConnect = 1;
    window.createResult = false;
    EXPECT_FALSE(app.start(window));
    EXPECT_EQ(rec.calls.back(), "createWindow");
    EXPECT_FALSE(app.connected());
}

TEST_F(AppTest, OpenWhileConnectedOnlySaysSo) {
    startQuietly();
    connect();
    app.command(command::kGpsOpen);
    EXPECT_TRUE(rec.calls.empty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, u"GPS is already connected!");
    EXPECT_EQ(boxes.shown[0].caption, u"Velocimo");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(boxes.shown[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(app.connected());
}

TEST_F(AppTest, CloseStopsTheTickAndRepaintsOnlyWhenAPortWasOpen) {
    startQuietly();
    for (bool portWasOpen : {true, false}) {
        SCOPED_TRACE(portWasOpen);
        connect();
        parts.closeResult = portWasOpen;
        app.command(command::kGpsClose);
        Calls expected = {"stopTick", "closeGps"};
        if (portWasOpen) {
            expected.push_back("requestRepaint");
        }
        EXPECT_EQ(rec.calls, expected);
        EXPECT_FALSE(app.connected());
    }
}

TEST_F(AppTest, MessageSaveAndDisconnectIsQuiet) {
    startQuietly();
    connect();
    app.command(command::kSaveAndDisconnect);
    const Calls expected = {"saveRunState", "stopTick", "closeGps"};
    EXPECT_EQ(rec.calls, expected);
    EXPECT_FALSE(app.connected());
    EXPECT_TRUE(boxes.shown.empty());
    // The tick that may already be queued does nothing but make sure the timer is off.
    rec.calls.clear();
    app.tick();
    EXPECT_EQ(rec.calls, Calls{"stopTick"});
}

TEST_F(AppTest, ExitSavesBothAndClosingSavesOnlyTheRunState) {
    startQuietly();
    app.command(command::kExit);
    EXPECT_EQ(rec.calls, (Calls{"saveRunState", "saveOptions", "quit 0"}));

    rec.calls.clear();
    app.command(command::kQuit);
    EXPECT_EQ(rec.calls, Calls{"closeWindow"});
    rec.calls.clear();
    app.windowClosed();
    EXPECT_EQ(rec.calls, (Calls{"saveRunState", "stopTick", "quit 0"}));

    rec.calls.clear();
    app.shutdown();
    EXPECT_EQ(rec.calls, (Calls{"stopTick", "closeGps"}));
}

TEST_F(AppTest, ResetQuestionsChangeOnlyTheirFieldsOnYes) {
    struct Case {
        int id;
        const char16_t* question;
    };
    const Case cases[] = {
        {command::kResetTrip, u"Are you sure you want to reset the trip distance?\n\n"
                              u"This will also reset the average speed!"},
        {command::kResetTotal, u"Are you sure you want to reset the total distance?"},
        {command::kResetTop, u"Are you sure you want to reset the top speed?"},
    };
    const auto fill = [](NavState& nav) {
        nav.tripDistance = 12.5;
        nav.averageSpeed = 40.0;
        nav.fixTimeSeconds = 100.0;
        nav.tripElapsedSeconds = 90.0;
        nav.prevFixTimeSeconds = 99.0;
        nav.averageSpeedText.assignUtf8("40.0");
        nav.tripDistanceText.assignUtf8("12.500");
        nav.totalDistance = 1234.5;
        nav.totalDistanceWhole = 1234;
        nav.totalDistanceText.assignUtf8("001234");
        nav.topSpeed = 88.0;
        nav.topSpeedText.assignUtf8("88.0");
    };
    startQuietly();
    for (const Case& c : cases) {
        for (MessageResult answer : {MessageResult::No, MessageResult::Yes}) {
            SCOPED_TRACE(c.id);
            SCOPED_TRACE(answer == MessageResult::Yes ? "Yes" : "No");
            record.update(fill);
            boxes.shown.clear();
            boxes.answer = answer;
            app.command(c.id);
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, c.question);
            EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Question);
            EXPECT_EQ(boxes.shown[0].buttons, MessageButtons::YesNo);
            EXPECT_EQ(boxes.shown[0].caption, u"Velocimo");

            const NavState nav = record.snapshot();
            const bool yes = answer == MessageResult::Yes;
            const bool trip = yes && c.id == command::kResetTrip;
            const bool total = yes && c.id == command::kResetTotal;
            const bool top = yes && c.id == command::kResetTop;
            EXPECT_EQ(nav.tripDistance, trip ? 0.0 : 12.5);
            EXPECT_EQ(nav.averageSpeed, trip ? 0.0 : 40.0);
            EXPECT_EQ(nav.fixTimeSeconds, trip ? 0.0 : 100.0);
            EXPECT_EQ(nav.tripElapsedSeconds, trip ? 0.0 : 90.0);
            EXPECT_EQ(nav.prevFixTimeSeconds, trip ? 0.0 : 99.0);
            EXPECT_EQ(nav.averageSpeedText, trip ? u"0.0" : u"40.0");
            EXPECT_EQ(nav.tripDistanceText, trip ? u"0.000" : u"12.500");
            EXPECT_EQ(nav.totalDistance, total ? 0.0 : 1234.5);
            EXPECT_EQ(nav.totalDistanceWhole, total ? 0 : 1234);
            EXPECT_EQ(nav.totalDistanceText, total ? u"00000" : u"001234");
            EXPECT_EQ(nav.topSpeed, top ? 0.0 : 88.0);
            EXPECT_EQ(nav.topSpeedText, top ? u"0.0" : u"88.0");
            // Yes shows the new value at once, without a tick's advance; no save: the
            // value reaches the store with the next run-state save.
            EXPECT_EQ(rec.calls, yes ? Calls{"requestRepaint"} : Calls{});
            EXPECT_FALSE(app.takeTickRepaint());
            rec.calls.clear();
        }
    }
}

TEST_F(AppTest, TickRepaintsChecksTheLimitAndLogsFromTwoPointFive) {
    struct Case {
        bool connected;
        bool loggingOn;
        double speed;
        bool logs;
    };
    const Case cases[] = {
        {true, true, 2.5, true},    {true, true, 2.4999, false}, {true, true, 120.0, true},
        {true, false, 50.0, false}, {true, true, -3.0, false},   {false, true, 50.0, false},
    };
    startQuietly();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        rec.calls.clear();
        settings.loggingOn = c.loggingOn;
        setSpeed(c.speed);
        record.update([&c](NavState& nav) { nav.gpsConnected = c.connected; });
        app.takeTickRepaint();
        app.tick();
        Calls expected;
        if (c.connected) {
            expected = {"requestRepaint", "checkSpeedLimit"};
            if (c.logs) {
                expected.push_back("appendLogRecord");
            }
            EXPECT_EQ(parts.alarmSpeed, c.speed);
        } else {
            expected = {"stopTick"};
        }
        EXPECT_EQ(rec.calls, expected);
        // Only the paint that follows a tick advances the histories, and only once.
        EXPECT_EQ(app.takeTickRepaint(), c.connected);
        EXPECT_FALSE(app.takeTickRepaint());
    }
}

TEST_F(AppTest, OdometerIsSavedWhenItsWholeValueTurnsAndOtherwiseOnceAMinute) {
    startQuietly();
    record.update([](NavState& nav) { nav.gpsConnected = true; });
    // Each step: the odometer after this tick, and whether the tick saves.
    const struct {
        double total;
        int ticks; // ticks with this value; only the last may save
        bool saves;
    } steps[] = {
        {0.0, 100, false},                                  // standing: never
        {0.2, 1, true},                                     // moving after a minute since the load
        {0.3, 58, false},  {0.4, 1, false}, {0.5, 1, true}, // 60 ticks since that save
        {0.5, 80, false},                                   // moved nothing since
        {1.05, 1, true},                                    // the whole value turns
        {1.06, 1, false},  {2.01, 1, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.total);
        record.update([&step](NavState& nav) {
            nav.totalDistance = step.total;
            nav.totalDistanceWhole = static_cast<int32_t>(step.total);
        });
        for (int i = 0; i < step.ticks; ++i) {
            rec.calls.clear();
            app.tick();
            const bool saved =
                std::find(rec.calls.begin(), rec.calls.end(), "saveRunState") != rec.calls.end();
            EXPECT_EQ(saved, step.saves && i + 1 == step.ticks) << i;
        }
    }
}

TEST_F(AppTest, TapRepaintsAtOnceWithoutMovingTheGraphs) {
    startQuietly();
    app.tap(65535, 40);
    EXPECT_EQ(rec.calls, (Calls{"handleTap 65535,40", "requestRepaint"}));
    EXPECT_FALSE(app.takeTickRepaint());
    connect();
    struct Case {
        bool tickPending;
        bool afterTick;
    };
    for (const Case c : {Case{false, false}, Case{true, true}}) {
        if (c.tickPending) {
            app.tick();
        }
        rec.calls.clear();
        app.tap(7, 51);
        EXPECT_EQ(rec.calls, (Calls{"handleTap 7,51", "requestRepaint"}));
        // One paint serves both: it advances the graphs only for the tick's sake.
        EXPECT_EQ(app.takeTickRepaint(), c.afterTick);
    }
}

TEST_F(AppTest, LogMenuCommandsAndTheCheckMark) {
    startQuietly();
    EXPECT_FALSE(app.loggingChecked());
    app.command(command::kLogOn);
    EXPECT_TRUE(app.loggingChecked());
    app.command(command::kLogOn);
    EXPECT_FALSE(app.loggingChecked());
    app.command(command::kLogNew);
    app.command(command::kLogSetup);
    EXPECT_EQ(rec.calls,
              (Calls{"toggleLogging", "toggleLogging", "chooseLogFile", "runLoggingDialog"}));
}

TEST_F(AppTest, ViewTogglesAreSavedWithTheOptions) {
    startQuietly();
    EXPECT_TRUE(app.command(command::kViewMirror));
    EXPECT_TRUE(settings.mirror);
    EXPECT_TRUE(app.command(command::kViewAutoNight));
    EXPECT_TRUE(settings.autoNight);
    app.command(command::kViewMirror);
    EXPECT_FALSE(settings.mirror);
    // A mirrored dashboard shows at once, connected or not.
    EXPECT_EQ(rec.calls, (Calls{"saveOptions", "requestRepaint", "saveOptions", "saveOptions",
                                "requestRepaint"}));
    EXPECT_FALSE(app.takeTickRepaint());
}

TEST_F(AppTest, DialogsAndUnknownIds) {
    startQuietly();
    settings.units = 0;
    settings.elevationOffset = -12;
    EXPECT_TRUE(app.command(command::kOptions));
    // Options OK may change the units: the handlers follow at once.
    EXPECT_EQ(record.decodeOptions().units, 0);
    EXPECT_EQ(record.decodeOptions().elevationOffset, -12);
    EXPECT_TRUE(app.command(command::kAbout));
    // The dashboard shows the new options at once, connected or not, and the paint is not
    // a tick's (the graphs stay put).
    EXPECT_EQ(rec.calls, (Calls{"runOptionsDialog", "requestRepaint", "runAboutDialog"}));
    EXPECT_FALSE(app.takeTickRepaint());
    rec.calls.clear();
    connect();
    app.command(command::kOptions);
    EXPECT_EQ(rec.calls, (Calls{"runOptionsDialog", "requestRepaint"}));
    EXPECT_FALSE(app.takeTickRepaint());
    app.command(command::kSaveAndDisconnect);
    rec.calls.clear();
    for (int id : {0, 2, command::kFileMenu, command::kGpsMenu, command::kLogMenu, 40018, 1022}) {
        EXPECT_FALSE(app.command(id)) << id;
    }
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

} // namespace
} // namespace velocimo
