#include "dashboard/dashboard.h"
#include "tests/support/recordingcanvas.h"

#include <gtest/gtest.h>

#include <algorithm>

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

// ---- compass ----

struct CompassCase {
    double course;
    bool fix;
    Point nLabel;
    Point eLabel;
    Point tip;
    Point base1;
    Point base2;
    Point southTip;
};

class CompassPositions : public ::testing::TestWithParam<CompassCase> {};

TEST_P(CompassPositions, WorkedPositions) {
    const CompassCase& p = GetParam();
    NavState nav;
    resetNavState(nav);
    nav.course = p.course;
    nav.fixValid = p.fix;
    DashboardState state;
    RecordingCanvas c;
    drawCompass(c, nav, state);

    const Op* n = findText(c, u"N");
    const Op* e = findText(c, u"E");
    ASSERT_TRUE(n && e);
    EXPECT_EQ((Point{n->rect.left, n->rect.top}), p.nLabel);
    EXPECT_EQ((Point{n->rect.right, n->rect.bottom}), p.nLabel);
    EXPECT_EQ(n->flags, TextCenter | TextVCenter | TextSingleLine);
    EXPECT_EQ((Point{e->rect.left, e->rect.top}), p.eLabel);

    const auto polygons = ofKind(c, Kind::Polygon);
    ASSERT_EQ(polygons.size(), 2u);
    EXPECT_EQ(polygons[0].points, (std::vector<Point>{p.base1, p.tip, p.base2}));
    EXPECT_EQ(polygons[1].points, (std::vector<Point>{p.base1, p.southTip, p.base2}));
    EXPECT_EQ(ofKind(c, Kind::Line).size(), 24u);
}

INSTANTIATE_TEST_SUITE_P(
    Dashboard, CompassPositions,
    ::testing::Values(
        CompassCase{0.0, true, {82, 97}, {143, 157}, {82, 108}, {74, 157}, {90, 157}, {82, 208}},
        CompassCase{90.0, true, {21, 157}, {82, 97}, {32, 157}, {81, 166}, {82, 150}, {132, 157}},
        // Without a fix the card stands at course 0 whatever the last course was.
        CompassCase{
            90.0, false, {82, 97}, {143, 157}, {82, 108}, {74, 157}, {90, 157}, {82, 208}}));

TEST(Compass, OrderPensAndBrushes) {
    NavState nav;
    resetNavState(nav);
    nav.courseText.assignUtf8("271°");
    nav.compassPointText.assignUtf8("W");
    DashboardState state;
    RecordingCanvas c;
    drawCompass(c, nav, state);
    const auto& ops = c.ops();
    ASSERT_GE(ops.size(), 4u);
    EXPECT_EQ(ops[0].kind, Kind::PenSel);
    EXPECT_EQ(ops[0].pen, state.theme.thinPen);
    EXPECT_EQ(ops[1].brush, state.theme.faceBrush);
    EXPECT_EQ(ops[2].font, FontId::Font12);
    EXPECT_EQ(ops[3].kind, Kind::RoundRect);
    EXPECT_EQ(ops[3].rect, (Rect{31, 107, 133, 209}));
    EXPECT_EQ(ops[3].ellipseWidth, 100);

    // The north tick: label, thick pen, then the line from radius 40 to 50.
    EXPECT_EQ(ops[4].text, u"N");
    EXPECT_EQ(ops[5].pen, state.theme.thickPen);
    EXPECT_EQ(ops[6].points, (std::vector<Point>{{82, 118}, {82, 108}}));
    // 15 degrees: thin pen, no label.
    EXPECT_EQ(ops[7].pen, state.theme.thinPen);
    EXPECT_EQ(ops[8].kind, Kind::Line);

    // Needle: red then blue, with the thin pen of the last tick still selected.
    std::vector<Op> selections;
    for (const Op& o : ops) {
        if (o.kind == Kind::PenSel || o.kind == Kind::BrushSel || o.kind == Kind::Polygon) {
            selections.push_back(o);
        }
    }
    const std::size_t n = selections.size();
    ASSERT_GE(n, 5u);
    EXPECT_EQ(selections[n - 5].pen, state.theme.thinPen);
    EXPECT_EQ(selections[n - 4].brush, kFixedObjects.northBrush);
    EXPECT_EQ(selections[n - 3].kind, Kind::Polygon);
    EXPECT_EQ(selections[n - 2].brush, kFixedObjects.southBrush);
    EXPECT_EQ(selections[n - 1].kind, Kind::Polygon);

    const Op& course = ops[ops.size() - 2];
    const Op& point = ops.back();
    EXPECT_EQ(ops[ops.size() - 3].font, FontId::Font30);
    EXPECT_EQ(course.text, u"271°");
    EXPECT_EQ(course.rect, kLayout.compassCourseRect);
    EXPECT_EQ(course.flags, TextRight | TextVCenter | TextSingleLine);
    EXPECT_EQ(point.text, u"W");
    EXPECT_EQ(point.rect, kLayout.compassPointRect);
}

// ---- graphs ----

std::vector<Op> gridLines(const RecordingCanvas& c) {
    std::vector<Op> lines = ofKind(c, Kind::Line);
    return lines;
}

struct GridCase {
    int32_t offset;
    std::size_t verticals;
    int32_t firstX;
    int32_t lastX;
};

class GraphGrid : public ::testing::TestWithParam<GridCase> {};

