#include "gpslink/receiverdialog.h"
#include "logging/loggingdialog.h"
#include "settings/optionsdialog.h"
#include "settings/regfilestore.h"
#include "shell/core/navstatejson.h"
#include "shell/desktop.h"
#include "shell/mainwindow.h"
#include "shell/nightpalette.h"
#include "shell/qtcontrol.h"
#include "shell/qtplatform.h"
#include "tests/support/fakemessageboxes.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <string_view>
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
    std::u16string linkStatusText() const override { return status; }
    std::vector<std::string> calls;
    std::u16string status;

private:
    Settings& m_settings;
};

// The window with fakes behind it; the dashboard shows one plain picture.
class WindowTest : public ::testing::Test, public DashboardSource {
protected:
    WindowTest()
        : parts(settings), app(record, settings, fields, parts, messages), window(app, *this) {
        picture = QImage(kDashboardWidth, kDashboardHeight, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        EXPECT_TRUE(app.start(window));
        QCoreApplication::processEvents();
        paints.clear();
        parts.calls.clear();
    }

    const QImage& render(bool afterTick, double) override {
        paints.push_back(afterTick);
        return picture;
    }
    QColor backdrop() const override { return Qt::darkBlue; }

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
    FakeMessageBoxes messages;
    App app;
    QImage picture;
    std::vector<bool> paints;
    MainWindow window;
};

TEST_F(WindowTest, DashboardAboveAMenuStripOfFiveDropDowns) {
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
        // The receiver dialog is the window's own, not a command of the program.
        {"GPS", {{"Open", 40007}, {"Close", 40008}, {"-", 0}, {"Receiver...", 0}}},
        {"Reset", {{"Total Distance", 40017}, {"Trip Distance", 40016}, {"Top Speed", 40020}}},
        {"Log", {{"On", 40026}, {"New", 40027}, {"-", 0}, {"Setup", 40025}}},
        // Full screen is the window's own too.
        {"View",
         {{"Full Screen", 0}, {"Mirror for Windscreen", 40031}, {"Automatic Night", 40032}}},
    };
    for (int i = 0; i < 5; ++i) {
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

TEST_F(WindowTest, ReceiverItemAsksForTheReceiverDialog) {
    QAction* receiver = item(1, "Receiver...");
    ASSERT_NE(receiver, nullptr);
    int requests = 0;
    QObject::connect(&window, &MainWindow::receiverDialogRequested, [&] { ++requests; });
    receiver->trigger();
    EXPECT_EQ(requests, 1);
}

TEST_F(WindowTest, TheStripShowsTheLinkStatusWhileThereIsOne) {
    window.refreshLinkStatus();
    EXPECT_TRUE(window.linkStatus()->text().isEmpty());
    parts.status = u"Searching at 115200 baud";
    window.refreshLinkStatus();
    EXPECT_EQ(window.linkStatus()->text(), "Searching at 115200 baud");
    // Beside the menus, inside the window.
    const QRect at(window.linkStatus()->mapTo(&window, QPoint(0, 0)), window.linkStatus()->size());
    EXPECT_GE(at.top(), 268);
    EXPECT_GE(at.left(), window.menuButton(3)->mapTo(&window, QPoint(0, 0)).x() +
                             window.menuButton(3)->width());
    EXPECT_LE(at.right(), 240);
    EXPECT_GE(window.linkStatus()->sizeHint().width(), 0);
    // After all five menus, with room for the two short lines.
    EXPECT_GE(at.left(), window.menuButton(4)->mapTo(&window, QPoint(0, 0)).x() +
                             window.menuButton(4)->width());
    EXPECT_GE(at.width(), window.linkStatus()->fontMetrics().horizontalAdvance("115200 baud"));
    QDir().mkpath(QStringLiteral(VELOCIMO_BINARY_DIR "/screens"));
    window.grab().save(QStringLiteral(VELOCIMO_BINARY_DIR "/screens/window-searching.png"));
    parts.status.clear();
    window.refreshLinkStatus();
    EXPECT_TRUE(window.linkStatus()->text().isEmpty());
}

TEST_F(WindowTest, TheStatusIsFollowedCloselyOnlyFromAnOpenUntilItIsEmpty) {
    EXPECT_FALSE(window.followingLinkStatus());
    window.startTick(); // what an open does
    EXPECT_TRUE(window.followingLinkStatus());
    parts.status = u"Searching at 4800 baud";
    window.refreshLinkStatus();
    EXPECT_TRUE(window.followingLinkStatus());
    parts.status.clear();
    window.refreshLinkStatus();
    EXPECT_FALSE(window.followingLinkStatus());
    // A search seen by a later look (the tick's) is followed again.
    parts.status = u"Searching at 9600 baud";
    window.refreshLinkStatus();
    EXPECT_TRUE(window.followingLinkStatus());
    window.stopTick();
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
    QSignalSpy ticked(&window, &MainWindow::ticked);
    EXPECT_FALSE(window.tickTimer()->isActive());
    item(1, "Open")->trigger();
    EXPECT_TRUE(window.tickTimer()->isActive());
    EXPECT_EQ(window.tickTimer()->interval(), 1000);
    EXPECT_TRUE(app.connected());

    // One real tick: the limit check runs, and the paint it asks for advances the
    // histories; a paint for any other reason does not.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return std::count(parts.calls.begin(), parts.calls.end(), "checkSpeedLimit") == 1; },
        2500));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !paints.empty(); }, 1000));
    EXPECT_EQ(paints, std::vector<bool>{true});
    EXPECT_EQ(ticked.count(), 1);
    window.dashboard()->repaint();
    EXPECT_EQ(paints, (std::vector<bool>{true, false}));

    item(1, "Close")->trigger();
    EXPECT_FALSE(window.tickTimer()->isActive());
    EXPECT_FALSE(app.connected());
}

