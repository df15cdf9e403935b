#include "dashboard/dashboard.h"
#include "tests/support/recordingcanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace velocimo {
namespace {

using Kind = RecordingCanvas::Kind;
using Op = RecordingCanvas::Op;

Settings defaults() {
    Settings s;
    s.speedLimits[0] = 50;
    s.speedLimits[1] = 80;
    s.speedLimits[2] = 100;
    s.maxSpeed = 120;
    s.maxElevation = 500;
    return s;
}

NavState resetNav() {
    NavState nav;
    resetNavState(nav);
    return nav;
}

std::vector<Op> ofKind(const RecordingCanvas& c, Kind k) {
    std::vector<Op> out;
    std::copy_if(c.ops().begin(), c.ops().end(), std::back_inserter(out),
                 [k](const Op& op) { return op.kind == k; });
    return out;
}

const Op* findText(const RecordingCanvas& c, std::u16string_view text) {
    for (const Op& op : c.ops()) {
        if (op.kind == Kind::Text && op.text == text) {
            return &op;
        }
    }
    return nullptr;
}

int32_t statusIcon(const RecordingCanvas& c) {
    for (const Op& op : c.ops()) {
        if (op.kind == Kind::Icon && op.at == kLayout.statusButton) {
            return op.resource;
        }
    }
    return -1;
}

// The fixed bands: background, coordinate line, limit cells, buttons and readouts, in order.
TEST(Painter, FixedBandsInOrder) {
    Settings s = defaults();
    s.selectedDisplay = 2;
    NavState nav = resetNav();
    nav.latitude.dmsText.assignUtf8("52° 30' 10\"N");
    nav.longitude.dmsText.assignUtf8("13° 22' 5\"E");
    DashboardState state;
    RecordingCanvas c;
    paintDashboard(c, nav, s, state, true);

    struct Expected {
        Kind kind;
        int32_t resource;
        std::u16string text;
    };
    const std::vector<Expected> expected = {
        {Kind::PenSel, 0, u""},
        {Kind::BrushSel, 0, u""},
        {Kind::TextColour, 0, u""},
        {Kind::Picture, BitmapDay, u""},
        {Kind::Font, 0, u""},
        {Kind::Text, 0, u"13° 22' 5\"E"},
        {Kind::Text, 0, u"52° 30' 10\"N"},
        {Kind::Font, 0, u""},
        {Kind::BrushSel, 0, u""},
        {Kind::RoundRect, 0, u""},
        {Kind::Text, 0, u"50"},
        {Kind::Text, 0, u"80"},
        {Kind::Text, 0, u"100"},
        {Kind::Icon, IconMoon, u""},
        {Kind::Icon, IconSpeedGraph, u""},
        {Kind::Icon, IconMountain, u""},
        {Kind::Font, 0, u""},
        {Kind::Text, 0, u"0.0m"},
        {Kind::Icon, IconOdometer, u""},
        {Kind::Font, 0, u""},
        {Kind::Text, 0, u"0.0"},
        {Kind::Icon, IconCompass, u""},
        {Kind::Font, 0, u""},
        {Kind::Text, 0, u"*"},
        {Kind::Text, 0, u"0°"},
        {Kind::Icon, IconNoFix, u""},
    };
    ASSERT_EQ(c.ops().size(), expected.size()); // page 2 is empty: nothing after the bands
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c.ops()[i].kind, expected[i].kind);
        if (expected[i].kind == Kind::Icon || expected[i].kind == Kind::Picture) {
            EXPECT_EQ(c.ops()[i].resource, expected[i].resource);
        }
        if (expected[i].kind == Kind::Text) {
            EXPECT_EQ(c.ops()[i].text, expected[i].text);
        }
    }
    EXPECT_EQ(c.ops()[0].pen, kDefaultPen);
    EXPECT_EQ(c.ops()[2].colour, (Colour{0, 0, 0}));
    EXPECT_EQ(c.ops()[4].font, FontId::Font18);
    EXPECT_EQ(c.ops()[5].rect, kLayout.longitudeRect);
    EXPECT_EQ(c.ops()[5].flags, TextVCenter | TextSingleLine);
    EXPECT_EQ(c.ops()[6].rect, kLayout.latitudeRect);
    EXPECT_EQ(c.ops()[6].flags, TextRight | TextVCenter | TextSingleLine);
    EXPECT_EQ(c.ops()[7].font, FontId::Font30);
    EXPECT_EQ(c.ops()[10].flags, TextCenter | TextVCenter | TextSingleLine);
    EXPECT_EQ(c.ops()[13].at, kLayout.nightButton);
    EXPECT_EQ(c.ops()[17].rect, kLayout.elevationCellRect);
    EXPECT_EQ(c.ops()[20].rect, kLayout.speedCellRect);
    EXPECT_EQ(c.ops()[23].rect, kLayout.compassPointCellRect);
    EXPECT_EQ(c.ops()[23].flags, TextRight | TextVCenter | TextSingleLine);
    EXPECT_EQ(c.ops()[24].rect, kLayout.courseCellRect);
}

