// Renders every page by day and by night from a real capture and checks the pictures.
// The PNGs are left in <build>/dashboard-pages for a look.

#include "dashboard/qtcanvas.h"
#include "nmea/handlers.h"
#include "resources/art/artpaint.h"
#include "shell/core/liverecord.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QTextStream>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace velocimo {
namespace {

Settings defaults() {
    Settings s;
    s.speedLimits[0] = 5;
    s.speedLimits[1] = 10;
    s.speedLimits[2] = 15;
    s.maxSpeed = 20;
    s.maxElevation = 500;
    s.units = 1;
    s.selectedLimit = 1;
    return s;
}

struct Live {
    NavState nav;
    DashboardState state;
    Settings settings = defaults();
};

// Feeds a receiver capture through the decoder, with one ticked paint per RMC sentence, so
// the histories hold real samples. Returns the last snapshot.
Live replay(int32_t nightMode) {
    Live live;
    live.settings.nightMode = nightMode;
    applyNightMode(live.state, live.settings);
    LiveRecord record;
    record.setDecodeOptions({1, 0});
    record.update([](NavState& nav) {
        resetNavState(nav);
        nav.gpsConnected = true;
    });
    LiveDecoder decoder(record, nullptr, nullptr);
    std::ifstream in(VELOCIMO_TEST_DATA "/nmea/bundg_zeus_9.log");
    EXPECT_TRUE(in.good()) << "missing " VELOCIMO_TEST_DATA "/nmea/bundg_zeus_9.log";
    QImage scratch(kDashboardWidth, kDashboardHeight, QImage::Format_RGB32);
    std::string line;
    live.settings.selectedDisplay = DisplaySpeedGraph; // lets the grid scroll too
    while (std::getline(in, line)) {
        const std::u16string text = fromUtf8(line);
        dispatchSentence(decoder, text);
        if (line.rfind("$GPRMC", 0) == 0) {
            live.nav = record.snapshot();
            renderDashboard(scratch, live.nav, live.settings, live.state, true);
        }
    }
    live.nav = record.snapshot();
    return live;
}

QColor qc(Colour c) {
    return QColor(c.red, c.green, c.blue);
}

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

int countNear(const QImage& img, const QRect& area, QColor colour, int tolerance) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += near(img.pixelColor(x, y), colour, tolerance) ? 1 : 0;
        }
    }
    return n;
}

QString outputDir() {
    const QString dir = QString::fromUtf8(VELOCIMO_BINARY_DIR) + "/dashboard-pages";
    QDir().mkpath(dir);
    return dir;
}

struct PageCase {
    int32_t display;
    int32_t nightMode;
};

class Pages : public ::testing::TestWithParam<PageCase> {};