TEST_F(WindowTest, ReleaseIsATapAndRepaintsWhileDisconnected) {
    QTest::mouseClick(window.dashboard(), Qt::LeftButton, {}, QPoint(7, 51));
    EXPECT_EQ(parts.calls, std::vector<std::string>{"tap 7,51"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !paints.empty(); }, 1000));
    EXPECT_EQ(paints.back(), false);
    // A right-button release is no tap.
    QTest::mouseClick(window.dashboard(), Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(parts.calls.size(), 1u);
}

class NoFiles : public FilePicker {
public:
    std::u16string openFile(const FileRequest&) override { return {}; }
    std::u16string saveFile(const FileRequest&) override { return {}; }
};

TEST_F(WindowTest, TheNightPaletteDarkensTheStripMenusBoxesAndDialogs) {
    const QPalette day = QApplication::palette();
    applyNightPalette(true);
    QCoreApplication::processEvents();
    QMessageBox box(QMessageBox::Question, QStringLiteral("Velocimo"),
                    QStringLiteral("Are you sure you want to reset the top speed?"),
                    QMessageBox::Yes | QMessageBox::No, &window);
    NoFiles files;
    OptionsDialog options(settings, files, &window);
    LoggingDialog logging(fields, settings, &window);
    ReceiverDialog receiver(QStringLiteral("COM1:"), {"/dev/velocimo-absent", 4800, false, false},
                            ProbeEnvironment{}, &window);
    const std::pair<QWidget*, const char*> shown[] = {
        {&window, "window"},   {menu(0), "menu"},     {&box, "box"},
        {&options, "options"}, {&logging, "logging"}, {&receiver, "receiver"}};
    QDir().mkpath(QStringLiteral(VELOCIMO_BINARY_DIR "/screens"));
    for (const auto& [widget, name] : shown) {
        EXPECT_EQ(widget->palette().color(QPalette::Window), QColor(30, 30, 30)) << name;
        widget->show();
        widget->grab().save(QStringLiteral(VELOCIMO_BINARY_DIR "/screens/night-") +
                            QLatin1String(name) + QStringLiteral(".png"));
    }
    menu(0)->hide();
    EXPECT_EQ(window.menuButton(0)->palette().color(QPalette::Button), QColor(66, 66, 66));
    EXPECT_EQ(options.palette().color(QPalette::Base), QColor(8, 8, 8));
    EXPECT_NE(box.palette().color(QPalette::Disabled, QPalette::Text),
              box.palette().color(QPalette::Text));
    // The receiver's problem line has a colour of its own, lighter by night.
    EXPECT_EQ(receiver.findChild<QLabel*>(QStringLiteral("problem"))
                  ->palette()
                  .color(QPalette::WindowText),
              QColor(255, 112, 112));

    applyNightPalette(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::palette(), day);
    EXPECT_EQ(menu(0)->palette(), day);
}