TEST_P(GraphGrid, HorizontalAndScrolledVerticalLines) {
    const GridCase& p = GetParam();
    Settings s = defaults();
    s.selectedDisplay = DisplaySpeedGraph;
    NavState nav;
    DashboardState state;
    state.gridScrollOffset = p.offset;
    RecordingCanvas c;
    drawGraph(c, nav, s, state, true); // no fix: the grid keeps its offset
    const auto lines = gridLines(c);
    ASSERT_EQ(lines.size(), 11 + p.verticals);
    for (std::size_t i = 0; i < 11; ++i) {
        const int32_t y = 100 + 12 * static_cast<int32_t>(i);
        EXPECT_EQ(lines[i].points, (std::vector<Point>{{10, y}, {230, y}}));
    }
    EXPECT_EQ(lines[11].points, (std::vector<Point>{{p.firstX, 100}, {p.firstX, 220}}));
    EXPECT_EQ(lines.back().points, (std::vector<Point>{{p.lastX, 100}, {p.lastX, 220}}));
    EXPECT_EQ(c.ops()[0].pen, state.theme.gridPen);
}

INSTANTIATE_TEST_SUITE_P(Dashboard, GraphGrid,
                         ::testing::Values(GridCase{0, 18, 22, 226}, GridCase{10, 19, 12, 228},
                                           GridCase{4, 18, 18, 222}));

TEST(Graph, GridScrollsOnlyWithConnectionFixAndTick) {
    Settings s = defaults();
    s.selectedDisplay = DisplayElevationGraph;
    NavState nav;
    DashboardState state;
    RecordingCanvas c;
    struct Step {
        bool connected;
        bool fix;
        bool advance;
        int32_t offset;
    };
    const Step steps[] = {{false, true, true, 0}, {true, false, true, 0}, {true, true, false, 0},
                          {true, true, true, 2},  {true, true, true, 4},  {true, true, true, 6},
                          {true, true, true, 8},  {true, true, true, 10}, {true, true, true, 0}};
    for (const Step& step : steps) {
        nav.gpsConnected = step.connected;
        nav.fixValid = step.fix;
        drawGraph(c, nav, s, state, step.advance);
        EXPECT_EQ(state.gridScrollOffset, step.offset);
    }
}

TEST(Graph, SpeedTraceAndLimitTrace) {
    Settings s = defaults();
    s.selectedDisplay = DisplaySpeedGraph;
    NavState nav;
    nav.speedText.assignUtf8("60.0");
    DashboardState state;
    state.speedHistory[0] = 50;
    state.speedHistory[1] = 33;
    state.speedHistory[2] = 100;
    state.speedHistory[3] = 0;
    state.speedHistory[109] = 25;
    state.speedHistory[110] = 99; // beyond the box edge: never drawn
    std::fill(std::begin(state.limitHistory), std::end(state.limitHistory), int8_t{83});
    RecordingCanvas c;
    drawGraph(c, nav, s, state, false);

    const auto traces = ofKind(c, Kind::Polyline);
    ASSERT_EQ(traces.size(), 2u);
    const auto& speed = traces[0].points;
    ASSERT_EQ(speed.size(), 110u);
    EXPECT_EQ(speed[0], (Point{230, 160}));
    EXPECT_EQ(speed[1], (Point{228, 180}));
    EXPECT_EQ(speed[2], (Point{226, 100}));
    EXPECT_EQ(speed[3], (Point{224, 220}));
    EXPECT_EQ(speed[109], (Point{12, 190}));
    // 17 * 120 / 100 = 20 (truncated).
    EXPECT_EQ(traces[1].points.at(0), (Point{230, 120}));

    // Pens: series, then the red limit pen over it.
    std::vector<Pen> pens;
    for (const Op& o : c.ops()) {
        if (o.kind == Kind::PenSel) {
            pens.push_back(o.pen);
        }
    }
    EXPECT_EQ(pens, (std::vector<Pen>{state.theme.gridPen, state.theme.seriesPen,
                                      kFixedObjects.limitSeriesPen}));

    const auto texts = ofKind(c, Kind::Text);
    ASSERT_EQ(texts.size(), 3u);
    const Rect r = kLayout.speedGraphRect;
    EXPECT_EQ(texts[0].text, u"120");
    EXPECT_EQ(texts[0].rect, r);
    EXPECT_EQ(texts[0].flags, TextLeft | TextTop | TextSingleLine);
    EXPECT_EQ(texts[1].text, u"0");
    EXPECT_EQ(texts[1].flags, TextBottom | TextSingleLine);
    EXPECT_EQ(texts[2].text, u"60.0");
    EXPECT_EQ(texts[2].flags, TextRight | TextBottom | TextSingleLine);
}

TEST(Graph, ElevationTraceShowsSamplesAboveTheBox) {
    Settings s = defaults();
    s.selectedDisplay = DisplayElevationGraph;
    NavState nav;
    nav.elevationText.assignUtf8("612m");
    DashboardState state;
    state.elevationHistory[0] = 127;
    RecordingCanvas c;
    drawGraph(c, nav, s, state, false);
    const auto traces = ofKind(c, Kind::Polyline);
    ASSERT_EQ(traces.size(), 1u);
    // (100 - 127) * 120 / 100 = -32 (toward zero): above the box, not clipped.
    EXPECT_EQ(traces[0].points[0], (Point{230, 68}));
    EXPECT_EQ(ofKind(c, Kind::Text).at(0).text, u"500");
    EXPECT_EQ(ofKind(c, Kind::Text).at(2).text, u"612m");
}

} // namespace
} // namespace velocimo
