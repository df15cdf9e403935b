#include "shell/mainwindow.h"
#include "shell/qtcontrol.h"
#include "shell/qtplatform.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velocimo {
namespace {

// The subsystems as a call list; the window is the real one.
class Parts : public Subsystems {
public:
    explicit Parts(Settings& s) : m_settings(s) {}
    void resetStartValues() override {}
    void loadRunState() override {}
    void loadOptions() override {}
    void loadLogFields() override {}
    void saveRunState() override { calls.push_back("saveRunState"); }
    void saveOptions() override { calls.push_back("saveOptions"); }
    void applyNightMode() override {}
    void handleTap(int32_t x, int32_t y) override {
        calls.push_back("tap " + std::to_string(x) + "," + std::to_string(y));
    }
    bool openGps() override {
        calls.push_back("openGps");
        return true;
    }
    bool closeGps() override {
        calls.push_back("closeGps");
        return true;
    }
    void checkSpeedLimit(const NavState&) override { calls.push_back("checkSpeedLimit"); }
    void appendLogRecord(const NavState&) override { calls.push_back("appendLogRecord"); }
    void ensureLogFile() override {}
    void toggleLogging() override { m_settings.loggingOn = !m_settings.loggingOn; }
    void chooseLogFile() override { calls.push_back("chooseLogFile"); }
    std::vector<std::string> calls;

private:
    Settings& m_settings;
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
        : parts(settings), app(record, settings, fields, parts, messages),
          window(
              app,
              [this](bool afterTick) -> const QImage& {
                  paints.push_back(afterTick);
                  return picture;
              },
              WindowDialogs{}) {
        picture = QImage(kDashboardWidth, kDashboardHeight, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        messages.answerAutomatically(true, MessageResult::Yes);
        EXPECT_TRUE(app.start(window));
        QCoreApplication::processEvents();
        paints.clear();
        parts.calls.clear();
    }

    QMenu* menu(int index) { return window.menuButton(index)->menu(); }
    QAction* item(int index, const char* text) {
        for (QAction* a : menu(index)->actions()) {
            if (a->text() == QLatin1String(text)) {
                return a;
            }
        }
        ADD_FAILURE() << text;
        return nullptr;
    }

    LiveRecord record;
    Settings settings;
    LogFieldSet fields;
    Parts parts;
    QtMessageBoxService messages;
    App app;
    QImage picture;
    std::vector<bool> paints;
    MainWindow window;
};

TEST_F(WindowTest, DashboardAboveAMenuStripOfFourDropDowns) {
    EXPECT_EQ(window.windowTitle(), "Velocimo");
    EXPECT_EQ(window.size(), QSize(240, 268 + 26));
    EXPECT_EQ(window.dashboard()->geometry(), QRect(0, 0, 240, 268));
    QDir().mkpath(QStringLiteral(VELOCIMO_BINARY_DIR "/screens"));
    window.grab().save(QStringLiteral(VELOCIMO_BINARY_DIR "/screens/window.png"));

    struct Menu {
        const char* button;
        std::vector<std::pair<std::string, int>> items; // "-" for a separator
    };
    const Menu menus[] = {
        {"File", {{"Options", 40010}, {"-", 0}, {"About", 40011}, {"Exit", 40009}}},
        {"GPS", {{"Open", 40007}, {"Close", 40008}}},
        {"Reset", {{"Total Distance", 40017}, {"Trip Distance", 40016}, {"Top Speed", 40020}}},
        {"Log", {{"On", 40026}, {"New", 40027}, {"-", 0}, {"Setup", 40025}}},
    };
    for (int i = 0; i < 4; ++i) {
        QToolButton* button = window.menuButton(i);
        EXPECT_EQ(button->text(), menus[i].button);
        EXPECT_GE(button->mapTo(&window, QPoint(0, 0)).y(), 268) << "strip below the dashboard";
        std::vector<std::pair<std::string, int>> got;
        for (QAction* a : button->menu()->actions()) {
            got.emplace_back(a->isSeparator() ? "-" : a->text().toStdString(),
                             a->isSeparator() ? 0 : a->data().toInt());
        }
        EXPECT_EQ(got, menus[i].items) << menus[i].button;
    }
}

TEST_F(WindowTest, LogOnIsTickedExactlyWhileLoggingIsOn) {
    QAction* on = item(3, "On");
    ASSERT_NE(on, nullptr);
    EXPECT_TRUE(on->isCheckable());
    for (bool loggingOn : {true, false, true}) {
        settings.loggingOn = loggingOn;
        emit menu(3)->aboutToShow();
        EXPECT_EQ(on->isChecked(), loggingOn);
    }
    // Choosing the item runs Log > On: logging goes off, and the next pop-up shows that.
    on->trigger();
    EXPECT_FALSE(settings.loggingOn);
    emit menu(3)->aboutToShow();
    EXPECT_FALSE(on->isChecked());
}

TEST_F(WindowTest, OpenStartsTheSecondTickAndCloseStopsIt) {
    EXPECT_FALSE(window.tickTimer()->isActive());
    item(1, "Open")->trigger();
    EXPECT_TRUE(window.tickTimer()->isActive());
    EXPECT_EQ(window.tickTimer()->interval(), 1000);
    EXPECT_TRUE(app.connected());

    // One real tick: the limit check runs, and the paint it asks for advances the
    // histories; a paint for any other reason does not.
    QTRY_VERIFY_WITH_TIMEOUT(
        std::count(parts.calls.begin(), parts.calls.end(), "checkSpeedLimit") == 1, 2500);
    QTRY_VERIFY_WITH_TIMEOUT(!paints.empty(), 1000);
    EXPECT_EQ(paints, std::vector<bool>{true});
    window.dashboard()->repaint();
    EXPECT_EQ(paints, (std::vector<bool>{true, false}));

    item(1, "Close")->trigger();
    EXPECT_FALSE(window.tickTimer()->isActive());
    EXPECT_FALSE(app.connected());
}

TEST_F(WindowTest, ReleaseIsATapAndRepaintsWhileDisconnected) {
    QTest::mouseClick(window.dashboard(), Qt::LeftButton, {}, QPoint(7, 51));
    EXPECT_EQ(parts.calls, std::vector<std::string>{"tap 7,51"});
    QTRY_VERIFY_WITH_TIMEOUT(!paints.empty(), 1000);
    EXPECT_EQ(paints.back(), false);
    // A right-button release is no tap.
    QTest::mouseClick(window.dashboard(), Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(parts.calls.size(), 1u);
}

TEST_F(WindowTest, ResetAnswersGoThroughTheMessageBoxes) {
    record.update([](NavState& nav) {
        nav.topSpeed = 80.0;
        nav.topSpeedText.assignUtf8("80.0");
    });
    messages.answerAutomatically(true, MessageResult::No);
    item(2, "Top Speed")->trigger();
    EXPECT_EQ(record.snapshot().topSpeedText, u"80.0");
    EXPECT_EQ(messages.lastRequest().text, u"Are you sure you want to reset the top speed?");
    messages.answerAutomatically(true, MessageResult::Yes);
    item(2, "Top Speed")->trigger();
    EXPECT_EQ(record.snapshot().topSpeedText, u"0.0");
}

TEST_F(WindowTest, CtrlQClosesTheWindowSavingOnlyTheRunState) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 1000);
    EXPECT_EQ(parts.calls, std::vector<std::string>{"saveRunState"});
}

TEST(QtMessageBoxService, PostFromAnotherThreadShowsOnTheMainThread) {
    QtMessageBoxService messages;
    messages.answerAutomatically(true);
    std::thread worker([&messages] {
        MessageRequest request;
        request.text = u"Data flow interrupted!";
        messages.post(request);
    });
    worker.join();
    EXPECT_EQ(messages.shownCount(), 0) << "post must not show the box on the caller's thread";
    QTRY_COMPARE_WITH_TIMEOUT(messages.shownCount(), 1, 1000);
    EXPECT_EQ(messages.lastRequest().text, u"Data flow interrupted!");
    EXPECT_EQ(messages.lastRequest().caption, u"Velocimo");
}

TEST(ControlServer, ReportsCommandsAndSurvivesIdleClients) {
    char name[] = "/tmp/velocimo-cs-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const std::string path = std::string(name) + "/control";
    InstanceClaim claim = claimInstance(path);
    ASSERT_EQ(claim.role, InstanceRole::Primary) << claim.error;
    int activations = 0;
    int disconnects = 0;
    {
        ControlServer server(claim.listenFd, path);
        server.onActivate = [&] { ++activations; };
        server.onSaveAndDisconnect = [&] { ++disconnects; };

        // Clients that connect and say nothing do not lock others out.
        std::vector<int> idle;
        for (int i = 0; i < ControlServer::kMaxClients + 4; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            path.copy(address.sun_path, sizeof address.sun_path - 1);
            ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            idle.push_back(fd);
            QCoreApplication::processEvents();
        }
        QTest::qWait(50);
        for (int fd : idle) {
            ::close(fd);
        }
        QTest::qWait(50);

        EXPECT_EQ(claimInstance(path).role, InstanceRole::Secondary); // sends "activate"
        EXPECT_TRUE(sendControlLine(path, "1023"));
        EXPECT_TRUE(sendControlLine(path, "unknown"));
        QTRY_COMPARE_WITH_TIMEOUT(activations, 1, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(disconnects, 1, 1000);
    }
    // The socket goes with the server.
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    ::rmdir(name);
}

TEST(SignalCloser, TerminationSignalsArriveOnTheMainThread) {
    SignalCloser closer;
    ASSERT_TRUE(closer.installed());
    std::vector<int> got;
    closer.onSignal = [&got](int signal) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        got.push_back(signal);
    };
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::raise(signal);
    }
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), std::size_t{3}, 1000);
    EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