TEST_F(WindowTest, TapsAreInDashboardPixelsAtAnySizeMirroredOrNot) {
    window.resize(480, 536 + 26); // twice the size
    QCoreApplication::processEvents();
    QTest::mouseClick(window.dashboard(), Qt::LeftButton, {}, QPoint(2 * 39 + 1, 2 * 83 + 1));
    settings.mirror = true;
    QTest::mouseClick(window.dashboard(), Qt::LeftButton, {}, QPoint(479 - 2 * 7, 2 * 51));
    window.resize(600, 400); // the dashboard 1.4 times, in the middle
    QCoreApplication::processEvents();
    QTest::mouseClick(window.dashboard(), Qt::LeftButton, {}, QPoint(10, 100));
    QTest::mouseClick(window.dashboard(), Qt::LeftButton, {}, QPoint(590, 100));
    EXPECT_EQ(parts.calls, (std::vector<std::string>{"tap 39,83", "tap 7,51"}));
}

TEST_F(WindowTest, ViewMenuChecksFollowTheSettings) {
    QMenu* view = menu(4);
    EXPECT_EQ(window.menuButton(4)->text(), "View");
    settings.mirror = true;
    settings.autoNight = false;
    QMetaObject::invokeMethod(view, "aboutToShow");
    EXPECT_FALSE(item(4, "Full Screen")->isChecked());
    EXPECT_EQ(item(4, "Full Screen")->shortcut(), QKeySequence(Qt::Key_F11));
    EXPECT_TRUE(item(4, "Mirror for Windscreen")->isChecked());
    EXPECT_FALSE(item(4, "Automatic Night")->isChecked());
    item(4, "Automatic Night")->trigger();
    EXPECT_TRUE(settings.autoNight);
    item(4, "Full Screen")->trigger();
    EXPECT_TRUE(window.isFullScreen());
    EXPECT_TRUE(settings.fullScreen);
    QMetaObject::invokeMethod(view, "aboutToShow");
    EXPECT_TRUE(item(4, "Full Screen")->isChecked());
    window.setFullScreen(false);
    EXPECT_FALSE(settings.fullScreen);
}

TEST_F(WindowTest, ResetAnswersGoThroughTheMessageBoxes) {
    record.update([](NavState& nav) {
        nav.topSpeed = 80.0;
        nav.topSpeedText.assignUtf8("80.0");
    });
    messages.answer = MessageResult::No;
    item(2, "Top Speed")->trigger();
    EXPECT_EQ(record.snapshot().topSpeedText, u"80.0");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown.back().text, u"Are you sure you want to reset the top speed?");
    messages.answer = MessageResult::Yes;
    item(2, "Top Speed")->trigger();
    EXPECT_EQ(record.snapshot().topSpeedText, u"0.0");
}

TEST_F(WindowTest, CtrlQClosesTheWindowSavingOnlyTheRunState) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 1000));
    EXPECT_EQ(parts.calls, std::vector<std::string>{"saveRunState"});
    // The close asked the application's event loop to end, and no loop was running to
    // take it: run one to its end, or every modal loop after this test ends at once.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST_F(WindowTest, DialogItemsAskForTheirDialogsAndWaitForThem) {
    std::vector<std::string> ran;
    QObject::connect(&window, &MainWindow::optionsDialogRequested,
                     [&] { ran.push_back("options"); });
    QObject::connect(&window, &MainWindow::aboutDialogRequested, [&] { ran.push_back("about"); });
    QObject::connect(&window, &MainWindow::loggingDialogRequested,
                     [&] { ran.push_back("logging"); });
    struct Case {
        int menu;
        const char* item;
        const char* dialog;
    };
    for (const Case& c :
         {Case{0, "Options", "options"}, Case{0, "About", "about"}, Case{3, "Setup", "logging"}}) {
        ran.clear();
        item(c.menu, c.item)->trigger();
        // Run before the command returned: the settings it changed are used right after.
        EXPECT_EQ(ran, std::vector<std::string>{c.dialog}) << c.item;
    }
}

