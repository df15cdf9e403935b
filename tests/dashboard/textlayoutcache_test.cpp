// Texts drawn from kept layouts must land on exactly the pixels drawText gives them when it
// draws them line by line on the Windows cell's baselines (the canvas without a cache).

#include "dashboard/qtcanvas.h"
#include "resources/art/artnames.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QRawFont>

#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace velocimo {
namespace {

QImage blank(qreal ratio = 1.0) {
    QImage img(qRound(kDashboardWidth * ratio), qRound(kDashboardHeight * ratio),
               QImage::Format_RGB32);
    img.setDevicePixelRatio(ratio);
    img.fill(QColor(189, 206, 231));
    return img;
}

struct TextCase {
    const char16_t* text;
    FontId font;
    Rect rect;
    uint32_t flags;
};

// Odd rectangle sizes put centred texts on half pixels; the strings cover line breaks,
// spaces at the ends, characters drawText replaces and the empty string.
const TextCase kTexts[] = {
    {u"57.4", FontId::Font80, {11, 96, 230, 172}, TextRight | TextBottom | TextSingleLine},
    {u"km/h", FontId::Font18, {150, 96, 230, 120}, TextRight | TextBottom | TextSingleLine},
    {u"TOP: 88.1\nAVG: 41.7", FontId::Font18, {11, 176, 230, 226}, TextLeft | TextTop},
    {u"12.3 km\n4567.8 km", FontId::Font18, {11, 176, 230, 226}, TextRight | TextTop},
    {u"N 51\u00b032'10.2\"\nW 0\u00b007'39.9\"\n312m",
     FontId::Font30,
     {11, 97, 229, 225},
     TextCenter | TextTop},
    {u"120", FontId::Font30, {7, 231, 73, 261}, TextCenter | TextVCenter | TextSingleLine},
    {u"5", FontId::Font30, {80, 230, 147, 263}, TextCenter | TextVCenter | TextSingleLine},
    {u"233\u00b0", FontId::Font18, {150, 62, 231, 91}, TextRight | TextVCenter | TextSingleLine},
    {u"SW", FontId::Font12, {100, 120, 101, 121}, TextCenter | TextVCenter | TextSingleLine},
    {u"  leading and trailing  ",
     FontId::Font18,
     {20, 40, 201, 67},
     TextCenter | TextVCenter | TextSingleLine},
    {u"two\nlines, single", FontId::Font18, {20, 40, 200, 67}, TextLeft | TextSingleLine},
    {u"tab\there\rcr", FontId::Font12, {20, 40, 200, 67}, TextRight | TextTop},
    {u"lines end \n with spaces ", FontId::Font18, {20, 40, 199, 131}, TextRight | TextTop},
    {u"\n", FontId::Font18, {20, 40, 199, 131}, TextLeft | TextTop},
    {u"", FontId::Font18, {20, 40, 199, 131}, TextLeft | TextTop},
    {u"8888888888888888888888",
     FontId::Font18,
     {40, 100, 200, 160},
     TextCenter | TextVCenter | TextSingleLine},
};

void drawCase(QImage& img, const TextCase& t, TextLayoutCache* cache) {
    QtCanvas canvas(img, cache);
    canvas.setTextColour({8, 8, 8});
    canvas.setFont(t.font);
    canvas.drawText(t.text, t.rect, t.flags);
}

class KeptLayout : public ::testing::TestWithParam<TextCase> {};

TEST_P(KeptLayout, DrawsTheSamePixelsAsDrawTextLineByLine) {
    const TextCase& t = GetParam();
    QImage direct = blank();
    drawCase(direct, t, nullptr);
    TextLayoutCache cache;
    for (int pass = 0; pass < 2; ++pass) { // made, then taken from the cache
        QImage kept = blank();
        drawCase(kept, t, &cache);
        EXPECT_TRUE(kept == direct) << "pass " << pass;
    }
    EXPECT_EQ(cache.layoutsMade(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Dashboard, KeptLayout, ::testing::ValuesIn(kTexts));

// Readouts are put together from single glyphs and their pairs' kerning: the same pixels as
// drawText at every scale, half-pixel centring and kerned pairs included; empty lines, lines
// ending in a space and line breaks in a single line are shaped whole.
struct ComposedCase {
    const char16_t* text;
    FontId font;
    uint32_t flags;
    double scale;
    bool composed;
};

const ComposedCase kComposedTexts[] = {
    {u"58.4", FontId::Font80, TextRight | TextBottom | TextSingleLine, 1.0, true},
    {u"123.9", FontId::Font80, TextRight | TextBottom | TextSingleLine, 1.694, true},
    {u"N 51\u00b032'10.2\"", FontId::Font18, TextCenter | TextVCenter | TextSingleLine, 1.0, true},
    {u"4568.3 km", FontId::Font18, TextCenter | TextVCenter | TextSingleLine, 1.694, true},
    {u"233\u00b0", FontId::Font30, TextRight | TextVCenter | TextSingleLine, 2.0, true},
    {u"12:34:56", FontId::Font12, TextCenter | TextTop | TextSingleLine, 1.694, true},
    // Pairs learnt all together from one shaping
    {u"-9 8m7'6\"5\u00b04:3.2-1 0 m", FontId::Font30, TextLeft | TextVCenter | TextSingleLine, 1.0,
     true},
    {u"57.4", FontId::Font80, TextRight | TextBottom | TextSingleLine, 1.0, true}, // 7. kerns
    {u"AVAVA", FontId::Font30, TextCenter | TextVCenter | TextSingleLine, 1.694, true},
    {u"To 7.7 km", FontId::Font18, TextRight | TextVCenter | TextSingleLine, 2.0, true},
    {u"ffi fl", FontId::Font30, TextLeft | TextVCenter | TextSingleLine, 1.0, false}, // ligatures
    {u"TOP: 88.1\nAVG: 41.6", FontId::Font18, TextLeft | TextTop, 1.0, true},
    {u"12.3 km\n4568.3 km", FontId::Font18, TextRight | TextTop, 1.694, true},
    {u"12.3 km\n\n4568.3 km", FontId::Font18, TextRight | TextTop, 1.0, false},
    {u"12.3 km\n4568.3 km", FontId::Font18, TextRight | TextTop | TextSingleLine, 1.0, false},
    {u"12.3 km ", FontId::Font18, TextCenter | TextVCenter | TextSingleLine, 1.0, false},
};

class ComposedText : public ::testing::TestWithParam<ComposedCase> {};

TEST_P(ComposedText, DrawsWhatDrawTextDraws) {
    const ComposedCase& c = GetParam();
    const TextCase t{c.text, c.font, {21, 96, 230, 171}, c.flags};
    QImage direct = blank(c.scale);
    drawCase(direct, t, nullptr);
    TextLayoutCache cache;
    QImage kept = blank(c.scale);
    drawCase(kept, t, &cache);
    EXPECT_TRUE(kept == direct);
    EXPECT_EQ(cache.layoutsComposed(), c.composed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Dashboard, ComposedText, ::testing::ValuesIn(kComposedTexts));

TEST(TextLayoutCache, KeyedByTextFontRectangleAndFlags) {
    QImage img = blank();
    TextLayoutCache cache;
    const Rect r{10, 10, 100, 40};
    const TextCase variants[] = {
        {u"42", FontId::Font18, r, TextLeft},  {u"43", FontId::Font18, r, TextLeft},
        {u"42", FontId::Font30, r, TextLeft},  {u"42", FontId::Font18, {10, 10, 101, 40}, TextLeft},
        {u"42", FontId::Font18, r, TextRight},
    };
    for (const TextCase& v : variants) {
        drawCase(img, v, &cache);
    }
    EXPECT_EQ(cache.layoutsMade(), 5u);
    for (const TextCase& v : variants) {
        drawCase(img, v, &cache);
    }
    EXPECT_EQ(cache.layoutsMade(), 5u);
    EXPECT_EQ(cache.size(), 5u);
}

// A layout shaped for one scale is not drawn at another.
// The big digits go through their kept outline and fill as well.
TEST(TextLayoutCache, KeyedByDevicePixelRatio) {
    for (const TextCase& t : {kTexts[2], kTexts[0]}) {
        TextLayoutCache cache;
        QImage one = blank();
        drawCase(one, t, &cache);
        for (qreal ratio : {2.0, 1.5}) {
            QImage direct = blank(ratio);
            drawCase(direct, t, nullptr);
            QImage kept = blank(ratio);
            drawCase(kept, t, &cache);
            EXPECT_TRUE(kept == direct) << ratio;
        }
        EXPECT_EQ(cache.layoutsMade(), 3u);
    }
}

// A speed readout through a drive: its glyphs' fills, kept from one readout to the next and
// blended one by one, give what drawText gives the whole text, in both colours and at whole
// and other scales.
TEST(TextLayoutCache, BigDigitsOfEveryReadoutAsDrawTextDrawsThem) {
    const Rect rect = kTexts[0].rect;
    const uint32_t flags = kTexts[0].flags;
    for (qreal ratio : {1.0, 2.0, 1.694}) {
        TextLayoutCache cache;
        for (int tenths = 0; tenths < 2000; tenths += 37) {
            const std::u16string text =
                QString::asprintf("%d.%d", tenths / 10, tenths % 10).toStdU16String();
            for (Colour colour : {Colour{8, 8, 8}, Colour{247, 247, 247}}) {
                QImage direct = blank(ratio);
                QImage kept = blank(ratio);
                for (auto [img, c] :
                     {std::pair{&direct, (TextLayoutCache*)nullptr}, std::pair{&kept, &cache}}) {
                    QtCanvas canvas(*img, c);
                    canvas.setTextColour(colour);
                    canvas.setFont(FontId::Font80);
                    canvas.drawText(text, rect, flags);
                }
                ASSERT_TRUE(kept == direct)
                    << QString::fromStdU16String(text).toStdString() << " at " << ratio;
            }
        }
    }
}

// The big digits' bounds hold their ink and stay near their cell: the page goes back under
// them every paint.
TEST(TextLayoutCache, BigDigitsBoundsHugTheirInk) {
    const TextCase& t = kTexts[0];
    const QImage page = blank();
    QImage img = page;
    drawCase(img, t, nullptr);
    QRect ink;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            ink |= img.pixel(x, y) != page.pixel(x, y) ? QRect(x, y, 1, 1) : QRect();
        }
    }
    QPainter painter(&img);
    painter.setFont(dashboardFont(t.font));
    TextLayoutCache cache;
    const int flags = Qt::TextDontClip | Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine;
    const QRect bounds =
        cache.find({t.text, t.font, t.rect, flags, 1.0}, painter, dashboardTextCell(t.font))
            .inkBounds();
    EXPECT_TRUE(bounds.contains(ink));
    const QRect cell(t.rect.left, t.rect.top, t.rect.right - t.rect.left,
                     t.rect.bottom - t.rect.top);
    EXPECT_TRUE(cell.adjusted(-8, -8, 8, 8).contains(bounds));
}

// Kept pixels (the big digits' fill, a text's last result) follow the text colour (night
// mode) and the page under the text.
TEST(TextLayoutCache, KeptPixelsFollowTheColourAndTheBackground) {
    for (const TextCase& t : {kTexts[0], kTexts[4]}) {
        TextLayoutCache cache;
        for (const Colour colour : {Colour{0, 0, 0}, Colour{255, 255, 255}, Colour{0, 0, 0}}) {
            for (const QColor page : {QColor(247, 247, 247), QColor(8, 8, 8), QColor(8, 8, 8)}) {
                QImage direct = blank();
                direct.fill(page);
                QImage kept = direct;
                kept.setPixelColor(t.rect.left + 20, t.rect.top + 10, Qt::red); // under the ink
                direct.setPixelColor(t.rect.left + 20, t.rect.top + 10, Qt::red);
                for (QImage* img : {&direct, &kept}) {
                    QtCanvas canvas(*img, img == &kept ? &cache : nullptr);
                    canvas.setTextColour(colour);
                    canvas.setFont(t.font);
                    canvas.drawText(t.text, t.rect, t.flags);
                }
                EXPECT_TRUE(kept == direct) << int(colour.red) << " on " << page.red();
            }
        }
        EXPECT_EQ(cache.layoutsMade(), 1u);
    }
}

// GDI rounds the ascent and descent each on its own: Tahoma's cells at the sizes it is drawn.
TEST(TextCell, WindowsCellOfTahoma) {
    if (!QFile::exists("/usr/share/wine/fonts/tahoma.ttf")) {
        GTEST_SKIP() << "no Tahoma";
    }
    struct CellCase {
        int pixelSize;
        bool bold;
        TextCell cell;
    };
    const CellCase cases[] = {{11, false, {11, 2, 13}},
                              {13, false, {13, 3, 16}},
                              {18, false, {18, 4, 22}},
                              {30, false, {30, 6, 36}},
                              {80, true, {80, 17, 97}}};
    for (const CellCase& c : cases) {
        QFont font = dashboardFont(FontId::Font12);
        font.setPixelSize(c.pixelSize);
        font.setBold(c.bold);
        const TextCell cell = windowsTextCell(font);
        EXPECT_EQ(cell.ascent, c.cell.ascent) << c.pixelSize;
        EXPECT_EQ(cell.descent, c.cell.descent) << c.pixelSize;
        EXPECT_EQ(cell.pitch, c.cell.pitch) << c.pixelSize;
    }
    EXPECT_EQ(dashboardTextCell(FontId::Font80), (TextCell{80, 17, 97}));
}

// A kept round rectangle is the one drawn, over whatever lies under it.
TEST(TextLayoutCache, KeptShapeIsTheOneDrawn) {
    TextLayoutCache cache;
    for (const QColor page : {QColor(Qt::white), QColor(Qt::white), QColor(8, 8, 8)}) {
        QImage direct = blank();
        direct.fill(page);
        QImage kept = direct;
        for (QImage* img : {&direct, &kept}) {
            QtCanvas canvas(*img, img == &kept ? &cache : nullptr);
            canvas.setBrush({{255, 0, 0}});
            canvas.drawRoundRect({91, 231, 150, 261}, 10, 10);
        }
        EXPECT_TRUE(kept == direct) << page.red();
    }
}

TEST(TextLayoutCache, StaysBoundedAndKeepsWhatIsDrawnEveryPaint) {
    QImage img = blank();
    TextLayoutCache cache;
    const TextCase label{u"km/h", FontId::Font18, {150, 96, 230, 120}, TextRight};
    // A readout that changes every paint next to a label that never does.
    for (int i = 0; i < 200; ++i) {
        drawCase(img, label, &cache);
        const std::u16string speed = u"1" + std::u16string(static_cast<std::size_t>(i % 7), u'0') +
                                     static_cast<char16_t>(u'0' + i % 10);
        drawCase(img, {speed.c_str(), FontId::Font80, {11, 96, 230, 172}, TextRight}, &cache);
    }
    EXPECT_LE(cache.size(), TextLayoutCache::kCapacity);
    const std::size_t made = cache.layoutsMade();
    drawCase(img, label, &cache);
    EXPECT_EQ(cache.layoutsMade(), made);
}

// A small glyph's footprint holds every pixel drawing it changes, wherever it lands: the
// whole-pixel part of its place only moves it, the fraction across (Qt's subpixel positions)
// and down (rounded) are in it.
TEST(GlyphFootprint, HoldsEveryPixelItsGlyphChanges) {
    for (const FontId font : {FontId::Font12, FontId::Font18, FontId::Font30}) {
        const QRawFont raw = QRawFont::fromFont(dashboardFont(font));
        for (const char16_t c : std::u16string_view(u"0123456789.:-'\"\u00b0 mkAVWgjy/%")) {
            GlyphFootprint footprint;
            footprint.font = raw;
            footprint.index = raw.glyphIndexesForString(QString(QChar(c))).value(0);
            for (const qreal ratio : {1.0, 2.0, 1.694}) {
                for (int step = 0; step < 16; ++step) {
                    const QPointF origin(40 + step * 0.37, 60 + step * 0.29);
                    const QImage page = blank(ratio);
                    QImage img = page;
                    QPainter painter(&img);
                    painter.setPen(QColor(8, 8, 8));
                    painter.translate(origin);
                    QGlyphRun run;
                    run.setRawFont(raw);
                    run.setGlyphIndexes({footprint.index});
                    run.setPositions({QPointF(0.5, 0)});
                    painter.drawGlyphRun(QPointF(0, 0), run);
                    const QTransform& device = painter.deviceTransform();
                    const QRect box = footprint.at(device.map(QPointF(0.5, 0)), device,
                                                   int(painter.renderHints()));
                    painter.end();
                    const QRect near = QRect(box.center(), QSize(1, 1))
                                           .adjusted(-48, -48, 48, 48)
                                           .intersected(img.rect());
                    for (int y = near.top(); y <= near.bottom(); ++y) {
                        for (int x = near.left(); x <= near.right(); ++x) {
                            ASSERT_TRUE(img.pixel(x, y) == page.pixel(x, y) || box.contains(x, y))
                                << QString(QChar(c)).toStdString() << " at " << ratio << " step "
                                << step << ": " << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}

// A readout that changes a few digits at a time, over the picture, next to another: the same
// pixels as drawn whole every paint, in every colour and at every scale. Only the glyphs that
// change are drawn again: a mark left in one that stays is still there.
TEST(KeptPage, RedrawsOnlyTheGlyphsThatChange) {
    const char16_t* const readouts[] = {u"12.3 km", u"12.4 km", u"12.4 km", u"12.9 km",
                                        u"13.0 km", u"9.9 km",  u"10.0 km", u"-",
                                        u"10.1 km", u"",        u"10.1 km", u"11.1 km"};
    const TextCase neighbour{u"N 51\u00b032'10.2\"",
                             FontId::Font18,
                             {30, 78, 200, 96},
                             TextRight | TextBottom | TextSingleLine};
    // Small glyphs from Qt's cache, and the big digits' fills (blended one by one at whole
    // scales).
    struct Kind {
        FontId font;
        Rect cell;
        std::size_t cut; // characters dropped from each readout's end
    };
    for (const Kind kind : {Kind{FontId::Font18, {30, 150, 200, 175}, 0},
                            Kind{FontId::Font80, {11, 96, 230, 172}, 3}}) {
        const auto readout = [&](const char16_t* text) {
            const std::u16string_view t(text);
            return std::u16string(t.substr(0, t.size() > kind.cut ? t.size() - kind.cut : 1));
        };
        for (const qreal ratio : {1.0, 2.0, 1.694}) {
            for (const uint32_t flags : {uint32_t(TextLeft | TextVCenter | TextSingleLine),
                                         uint32_t(TextRight | TextTop | TextSingleLine)}) {
                QImage kept = blank(ratio);
                TextLayoutCache cache;
                for (std::size_t i = 0; i < std::size(readouts); ++i) {
                    const Colour colour = i == 3 ? Colour{247, 247, 247} : Colour{8, 8, 8};
                    QImage direct = blank(ratio);
                    for (QImage* img : {&direct, &kept}) {
                        QtCanvas canvas(*img, img == &kept ? &cache : nullptr);
                        canvas.drawPicture(BitmapDay);
                        canvas.setTextColour({8, 8, 8});
                        canvas.setFont(neighbour.font);
                        canvas.drawText(neighbour.text, neighbour.rect, neighbour.flags);
                        canvas.setTextColour(colour);
                        canvas.setFont(kind.font);
                        canvas.drawText(readout(readouts[i]), kind.cell, flags);
                    }
                    ASSERT_TRUE(kept == direct)
                        << QString::fromStdU16String(readout(readouts[i])).toStdString() << " at "
                        << ratio;
                }
            }
        }
        // "12.3" to "12.4": the "1" is left as it is.
        QImage img = blank();
        TextLayoutCache cache;
        QPoint one;
        for (const char16_t* text : {u"12.3 km", u"12.3 km", u"12.4 km"}) {
            {
                QtCanvas canvas(img, &cache);
                canvas.drawPicture(BitmapDay);
                canvas.setTextColour({8, 8, 8});
                canvas.setFont(kind.font);
                canvas.drawText(readout(text), kind.cell, TextLeft | TextVCenter | TextSingleLine);
            }
            for (int x = kind.cell.left; x < kind.cell.left + 30 && one.isNull(); ++x) {
                for (int y = kind.cell.top; y < kind.cell.bottom && one.isNull(); ++y) {
                    one = qGray(img.pixel(x, y)) < 64 ? QPoint(x, y) : QPoint();
                }
            }
            ASSERT_FALSE(one.isNull());
            if (text[3] == u'3') {
                // As if the "1" had been drawn so; written in place, as a paint writes.
                auto* pixel = const_cast<uchar*>(img.constScanLine(one.y())) + one.x() * 4;
                *reinterpret_cast<QRgb*>(pixel) = qRgb(255, 0, 0);
            }
        }
        EXPECT_EQ(img.pixel(one), qRgb(255, 0, 0)) << int(kind.font);
    }
}

// Paints over the picture, each a few drawings in order, kept and drawn whole: the same
// pixels after each, whatever the last paint left (repeated, overlapping, missing drawings,
// one drawn twice over itself, the big digits over another text).
TEST(KeptPage, PaintsOverTheLastPaintAsOverThePicture) {
    const char* const paints[] = {"0124", "0124", "0314", "0112", "0112", "012", "12", "4",
                                  "24",   "0124", "0124", "01",   "10",   "05",  "50"};
    for (const double scale : {1.0, 2.0}) {
        QImage kept = blank(scale);
        TextLayoutCache cache;
        for (const char* paint : paints) {
            QImage direct = blank(scale);
            for (QImage* img : {&direct, &kept}) {
                QtCanvas canvas(*img, img == &kept ? &cache : nullptr);
                canvas.drawPicture(BitmapDay);
                canvas.setTextColour({8, 8, 8});
                canvas.setBrush({{255, 0, 0}});
                for (const char* d = paint; *d; ++d) {
                    const TextCase& t = *d == '1' ? kTexts[6] : *d == '2' ? kTexts[1] : kTexts[0];
                    canvas.setFont(t.font);
                    if (*d == '0') {
                        canvas.drawRoundRect({70, 228, 150, 261}, 10, 10);
                    } else if (*d == '3') {
                        canvas.drawLine({60, 240}, {160, 240});
                    } else if (*d == '5') {
                        canvas.drawLine({60, 236}, {160, 250});
                    } else {
                        canvas.drawText(t.text, t.rect, t.flags);
                    }
                }
            }
            EXPECT_TRUE(kept == direct) << paint << " at " << scale;
        }
    }
}

// Every page at several scales (1.694: 800 x 480 full screen), painted by the renderer with
// kept layouts and pixels and line by line with drawText: the pictures are the same, painted
// over the page left by the last paint, unchanged or after a new readout or the night scheme.
struct PageCase {
    int32_t display;
    double scale;
};

class PageWithKeptLayouts : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageWithKeptLayouts, IsThePageDrawTextPaintsLineByLine) {
    const PageCase page = GetParam();
    NavState nav;
    resetNavState(nav);
    nav.gpsConnected = true;
    nav.fixValid = true;
    nav.speedUnitText.assignUtf8("km/h");
    nav.topSpeedText.assignUtf8("88.1");
    nav.averageSpeedText.assignUtf8("41.7");
    nav.tripDistanceText.assignUtf8("12.3 km");
    nav.totalDistanceText.assignUtf8("4567.8 km");
    nav.courseText.assignUtf8("233\u00b0");
    nav.compassPointText.assignUtf8("SW");
    nav.elevation = 312.0;
    nav.latitude.dmsText.assignUtf8("N 51\u00b032'10.2\"");
    nav.longitude.dmsText.assignUtf8("W 0\u00b007'39.9\"");
    Settings settings;
    settings.speedLimits[0] = 50;
    settings.speedLimits[1] = 80;
    settings.speedLimits[2] = 100;
    settings.maxSpeed = 120;
    settings.maxElevation = 500;
    settings.selectedDisplay = page.display;
    DashboardRenderer renderer;
    renderer.setScale(page.scale);
    struct Step {
        const char* speed;
        const char* elevation;
        double course;
        int32_t night;
        bool fix = true;
        bool otherPage = false;
    };
    // Unchanged paints leave the last one's pixels in place; each change must put the page
    // right under it: a text gone, one that moves, the fix icon, another page and back.
    const Step steps[] = {{"57.4", "312m", 233, 0},    {"57.4", "312m", 233, 0},
                          {"61.2", "318m", 240, 0},    {"61.2", "318m", 240, 1},
                          {"61.2", "318m", 240, 1},    {"57.4", "312m", 233, 0},
                          {"", "312m", 233, 0, false}, {"7.4", "312m", 233, 0},
                          {"7.4", "312m", 233, 0},     {"7.4", "312m", 233, 0, true, true},
                          {"57.4", "312m", 233, 0},    {"57.4", "312m", 233, 0}};
    const int32_t other = page.display == DisplayCompass ? DisplayStatus : DisplayCompass;
    for (const Step& step : steps) {
        // Readouts whose last digits move each step, now and then one wider.
        const int k = int(&step - steps);
        nav.latitude.dmsText.assignUtf8(
            QString::asprintf("N 51\u00b032'%d.%d\"", 8 + k / 3, (k * 7) % 10).toStdString());
        nav.averageSpeedText.assignUtf8(QString::asprintf("4%d.%d", k % 3, k % 10).toStdString());
        nav.tripDistanceText.assignUtf8(
            QString::asprintf("%d.%d km", 9 + k / 4, k % 10).toStdString());
        nav.courseText.assignUtf8(QString::asprintf("23%d\u00b0", k % 4).toStdString());
        nav.speed = 57.4;
        nav.speedText.assignUtf8(step.speed);
        nav.elevationText.assignUtf8(step.elevation);
        nav.course = step.course;
        nav.fixValid = step.fix;
        settings.nightMode = step.night;
        settings.selectedDisplay = step.otherPage ? other : page.display;
        DashboardState state;
        applyNightMode(state, settings);
        for (std::size_t i = 0; i < kHistorySize; ++i) {
            nav.speed = 40.0 + static_cast<double>(i % 37);
            sampleHistories(state, nav, settings);
        }
        QImage direct(renderer.backBuffer().size(), QImage::Format_RGB32);
        direct.setDevicePixelRatio(page.scale);
        direct.fill(Qt::white); // as the renderer's back buffer starts
        {
            QtCanvas canvas(direct);
            NavState n = nav;
            DashboardState s = state;
            paintDashboard(canvas, n, settings, s, false);
        }
        renderer.render(nav, settings, state, false); // the last paint: state may move on
        EXPECT_TRUE(renderer.backBuffer() == direct)
            << "display " << page.display << " scale " << page.scale << " speed " << step.speed
            << " night " << step.night << " step " << (&step - steps);
    }
}

INSTANTIATE_TEST_SUITE_P(Dashboard, PageWithKeptLayouts, ::testing::ValuesIn([] {
                             std::vector<PageCase> cases;
                             for (const double scale : {1.0, 2.0, 1.694}) {
                                 for (const int32_t display :
                                      {DisplaySpeed, DisplaySpeedGraph, DisplayCompass,
                                       DisplayElevationGraph, DisplayStatus, DisplayPosition}) {
                                     cases.push_back({display, scale});
                                 }
                             }
                             return cases;
                         }()));

} // namespace
} // namespace velocimo