struct LimitCase {
    int32_t selected;
    int32_t nightMode;
    int highlighted; // -1: none
};

class LimitHighlight : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LimitHighlight, OnlyTheSelectedCellIsRed) {
    const LimitCase& p = GetParam();
    Settings s = defaults();
    s.selectedLimit = p.selected;
    s.nightMode = p.nightMode;
    NavState nav = resetNav();
    DashboardState state;
    applyNightMode(state, s);
    RecordingCanvas c;
    paintDashboard(c, nav, s, state, true);
    const auto shapes = ofKind(c, Kind::RoundRect);
    if (p.highlighted < 0) {
        EXPECT_TRUE(shapes.empty());
    } else {
        ASSERT_EQ(shapes.size(), 1u);
        EXPECT_EQ(shapes[0].rect, kLayout.limitRects[p.highlighted]);
        EXPECT_EQ(shapes[0].ellipseWidth, 10);
        EXPECT_EQ(shapes[0].ellipseHeight, 10);
        // The red brush and the untouched default pen.
        const auto& ops = c.ops();
        const auto it = std::find_if(ops.begin(), ops.end(),
                                     [](const Op& o) { return o.kind == Kind::RoundRect; });
        const Op& brush = *(it - 1);
        ASSERT_EQ(brush.kind, Kind::BrushSel);
        EXPECT_EQ(brush.brush.colour, (Colour{255, 0, 0}));
        for (auto o = ops.begin(); o != it; ++o) {
            if (o->kind == Kind::PenSel) {
                EXPECT_EQ(o->pen, kDefaultPen);
            }
        }
    }
    for (const char16_t* limit : {u"50", u"80", u"100"}) {
        EXPECT_NE(findText(c, limit), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Dashboard, LimitHighlight,
                         ::testing::Values(LimitCase{1, 0, 1}, LimitCase{1, 1, 1},
                                           LimitCase{0, 0, 0}, LimitCase{2, 1, 2},
                                           LimitCase{3, 0, -1}, LimitCase{-1, 1, -1}));

TEST(Painter, NightThemeUsesNightPictureSunAndWhiteText) {
    Settings s = defaults();
    s.nightMode = 1;
    NavState nav = resetNav();
    DashboardState state;
    applyNightMode(state, s);
    RecordingCanvas c;
    paintDashboard(c, nav, s, state, true);
    EXPECT_EQ(ofKind(c, Kind::Picture).at(0).resource, BitmapNight);
    EXPECT_EQ(ofKind(c, Kind::TextColour).at(0).colour, (Colour{255, 255, 255}));
    EXPECT_EQ(ofKind(c, Kind::Icon).at(0).resource, IconSun);
}

TEST(Painter, FixAnimationCyclesAndResumes) {
    Settings s = defaults();
    NavState nav = resetNav();
    DashboardState state;
    struct Step {
        bool fix;
        bool advance;
        int32_t icon;
    };
    const Step steps[] = {{true, true, IconFix0},  {true, true, IconFix1}, {false, true, IconNoFix},
                          {true, false, IconFix2}, {true, true, IconFix2}, {true, true, IconFix3},
                          {true, true, IconFix0}};
    for (const Step& step : steps) {
        nav.fixValid = step.fix;
        RecordingCanvas c;
        paintDashboard(c, nav, s, state, step.advance);
        EXPECT_EQ(statusIcon(c), step.icon);
    }
}

TEST(Painter, SpeedPageTexts) {
    Settings s = defaults();
    NavState nav = resetNav();
    nav.speedText.assignUtf8("47.3");
    nav.speedUnitText.assignUtf8("km/h");
    nav.topSpeedText.assignUtf8("61.0");
    nav.averageSpeedText.assignUtf8("38.2");
    nav.tripDistanceText.assignUtf8("12.345");
    nav.totalDistanceText.assignUtf8("001234");
    DashboardState state;
    RecordingCanvas c;
    paintDashboard(c, nav, s, state, true);
    EXPECT_EQ(nav.topAvgLineText, u"TOP: 61.0\nAVG: 38.2");
    EXPECT_EQ(nav.distanceLineText, u"12.345\n001234");

    const auto& ops = c.ops();
    const auto unit = std::find_if(ops.begin(), ops.end(), [](const Op& o) {
        return o.kind == Kind::Text && o.text == u"km/h";
    });
    ASSERT_NE(unit, ops.end());
    struct Expected {
        FontId font;
        std::u16string text;
        Rect rect;
        uint32_t flags;
    };
    const Expected page[] = {
        {FontId::Font18, u"km/h", kLayout.unitRect, TextRight | TextBottom | TextSingleLine},
        {FontId::Font80, u"47.3", kLayout.bigSpeedRect, TextRight | TextBottom | TextSingleLine},
        {FontId::Font18, u"TOP: 61.0\nAVG: 38.2", kLayout.summaryRect, TextLeft},
        {FontId::Font18, u"12.345\n001234", kLayout.summaryRect, TextRight},
    };
    FontId font = FontId::Font12;
    std::size_t next = 0;
    for (auto o = ops.begin(); o != ops.end(); ++o) {
        if (o->kind == Kind::Font) {
            font = o->font;
        }
        if (o < unit || o->kind != Kind::Text) {
            continue;
        }
        ASSERT_LT(next, std::size(page));
        EXPECT_EQ(o->text, page[next].text);
        EXPECT_EQ(font, page[next].font);
        EXPECT_EQ(o->rect, page[next].rect);
        EXPECT_EQ(o->flags, page[next].flags);
        ++next;
    }
    EXPECT_EQ(next, std::size(page));
}

TEST(Painter, StatusAndPositionPages) {
    Settings s = defaults();
    NavState nav = resetNav();
    nav.fixQualityText.assignUtf8("GPS fix");
    nav.fixDimensionText.assignUtf8(" (3D)");
    nav.dataValidText.assignUtf8("Yes");
    nav.satellitesText.assignUtf8("08");
    nav.hdopText.assignUtf8("1.2");
    nav.utcTimeText.assignUtf8("09:47:37");
    nav.localTimeText.assignUtf8("11:47:37");
    nav.latitude.dmsText.assignUtf8("54° 41' 2\"N");
    nav.longitude.dmsText.assignUtf8("25° 17' 9\"E");
    nav.elevationText.assignUtf8("112m");
    DashboardState state;

    s.selectedDisplay = DisplayStatus;
    RecordingCanvas status;
    paintDashboard(status, nav, s, state, true);
    const std::u16string statusText = u"GPS fix (3D)\nData Valid = Yes\nSatellites in View = 08\n"
                                      u"HDOP = 1.2\nUTC = 09:47:37\nLOC = 11:47:37";
    EXPECT_EQ(nav.statusPageText, statusText);
    const Op& last = status.ops().back();
    EXPECT_EQ(last.text, statusText);
    EXPECT_EQ(last.rect, kLayout.statusPageRect);
    EXPECT_EQ(last.flags, TextLeft | TextTop);
    EXPECT_EQ(status.ops()[status.ops().size() - 2].font, FontId::Font18);

    s.selectedDisplay = DisplayPosition;
    RecordingCanvas position;
    paintDashboard(position, nav, s, state, true);
    const std::u16string positionText = u"54° 41' 2\"N\n25° 17' 9\"E\n112m";
    EXPECT_EQ(nav.positionLineText, positionText);
    EXPECT_EQ(position.ops().back().text, positionText);
    EXPECT_EQ(position.ops().back().rect, kLayout.positionPageRect);
    EXPECT_EQ(position.ops().back().flags, TextCenter | TextTop);
    EXPECT_EQ(position.ops()[position.ops().size() - 2].font, FontId::Font30);
}

TEST(Painter, RepaintWithoutTickChangesNoState) {
    Settings s = defaults();
    NavState nav = resetNav();
    nav.gpsConnected = true;
    nav.fixValid = true;
    nav.speed = 60.0;
    nav.elevation = 900.0;
    DashboardState state;
    for (int32_t display : {0, 1, 3, 4, 5, 6}) {
        s.selectedDisplay = display;
        paintDashboard(*std::make_unique<RecordingCanvas>(), nav, s, state, true);
    }
    const DashboardState before = state;
    const Settings settingsBefore = s;
    for (int32_t display : {0, 1, 2, 3, 4, 5, 6}) {
        s.selectedDisplay = display;
        RecordingCanvas c;
        paintDashboard(c, nav, s, state, false);
    }
    EXPECT_EQ(state.gpsIconFrame, before.gpsIconFrame);
    EXPECT_EQ(state.gridScrollOffset, before.gridScrollOffset);
    EXPECT_EQ(std::memcmp(state.speedHistory, before.speedHistory, kHistorySize), 0);
    EXPECT_EQ(std::memcmp(state.limitHistory, before.limitHistory, kHistorySize), 0);
    EXPECT_EQ(std::memcmp(state.elevationHistory, before.elevationHistory, kHistorySize), 0);
    EXPECT_EQ(s.maxElevation, settingsBefore.maxElevation);
}

TEST(Painter, TickedPaintsSampleOnlyWithAFix) {
    Settings s = defaults();
    s.selectedDisplay = DisplayStatus; // histories advance whatever the page
    NavState nav = resetNav();
    nav.speed = 60.0;
    DashboardState state;
    RecordingCanvas c;
    paintDashboard(c, nav, s, state, true);
    EXPECT_EQ(state.speedHistory[0], 0);
    nav.fixValid = true;
    paintDashboard(c, nav, s, state, true);
    EXPECT_EQ(state.speedHistory[0], 50);
    EXPECT_EQ(state.limitHistory[0], 41);
}

} // namespace
} // namespace velocimo