TEST_P(Pages, RenderedFromALiveFix) {
    const PageCase& p = GetParam();
    Live live = replay(p.nightMode);
    ASSERT_TRUE(live.nav.fixValid);
    ASSERT_GT(live.nav.speed, 5.0);
    live.settings.selectedDisplay = p.display;
    DashboardRenderer renderer;
    renderer.render(live.nav, live.settings, live.state, false);
    const QImage& img = renderer.backBuffer();
    const QString name = QString("%1/page-%2-%3.png")
                             .arg(outputDir())
                             .arg(p.display)
                             .arg(p.nightMode ? "night" : "day");
    ASSERT_TRUE(img.save(name));

    const bool night = p.nightMode >= 1;
    const DashboardTheme& theme = live.state.theme;
    const QColor backdrop = night ? QColor(66, 66, 66) : QColor(189, 206, 231);
    const QColor panel = night ? QColor(8, 8, 8) : QColor(247, 247, 247);
    EXPECT_EQ(img.pixelColor(1, 45), backdrop);
    EXPECT_EQ(img.pixelColor(238, 90), backdrop);
    // Limit 1 selected: its cell is red, the first cell keeps the panel colour.
    EXPECT_EQ(img.pixelColor(95, 246), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(15, 246), panel);
    // The readouts and the limits are written in the theme's text colour.
    EXPECT_GT(countNear(img, QRect(4, 24, 58, 16), qc(theme.textColour), 60), 10);
    EXPECT_GT(countNear(img, QRect(11, 231, 59, 30), qc(theme.textColour), 60), 10);

    const QRect page(12, 96, 218, 130);
    switch (p.display) {
    case DisplaySpeed:
        EXPECT_GT(countNear(img, QRect(11, 101, 219, 71), qc(theme.textColour), 40), 300);
        EXPECT_GT(countNear(img, QRect(11, 180, 219, 30), qc(theme.textColour), 60), 40);
        break;
    case DisplaySpeedGraph:
    case DisplayElevationGraph: {
        // The series pen's own colour, and only that theme's.
        const QColor series = qc(theme.seriesPen.colour);
        const QColor other = night ? QColor(0, 0, 255) : QColor(0, 255, 0);
        EXPECT_GT(countNear(img, QRect(150, 96, 80, 130), series, 30), 60);
        EXPECT_EQ(countNear(img, page, other, 30), 0);
        if (p.display == DisplaySpeedGraph) {
            EXPECT_GT(countNear(img, QRect(150, 96, 80, 130), QColor(255, 0, 0), 30), 60);
        }
        break;
    }
    case DisplayCompass: {
        const double h = live.nav.course;
        const Point c = kLayout.compassCentre;
        const Point red = compassPoint(c, 25, -h);
        const Point blue = compassPoint(c, 25, 180 - h);
        EXPECT_EQ(img.pixelColor(red.x, red.y), QColor(255, 0, 0));
        EXPECT_EQ(img.pixelColor(blue.x, blue.y), QColor(0, 0, 255));
        const Point face = compassPoint(c, 32, 90 - h);
        EXPECT_EQ(img.pixelColor(face.x, face.y), qc(theme.faceBrush.colour));
        break;
    }
    case DisplayStatus:
    case DisplayPosition:
        EXPECT_GT(countNear(img, page, qc(theme.textColour), 40), 200);
        break;
    default:
        // Nothing drawn on the panel.
        EXPECT_EQ(countNear(img, QRect(20, 100, 200, 120), panel, 0), 200 * 120);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Dashboard, Pages,
                         ::testing::Values(PageCase{0, 0}, PageCase{1, 0}, PageCase{2, 0},
                                           PageCase{3, 0}, PageCase{4, 0}, PageCase{5, 0},
                                           PageCase{6, 0}, PageCase{0, 1}, PageCase{1, 1},
                                           PageCase{2, 1}, PageCase{3, 1}, PageCase{4, 1},
                                           PageCase{5, 1}, PageCase{6, 1}));

// Exactly the text colour: a stem drawn at the size shown, not blurred up from a smaller one.
int countExact(const QImage& img, const QRect& area, QColor colour) {
    return countNear(img, area, colour, 0);
}

class ScaledPages : public ::testing::TestWithParam<PageCase> {};

TEST_P(ScaledPages, DrawnAtTwiceTheSizeNotBlownUp) {
    const PageCase& p = GetParam();
    Live live = replay(p.nightMode);
    live.settings.selectedDisplay = p.display;
    DashboardRenderer one;
    one.render(live.nav, live.settings, live.state, false);
    DashboardRenderer two;
    two.setScale(2.0);
    two.render(live.nav, live.settings, live.state, false);
    const QImage& big = two.backBuffer();
    ASSERT_EQ(big.size(), QSize(480, 536));
    ASSERT_TRUE(big.save(QString("%1/page-%2-%3-2x.png")
                             .arg(outputDir())
                             .arg(p.display)
                             .arg(p.nightMode ? "night" : "day")));

    QImage blownUp = one.backBuffer().scaled(480, 536);
    blownUp.setDevicePixelRatio(2.0);
    EXPECT_NE(big, blownUp);
    EXPECT_NE(big,
              one.backBuffer().scaled(480, 536, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    // The backdrop, the selected limit and the readouts' full-contrast ink, at twice the place.
    EXPECT_EQ(big.pixelColor(2, 90), p.nightMode ? QColor(66, 66, 66) : QColor(189, 206, 231));
    EXPECT_EQ(big.pixelColor(190, 492), QColor(255, 0, 0));
    const QColor ink = qc(live.state.theme.textColour);
    const QRect readouts(8, 48, 464, 32);
    const int inkOne = countExact(one.backBuffer(), QRect(4, 24, 232, 16), ink);
    EXPECT_GT(countExact(big, readouts, ink), 5 * inkOne) << inkOne;
    if (p.display == DisplayCompass) {
        // The needle's halves and the face between them, outlines drawn their own way here.
        const Point c = kLayout.compassCentre;
        const double h = live.nav.course;
        for (const auto& [at, colour] :
             {std::pair{compassPoint(c, 25, -h), QColor(255, 0, 0)},
              std::pair{compassPoint(c, 25, 180 - h), QColor(0, 0, 255)},
              std::pair{compassPoint(c, 32, 90 - h), qc(live.state.theme.faceBrush.colour)}}) {
            EXPECT_EQ(big.pixelColor(2 * at.x, 2 * at.y), colour);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Dashboard, ScaledPages,
                         ::testing::Values(PageCase{0, 0}, PageCase{1, 0}, PageCase{3, 1},
                                           PageCase{4, 1}, PageCase{5, 0}, PageCase{6, 1}));

// The bounding box of what the page draws over its background art in area, counting pixels
// nearly covered (the overshoot of a round glyph is not its edge).
QRect inkIn(const QImage& page, const QImage& art, const QRect& area) {
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!near(page.pixelColor(x, y), art.pixelColor(x, y), 200)) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

// Twice the centre row, to compare centres without halves.
int doubleCentre(int top, int bottom) {
    return top + bottom;
}

// The art was drawn for texts placed by Windows cells: first lines inside the panel,
// readouts and limits centred in their bars and cells, lines one Windows pitch apart.
TEST(PageText, SitsInItsBarsAndCells) {
    Live live = replay(0);
    const QImage art = dashboardArt(live.state.theme.backgroundBitmap);
    DashboardRenderer renderer;
    const QImage& img = renderer.backBuffer();
    for (int32_t display : {DisplayStatus, DisplayPosition}) {
        live.settings.selectedDisplay = display;
        renderer.render(live.nav, live.settings, live.state, false);
        const QRect ink = inkIn(img, art, QRect(12, 86, 218, 24));
        EXPECT_GT(ink.top(), 94) << "display " << display; // the panel's top border
    }
    // The bars' and unselected limit cells' rows, bottom edge excluded.
    const QRect bars[] = {
        {4, 3, 115, 16}, {121, 3, 115, 16}, {12, 231, 58, 30}, {172, 231, 58, 30}};
    for (const QRect& bar : bars) {
        const QRect ink = inkIn(img, art, bar.adjusted(0, -3, 0, 3));
        ASSERT_TRUE(ink.isValid());
        EXPECT_NEAR(doubleCentre(ink.top(), ink.bottom()), doubleCentre(bar.top(), bar.bottom()), 2)
            << "bar at y " << bar.top() << ", ink " << ink.top() << ".." << ink.bottom();
    }
    live.settings.selectedDisplay = DisplaySpeed;
    renderer.render(live.nav, live.settings, live.state, false);
    // "TOP: ..." over "AVG: ...": the tops of their capitals are one pitch apart.
    const QRect first = inkIn(img, art, QRect(11, 180, 50, 20));
    const QRect second = inkIn(img, art, QRect(11, 200, 50, 26));
    EXPECT_EQ(second.top() - first.top(), 22);
}

// Where the ink of one text lands for each placement flag.
struct AlignCase {
    uint32_t flags;
    const char16_t* text;
    // Expected ink edges relative to the rectangle, within a pixel.
    int left;   // -1: not checked
    int right;  // -1: not checked
    int top;    // -1: not checked
    int bottom; // -1: not checked
};

class TextPlacement : public ::testing::TestWithParam<AlignCase> {};

TEST_P(TextPlacement, InkFollowsTheFlags) {
    const AlignCase& a = GetParam();
    QImage img(240, 268, QImage::Format_RGB32);
    img.fill(Qt::white);
    const Rect r = {40, 100, 200, 160};
    {
        QtCanvas canvas(img);
        canvas.setTextColour({0, 0, 0});
        canvas.setFont(FontId::Font18);
        canvas.drawText(a.text, r, a.flags);
    }
    int minX = 999, maxX = -1, minY = 999, maxY = -1;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixelColor(x, y).lightness() < 128) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    }
    ASSERT_GE(maxX, 0) << "no ink";
    const int slack = 1; // measured with Tahoma
    if (a.left >= 0) {
        EXPECT_NEAR(minX - r.left, a.left, slack);
    }
    if (a.right >= 0) {
        EXPECT_NEAR(r.right - maxX, a.right, slack);
    }
    if (a.top >= 0) {
        EXPECT_NEAR(minY - r.top, a.top, slack);
    }
    if (a.bottom >= 0) {
        EXPECT_NEAR(r.bottom - maxY, a.bottom, slack);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dashboard, TextPlacement,
    ::testing::Values(
        // Tahoma 18 px: a cell of 18 + 4 px; the digits' ink is 13 px high, from 5 px below the
        // cell's top down to the baseline.
        AlignCase{TextLeft | TextTop | TextSingleLine, u"88", 1, -1, 5, -1},
        AlignCase{TextRight | TextBottom | TextSingleLine, u"88", -1, 2, -1, 5},
        // Right-to-left text takes drawText line by line, on the same baseline.
        AlignCase{TextRight | TextBottom | TextSingleLine, u"\u05d0\u05d1", -1, -1, -1, 5},
        // Centred both ways: the 22 px cell in a 60 px box, 19 px from the top.
        AlignCase{TextCenter | TextVCenter | TextSingleLine, u"88", 71, 72, 24, 24},
        // Two lines from the top: the second line ends one 22 px line below the first.
        AlignCase{TextLeft | TextTop, u"88\n88", 1, -1, 5, 21},
        // Never clipped: a text wider than its rectangle spills over both sides.
        AlignCase{TextCenter | TextVCenter | TextSingleLine, u"8888888888888888888888", -25, -25,
                  -1, -1}));

// Grid lines are filled as rectangles: the pixels QPainter::drawLine gives them.
TEST(QtCanvasShapes, StraightThinLinesAreTheLinesQtDraws) {
    const Point lines[][2] = {{{10, 100}, {230, 100}}, {{230, 120}, {10, 120}},
                              {{40, 100}, {40, 220}},  {{60, 220}, {60, 100}},
                              {{70, 70}, {70, 70}},    {{-5, 3}, {250, 3}},
                              {{239, -4}, {239, 300}}, {{0, 267}, {239, 267}}};
    for (const auto& line : lines) {
        QImage drawn(240, 268, QImage::Format_RGB32);
        drawn.fill(Qt::white);
        QImage expected = drawn;
        {
            QtCanvas canvas(drawn);
            canvas.setPen({{157, 157, 157}, 1});
            canvas.drawLine(line[0], line[1]);
        }
        {
            QPainter painter(&expected);
            painter.setPen(
                QPen(QColor(157, 157, 157), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawLine(line[0].x, line[0].y, line[1].x, line[1].y);
        }
        EXPECT_TRUE(drawn == expected)
            << line[0].x << "," << line[0].y << " to " << line[1].x << "," << line[1].y;
    }
}

TEST(QtCanvasShapes, LongPolylineHasNoGapBetweenPieces) {
    QImage img(240, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    std::vector<Point> points;
    // Only the step from point 511 to 512 moves: it is the seam between the pieces.
    for (int32_t i = 0; i < 1400; ++i) {
        points.push_back({i < 512 ? 1 : 232, 10});
    }
    {
        QtCanvas canvas(img);
        canvas.setPen({{0, 0, 0}, 2});
        canvas.drawPolyline(points.data(), points.size());
    }
    for (int x = 1; x < 232; ++x) {
        EXPECT_LT(img.pixelColor(x, 10).lightness(), 128) << x;
    }
    EXPECT_EQ(img.pixelColor(236, 10), QColor(Qt::white));
}

TEST(Fonts, TahomaWhenInstalledAtTheRequestedHeights) {
    const QFont f12 = dashboardFont(FontId::Font12);
    const QFont f80 = dashboardFont(FontId::Font80);
    EXPECT_EQ(f12.pixelSize(), 12);
    EXPECT_EQ(dashboardFont(FontId::Font30).pixelSize(), 30);
    EXPECT_EQ(f80.pixelSize(), 80);
    EXPECT_EQ(f80.weight(), QFont::Bold);
    EXPECT_EQ(f12.weight(), QFont::Normal);
    if (QFile::exists("/usr/share/wine/fonts/tahoma.ttf")) {
        // The face actually used, not only the one asked for.
        EXPECT_EQ(QFontInfo(f12).family(), QString("Tahoma"));
        EXPECT_TRUE(QFontInfo(f80).bold());
        EXPECT_EQ(QFontInfo(f80).styleName(), QString("Bold"));
    }
}

TEST(Art, EveryResourceLoadsAtItsSize) {
    for (int32_t icon : {112, 115, 116, 127, 129, 130, 132, 135, 142, 143, 144, 145}) {
        const QImage img = dashboardArt(icon);
        EXPECT_EQ(img.size(), QSize(32, 32)) << icon;
        EXPECT_TRUE(img.hasAlphaChannel()) << icon;
        EXPECT_EQ(img.pixelColor(0, 31).alpha(), 0) << icon; // transparent corner
    }
    for (int32_t picture : {137, 138}) {
        EXPECT_EQ(dashboardArt(picture).size(), QSize(240, 268)) << picture;
    }
    EXPECT_TRUE(dashboardArt(999).isNull());
    EXPECT_FALSE(programIcon().isNull());
}

TEST(Art, DrawnAtAnyScaleFromTheCodeBehindTheCommittedIcons) {
    for (int32_t icon : {112, 115, 116, 127, 129, 130, 132, 135, 142, 143, 144, 145}) {
        EXPECT_EQ(drawArt(icon, 1.0), dashboardArt(icon)) << "regenerate the art: " << icon;
        const QImage big = dashboardArt(icon, 2.5);
        EXPECT_EQ(big.size(), QSize(80, 80)) << icon;
        EXPECT_EQ(big.devicePixelRatio(), 2.5) << icon;
    }
    for (int32_t picture : {137, 138}) {
        EXPECT_EQ(dashboardArt(picture, 2.0).size(), QSize(480, 536)) << picture;
    }
    EXPECT_TRUE(dashboardArt(999, 2.0).isNull());
}

} // namespace
} // namespace velocimo

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