// Clicks a button of each message box that opens, from inside the box's own event loop,
// and notes what the box said.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton button) {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this, button] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box && box->isVisible()) {
                    seen.push_back({box->text(), box->windowTitle(), box->thread()});
                    box->button(button)->click();
                }
            }
        });
        m_timer.start();
    }
    struct Seen {
        QString text;
        QString caption;
        QThread* thread;
    };
    std::vector<Seen> seen;

private:
    QTimer m_timer;
};

bool anyMessageBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(widget)) {
            return true;
        }
    }
    return false;
}

TEST(QtMessageBoxService, ShowReturnsTheButtonClicked) {
    struct Case {
        MessageButtons buttons;
        QMessageBox::StandardButton click;
        MessageResult result;
    };
    for (const Case& c : {Case{MessageButtons::YesNo, QMessageBox::Yes, MessageResult::Yes},
                          Case{MessageButtons::YesNo, QMessageBox::No, MessageResult::No},
                          Case{MessageButtons::Ok, QMessageBox::Ok, MessageResult::Ok}}) {
        QtMessageBoxService messages;
        BoxAnswerer answerer(c.click);
        MessageRequest request;
        request.text = u"Are you sure?";
        request.buttons = c.buttons;
        EXPECT_EQ(messages.show(request), c.result);
        ASSERT_EQ(answerer.seen.size(), 1u);
        EXPECT_EQ(answerer.seen[0].text, "Are you sure?");
    }
}

TEST(QtMessageBoxService, PostFromAnotherThreadShowsOnTheMainThread) {
    QtMessageBoxService messages;
    BoxAnswerer answerer(QMessageBox::Ok);
    std::thread worker([&messages] {
        MessageRequest request;
        request.text = u"Data flow interrupted!";
        messages.post(request);
    });
    worker.join();
    EXPECT_FALSE(anyMessageBox()) << "post must not show the box on the caller's thread";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.seen.empty(); }, 1000));
    EXPECT_EQ(answerer.seen[0].text, "Data flow interrupted!");
    EXPECT_EQ(answerer.seen[0].caption, "Velocimo");
    EXPECT_EQ(answerer.seen[0].thread, QCoreApplication::instance()->thread());
}

// The log is added to, so choosing a file that exists must not ask to replace it; the
// dialog says what happens instead. Other save dialogs keep the question.
TEST(QtFilePicker, SaveDialogForAFileThatIsAddedToDoesNotAskToReplace) {
    char name[] = "/tmp/velocimo-picker-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const QString existing = QString::fromUtf8(name) + QStringLiteral("/old.csv");
    {
        QFile file(existing);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    for (const bool adds : {true, false}) {
        SCOPED_TRACE(adds);
        FileRequest request;
        request.title = u"Log";
        request.filterName = u"CSV Files (*.csv)";
        request.filterPattern = u"*.csv";
        request.initialFolder = existing.section(QLatin1Char('/'), 0, -2).toStdU16String();
        request.proposedName = u"VELO_LOG 20050614 093005";
        if (adds) {
            request.existingFileNote = u"Records are added to the end of an existing file.";
        }
        bool asked = false;
        QString note;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "Log");
            EXPECT_EQ(dialog->testOption(QFileDialog::DontConfirmOverwrite), adds);
            if (auto* label = dialog->findChild<QLabel*>("existingFileNote")) {
                EXPECT_TRUE(label->isVisible());
                note = label->text();
                if (adds) {
                    dialog->grab().save(QStringLiteral(VELOCIMO_BINARY_DIR "/screens/logfile.png"));
                }
            }
            // Without the note a question comes up; say No, then leave. (The timer goes
            // with the dialog.)
            QTimer::singleShot(100, dialog, [&, dialog] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    asked = true;
                    box->button(QMessageBox::No)->click();
                }
                if (dialog->isVisible()) {
                    dialog->reject();
                }
            });
            dialog->selectFile(existing);
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
        QtFilePicker picker;
        const std::u16string chosen = picker.saveFile(request);
        EXPECT_EQ(asked, !adds);
        EXPECT_EQ(QString::fromStdU16String(chosen), adds ? existing : QString());
        EXPECT_EQ(note, adds ? "Records are added to the end of an existing file." : "");
    }
    QFile::remove(existing);
    ::rmdir(name);
}

