// The real window at several sizes, by day and night, mirrored and full screen: the dashboard
// keeps its shape in the middle with the backdrop around it and the strip at the bottom, and
// the size and full-screen state come back at the next start. The PNGs are left in
// <build>/screens for a look.

#include "settings/regfilestore.h"
#include "shell/desktop.h"
#include "shell/mainwindow.h"
#include "tests/support/storetestutil.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <string>

namespace velocimo {
namespace {

using testutil::ConfigFolder;

void writeValue(std::u16string_view name, uint32_t value) {
    RegFileStore store;
    auto key = store.openKey(kSettingsKeyPath);
    ASSERT_TRUE(key);
    key->writeDword(name, value);
    key->close();
}

uint32_t readValue(std::u16string_view name) {
    RegFileStore store;
    uint32_t value = 0;
    auto key = store.openKey(kSettingsKeyPath);
    return key && key->readDword(name, value) ? value : 0;
}

// The desktop started on the settings in the folder; closed (saving the run state) at the end.
struct Running {
    explicit Running(const ConfigFolder& folder)
        : claim(claimInstance(socket(folder))), desktop(claim.listenFd, socket(folder)) {
        EXPECT_TRUE(desktop.start());
        QTest::qWait(50);
    }
    ~Running() {
        desktop.window().close();
        desktop.shutdown();
    }
    MainWindow& window() { return desktop.window(); }
    static std::string socket(const ConfigFolder& folder) {
        return (folder.folder().parent_path() / "control").string();
    }
    InstanceClaim claim;
    Desktop desktop;
};

QColor backdropOf(int32_t nightMode) {
    return nightMode ? QColor(66, 66, 66) : QColor(189, 206, 231);
}

struct ScreenCase {
    const char* name;
    int32_t nightMode;
    int32_t display;
    bool mirror;
    QSize size; // WindowWidth and WindowHeight; 0 for the default
    bool fullScreen;
};

class Screens : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(Screens, DashboardKeepsItsShapeInTheMiddleWithTheStripBelow) {
    const ScreenCase& c = GetParam();
    ConfigFolder folder;
    writeValue(u"AutoConnect", 0);
    writeValue(u"NightMode", static_cast<uint32_t>(c.nightMode));
    writeValue(u"SelectedDisplay", static_cast<uint32_t>(c.display));
    writeValue(u"Mirror", c.mirror);
    writeValue(u"WindowWidth", static_cast<uint32_t>(c.size.width()));
    writeValue(u"WindowHeight", static_cast<uint32_t>(c.size.height()));
    writeValue(u"FullScreen", c.fullScreen);
    Running run(folder);
    MainWindow& window = run.window();
    const QSize expected = c.fullScreen       ? window.screen()->geometry().size()
                           : c.size.isEmpty() ? QSize(240, 268 + 26)
                                              : c.size;
    EXPECT_EQ(window.isFullScreen(), c.fullScreen);
    EXPECT_EQ(window.size(), expected);
    EXPECT_EQ(window.menuStrip()->geometry(),
              QRect(0, expected.height() - 26, expected.width(), 26));

    const QImage shot = window.grab().toImage();
    QDir().mkpath(QStringLiteral(VELOCIMO_BINARY_DIR "/screens"));
    shot.save(QStringLiteral(VELOCIMO_BINARY_DIR "/screens/") + c.name + ".png");

    // As large as fits, the shape kept, centred.
    const DashboardViewport view = window.dashboard()->viewport();
    const QSize area = window.dashboard()->size() * window.devicePixelRatioF();
    EXPECT_TRUE(view.width == area.width() || view.height == area.height());
    EXPECT_NEAR(view.width * 268.0, view.height * 240.0, 268.0);
    EXPECT_LE(std::abs(2 * view.left + view.width - area.width()), 1);
    EXPECT_LE(std::abs(2 * view.top + view.height - area.height()), 1);
    // The backdrop on both sides, the picture's own corner inside.
    const QColor backdrop = backdropOf(c.nightMode);
    EXPECT_EQ(shot.pixelColor(view.left + 1, view.top + 1), backdrop);
    if (view.left > 0) {
        EXPECT_EQ(shot.pixelColor(0, area.height() / 2), backdrop);
        EXPECT_EQ(shot.pixelColor(area.width() - 1, area.height() / 2), backdrop);
    }

    // Mirroring flips the picture pixel for pixel.
    QAction* mirror = window.menuButton(4)->menu()->actions().at(1);
    mirror->trigger();
    QTest::qWait(20);
    const QImage flipped = window.grab().toImage();
    const QRect picture(view.left, view.top, view.width, view.height);
    EXPECT_EQ(flipped.copy(picture), shot.copy(picture).mirrored(true, false));
    EXPECT_EQ(readValue(u"Mirror"), c.mirror ? 0u : 1u) << "saved with the options";
}

INSTANTIATE_TEST_SUITE_P(
    Window, Screens,
    ::testing::Values(ScreenCase{"screen-default-day", 0, 0, false, {}, false},
                      ScreenCase{"screen-default-night-mirrored", 1, 5, true, {}, false},
                      ScreenCase{"screen-2x-day", 0, 0, false, {480, 536 + 26}, false},
                      ScreenCase{"screen-wide-night", 1, 1, false, {600, 400}, false},
                      ScreenCase{"screen-full-day", 0, 0, false, {300, 400}, true},
                      ScreenCase{"screen-full-night-mirrored", 1, 3, true, {}, true}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::erase(name, '-');
        return name;
    });

TEST(Screens, SizeAndFullScreenComeBackAtTheNextStart) {
    ConfigFolder folder;
    writeValue(u"AutoConnect", 0);
    {
        Running run(folder);
        run.window().resize(500, 420);
        QTest::qWait(20);
    }
    EXPECT_EQ(readValue(u"WindowWidth"), 500u);
    EXPECT_EQ(readValue(u"WindowHeight"), 420u);
    EXPECT_EQ(readValue(u"FullScreen"), 0u);
    {
        Running run(folder);
        EXPECT_EQ(run.window().size(), QSize(500, 420));
        QTest::keyClick(&run.window(), Qt::Key_F11);
        QTest::qWait(20);
        EXPECT_TRUE(run.window().isFullScreen());
    }
    EXPECT_EQ(readValue(u"FullScreen"), 1u);
    {
        Running run(folder);
        MainWindow& window = run.window();
        EXPECT_TRUE(window.isFullScreen());
        // A tap beside the menus leaves full screen, as Escape does.
        QTest::mouseClick(window.menuStrip(), Qt::LeftButton, {},
                          QPoint(window.menuStrip()->width() - 5, 10));
        QTest::qWait(20);
        EXPECT_FALSE(window.isFullScreen());
        window.setFullScreen(true);
        QTest::keyClick(&window, Qt::Key_Escape);
        QTest::qWait(20);
        EXPECT_FALSE(window.isFullScreen());
        EXPECT_EQ(window.size(), QSize(500, 420));
    }
    EXPECT_EQ(readValue(u"FullScreen"), 0u);
    EXPECT_EQ(readValue(u"WindowWidth"), 500u);
}

} // namespace
} // namespace velocimo