TEST(StatusLine, TheRecordsFieldsThenTheCounts) {
    NavState nav;
    resetNavState(nav);
    nav.gpsConnected = true;
    nav.speedText.assignUtf8("12.5");
    std::string fields;
    appendNavStateJson(fields, nav);
    struct Case {
        long ticks;
        long tickPaints;
        std::string tail;
    };
    for (const Case& c : {Case{0, 0, R"(,"ticks":0,"tickPaints":0})"},
                          Case{3600, 3599, R"(,"ticks":3600,"tickPaints":3599})"}}) {
        const std::string line = statusLine(nav, c.ticks, c.tickPaints);
        EXPECT_EQ(line, "{" + fields + c.tail + "\n");
        EXPECT_EQ(line.rfind("{\"gpsConnected\":true,", 0), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << "one line";
    }
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
        QObject::connect(&server, &ControlServer::activateRequested, [&] { ++activations; });
        QObject::connect(&server, &ControlServer::saveAndDisconnectRequested,
                         [&] { ++disconnects; });

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
        EXPECT_TRUE(QTest::qWaitFor([&] { return activations == 1; }, 1000));
        EXPECT_EQ(activations, 1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return disconnects == 1; }, 1000));
        EXPECT_EQ(disconnects, 1);
    }
    // The socket goes with the server.
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    ::rmdir(name);
}

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One line from a client socket, while the server on this thread gets to run.
std::string readLine(int fd, std::string& pending) {
    const bool got = QTest::qWaitFor(
        [&] {
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                pending.append(buffer, static_cast<std::size_t>(n));
            }
            return pending.find('\n') != std::string::npos;
        },
        1000);
    if (!got) {
        return "(no line)";
    }
    const std::size_t end = pending.find('\n');
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    return line;
}

TEST(ControlServer, AnswersStatusInLineWithTheOtherCommandsAndKeepsTheClient) {
    char name[] = "/tmp/velocimo-cs-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const std::string path = std::string(name) + "/control";
    InstanceClaim claim = claimInstance(path);
    ASSERT_EQ(claim.role, InstanceRole::Primary) << claim.error;
    {
        ControlServer server(claim.listenFd, path);
        int activations = 0;
        int disconnects = 0;
        QObject::connect(&server, &ControlServer::activateRequested, [&] { ++activations; });
        QObject::connect(&server, &ControlServer::saveAndDisconnectRequested,
                         [&] { ++disconnects; });
        QObject::connect(&server, &ControlServer::statusRequested, [&](int client) {
            EXPECT_TRUE(server.reply(client, std::to_string(activations) + "," +
                                                 std::to_string(disconnects) + "\n"));
        });

        const int client = connectTo(path);
        ASSERT_GE(client, 0);
        struct Step {
            std::string_view sent;
            std::string_view answer; // empty: none
        };
        const Step steps[] = {
            {"status\n", "0,0"},       {"activate\nstatus\n", "1,0"},
            {"1023\r\nunknown\n", ""}, {"stat", ""},
            {"us\n", "1,1"},           {"status\nstatus\n", "1,1"},
        };
        std::string pending;
        for (const Step& step : steps) {
            ASSERT_EQ(::send(client, step.sent.data(), step.sent.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(step.sent.size()));
            if (!step.answer.empty()) {
                EXPECT_EQ(readLine(client, pending), step.answer) << step.sent;
            }
        }
        EXPECT_EQ(readLine(client, pending), "1,1") << "the second of two in one go";
        ::close(client);
    }
    ::rmdir(name);
}

// Nothing waits on clients that connect and keep quiet: they go after the idle limit, and
// a full house drops its oldest only after serving what that one had already sent.
TEST(ControlServer, IdleClientsNeverKeepCommandsOut) {
    char name[] = "/tmp/velocimo-cs-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const std::string path = std::string(name) + "/control";
    InstanceClaim claim = claimInstance(path);
    ASSERT_EQ(claim.role, InstanceRole::Primary) << claim.error;
    {
        ControlServer server(claim.listenFd, path, nullptr, std::chrono::milliseconds(300));
        int activations = 0;
        int disconnects = 0;
        QObject::connect(&server, &ControlServer::activateRequested, [&] { ++activations; });
        QObject::connect(&server, &ControlServer::saveAndDisconnectRequested,
                         [&] { ++disconnects; });
        std::vector<int> idle;
        for (int i = 0; i < 20; ++i) {
            idle.push_back(connectTo(path));
            ASSERT_GE(idle.back(), 0);
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(claimInstance(path).role, InstanceRole::Secondary); // sends "activate"
        EXPECT_TRUE(sendControlLine(path, "1023"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return activations == 1 && disconnects == 1; }, 1000));

        // A full house, then a "1023" queued behind eight more silent ones: by the time its
        // turn to be read comes, newer clients have pushed it out.
        const int queued = connectTo(path);
        ASSERT_GE(queued, 0);
        ASSERT_EQ(::send(queued, "1023\n", 5, MSG_NOSIGNAL), 5);
        for (int i = 0; i < ControlServer::kMaxClients; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            path.copy(address.sun_path, sizeof address.sun_path - 1);
            ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << i;
            idle.push_back(fd);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return disconnects == 2; }, 1000)) << disconnects;
        ::close(queued);

        // Every silent client is let go; one that keeps talking stays.
        const int talker = connectTo(path);
        ASSERT_GE(talker, 0);
        for (int i = 0; i < 8; ++i) {
            ASSERT_EQ(::send(talker, "hello\n", 6, MSG_NOSIGNAL), 6);
            QTest::qWait(100);
        }
        for (int fd : idle) {
            char byte = 0;
            EXPECT_EQ(::recv(fd, &byte, 1, MSG_DONTWAIT), 0) << "closed by the server";
            ::close(fd);
        }
        char byte = 0;
        EXPECT_EQ(::recv(talker, &byte, 1, MSG_DONTWAIT), -1);
        EXPECT_EQ(errno, EAGAIN);
        ::close(talker);
    }
    ::rmdir(name);
}

TEST(SignalCloser, TerminationSignalsArriveOnTheMainThread) {
    SignalCloser closer;
    ASSERT_TRUE(closer.installed());
    std::vector<int> got;
    QObject::connect(&closer, &SignalCloser::signalReceived, [&got](int signal) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        got.push_back(signal);
    });
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::raise(signal);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.size() == std::size_t{3}; }, 1000));
    EXPECT_EQ(got.size(), std::size_t{3});
    EXPECT_EQ(got, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
}

// The program put together, with its settings in a fresh folder and no port to open.
TEST(Desktop, ShowsTheDashboardAboveTheStripAndAnswersStatus) {
    char name[] = "/tmp/velocimo-desktop-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const std::string dir = name;
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    {
        RegFileStore store;
        auto key = store.openKey(kSettingsKeyPath);
        ASSERT_TRUE(key);
        key->writeDword(u"AutoConnect", 0);
        key->close();
    }
    const std::string path = dir + "/control";
    InstanceClaim claim = claimInstance(path);
    ASSERT_EQ(claim.role, InstanceRole::Primary) << claim.error;
    {
        Desktop desktop(claim.listenFd, path);
        ASSERT_TRUE(desktop.start());
        MainWindow& window = desktop.window();
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.size(), QSize(240, 268 + 26));
        const QImage shot = window.grab().toImage();
        QDir().mkpath(QStringLiteral(VELOCIMO_BINARY_DIR "/screens"));
        shot.save(QStringLiteral(VELOCIMO_BINARY_DIR "/screens/desktop.png"));
        // The dashboard is drawn, not a blank field.
        const QRgb first = shot.pixel(0, 0);
        bool drawn = false;
        for (int y = 0; y < 268 && !drawn; y += 3) {
            for (int x = 0; x < 240 && !drawn; x += 3) {
                drawn = shot.pixel(x, y) != first;
            }
        }
        EXPECT_TRUE(drawn);

        const int client = connectTo(path);
        ASSERT_GE(client, 0);
        ASSERT_EQ(::send(client, "status\n", 7, MSG_NOSIGNAL), 7);
        std::string pending;
        const std::string line = readLine(client, pending);
        EXPECT_EQ(line.rfind("{\"gpsConnected\":false,\"fixValid\":false,", 0), 0u) << line;
        const std::string tail = R"(,"ticks":0,"tickPaints":0})";
        EXPECT_TRUE(line.size() > tail.size() && line.ends_with(tail)) << line;
        ::close(client);
        desktop.shutdown();
    }
    EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the socket goes with the program";
    if (oldConfig) {
        ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
