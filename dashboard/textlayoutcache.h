#pragma once

// Laid-out dashboard texts kept from one paint to the next. Shaping a text is most of what
// QPainter::drawText costs; the labels and limits are the same every paint and the readouts
// change at most once a tick, so each (text, font, rectangle, flags, scale) is laid out once
// and drawn from its layout after that.
//
// Lines are placed by the font's Windows cell, as the dashboard art expects, not by Qt's
// line metrics: fonts that ask for typographic metrics (Tahoma does) would otherwise sit a
// few pixels high with lines packed closer. Across a line, glyphs go where drawText puts them.

#include "dashboard/coverage.h"
#include "dashboard/keptpixels.h"
#include "dashboard/layout.h"
#include "dashboard/theme.h"

#include <QGlyphRun>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRawFont>
#include <QRect>
#include <QRgb>
#include <QString>
#include <QTextLayout>
#include <QTransform>

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QFont;
class QPainter;

namespace velocimo {

// A font's line cell in whole pixels as Windows sizes it: from usWinAscent, usWinDescent and
// the external leading GDI derives from hhea.
struct TextCell {
    int ascent = 0;
    int descent = 0;
    int pitch = 0; // baseline to baseline
    friend bool operator==(const TextCell&, const TextCell&) = default;
};

// Read from the font's tables; Qt's own metrics where a table is missing.
TextCell windowsTextCell(const QFont& font);

// The baseline of line `line` of a text in rect. A single line follows the vertical flags;
// lines of a multi-line text start at the top, one pitch apart.
int cellBaseline(const TextCell& cell, const QRect& rect, int qtFlags, int line);

// Draws with QPainter::drawText one line at a time, each line on its cell baseline: for the
// texts a kept layout cannot take, and the canvas without a cache.
void drawTextByCell(QPainter& painter, std::u16string_view text, const QRect& rect, int qtFlags,
                    const TextCell& cell);

// A shape drawn the same way every paint: the limit cell's outline, the compass face, its
// ticks and needle.
struct ShapeKey {
    Rect rect;
    int32_t ellipseWidth = 0;
    int32_t ellipseHeight = 0;
    QRgb pen = 0;
    int penWidth = 0;
    QRgb brush = 0;
    // A line's ends or a triangle's corners; none for a round rectangle.
    std::array<Point, 3> points{};
    int32_t pointCount = 0;
    friend bool operator==(const ShapeKey&, const ShapeKey&) = default;
};

// What decides where a text's glyphs go. A new input to the layout joins the key here and in
// the cache's entries.
struct TextLayoutKey {
    std::u16string_view text;
    FontId font = FontId::Font12;
    Rect rect;
    int qtFlags = 0;              // Qt alignment and text flags
    qreal devicePixelRatio = 1.0; // glyphs are shaped for the device's pixels
};

// A path filled in a colour at a scale, smoothed, as Qt fills big text: premultiplied device
// pixels that, blended over the page, give what filling the path there gives.
struct PathFill {
    QImage coverage;
    QPoint offset; // its top left in device pixels, before the painter's move
    CoverageRuns runs;
    // bounds: the path's (logical). Filled on scratch where given, which keeps its paint
    // engine: making one for each new image costs as much as the fill.
    static PathFill make(const QPainterPath& path, const QRectF& bounds, qreal scaleX, qreal scaleY,
                         QRgb colour, QImage* scratch);
    void blend(const QImage& target, QPoint shift) const {
        runs.blend(target, coverage, offset + shift);
    }
    QRect device() const { return QRect(offset, coverage.size()); }
};

// A big glyph's outline, with its fill (in a colour, at a scale) at the few places it has
// been drawn.
struct GlyphOutline {
    struct Fill {
        QPointF at; // logical
        qreal scaleX = 0;
        qreal scaleY = 0;
        QRgb colour = 0;
        PathFill pixels;
    };
    QPainterPath path;
    QRectF bounds;                                  // the path's
    std::vector<std::shared_ptr<const Fill>> fills; // the most recently made last
    std::shared_ptr<QImage> scratch;                // the composer's, to fill on
    std::shared_ptr<const Fill> fill(QPointF at, qreal scaleX, qreal scaleY, QRgb colour);
};

// The device pixels a small glyph may touch where Qt's glyph cache draws it: the same, moved
// by whole pixels, wherever it lands through the same scale. Measured once for each.
struct GlyphFootprint {
    QRawFont font;
    quint32 index = 0;
    // at: where drawGlyphRun puts the glyph, in device pixels, through device's scale.
    QRect at(QPointF at, const QTransform& device, int renderHints);

private:
    struct Known {
        qreal scaleX = 0;
        qreal scaleY = 0;
        int renderHints = 0;
        QRect pixels; // from the whole pixel the glyph is put at
    };
    std::vector<Known> m_known;
};

// One line of glyphs put together a character at a time, and where it starts.
struct ComposedLine {
    QGlyphRun run;     // positions from the start of the baseline
    qreal advance = 0; // as QTextLine::horizontalAdvance gives it
    qreal ascent = 0;  // as QTextLine::ascent gives it
    qreal glyphY = 0;  // a laid-out glyph's position below the line's top
    QRectF ink;        // the glyphs' boxes, from the start of the baseline
    // Each glyph's (owned by the composer), for small text.
    std::vector<GlyphFootprint*> footprints;
    // For big text, each glyph's outline (owned by the composer, which outlives the line).
    std::vector<GlyphOutline*> outlines;
};

// Shaping a readout costs more than the rest of its paint, and readouts change every tick
// while their characters do not: digits, signs and units. A font's glyphs are taken one
// character at a time, and a text is put together from them only where shaping the whole
// text gives the same glyphs in the same places: every neighbouring pair has been shaped once
// and kept its two glyphs (no ligature), its kerning is taken from there, and each glyph
// comes from the font itself, not a fallback.
class GlyphComposer {
public:
    // False where the text may shape differently (or holds anything but plain Latin text on
    // one line, or ends with a space): lay it out whole then.
    bool compose(const QFont& font, Qt::LayoutDirection direction, std::u16string_view text,
                 bool singleLine, std::vector<ComposedLine>& lines);

private:
    struct Glyph {
        bool usable = false;
        quint32 index = 0;
        int advance = 0; // in 1/64 pixel, as the layout adds them up
        QRectF box;      // from the glyph's own position
        GlyphOutline outline;
        GlyphFootprint footprint;
    };
    bool composeLine(const QFont& font, Qt::LayoutDirection direction, std::u16string_view text,
                     ComposedLine& line);
    Glyph& glyph(const QFont& font, Qt::LayoutDirection direction, char16_t c);
    // The pair's kerning in 1/64 pixel, or kNoPair where it does not keep its two glyphs.
    int kerning(const QFont& font, Qt::LayoutDirection direction, char16_t a, char16_t b);
    int shapePair(const QFont& font, Qt::LayoutDirection direction, char16_t a, char16_t b);
    // The pairs of kReadoutCharacters from one shaping, where the pair at checkKey, shaped
    // alone, agrees.
    void learnReadoutPairs(const QFont& font, Qt::LayoutDirection direction, uint32_t checkKey,
                           int checkKern);
    static constexpr int kNoPair = INT32_MIN;
    // A readout's characters: its digits, signs, a space and metres.
    static constexpr const char16_t* kReadoutCharacters = u"0123456789.:-'\"\u00b0 m";
    std::unordered_map<char16_t, Glyph> m_glyphs;
    std::unordered_map<uint32_t, int> m_pairs;
    QRawFont m_raw; // the font's own; a glyph from another is not usable
    std::shared_ptr<QImage> m_scratch = std::make_shared<QImage>();
    bool m_started = false;
    bool m_outlines = false;
    bool m_readoutTried = false;
    qreal m_ascent = 0;
    qreal m_glyphY = 0;
};

// One text laid out as drawText(rect, flags, text) lays it out across, with each line's
// origin on its cell baseline.
class LaidOutText {
public:
    // False where this layout might differ from drawText's (right-to-left text or painter,
    // length variants, mnemonics, wrapping); the caller then draws with drawTextByCell.
    static bool layoutMatchesDrawText(const QPainter& painter, std::u16string_view text,
                                      int qtFlags);
    LaidOutText(const QFont& font, Qt::LayoutDirection direction, std::u16string_view text,
                const QRect& rect, int qtFlags, const TextCell& cell);
    // Lines put together by a GlyphComposer.
    LaidOutText(std::vector<ComposedLine> lines, const QRect& rect, int qtFlags,
                const TextCell& cell);
    void draw(QPainter& painter, KeptPage* page = nullptr) const;
    // Draws only the glyphs that differ from the text the last paint left at its place; false
    // where it cannot (nothing done): draw it whole then, and tell the page its glyphs.
    bool drawDifferences(QPainter& painter, KeptPage& page) const;
    // Where this painter puts its glyphs; null where draw does not draw them one by one on
    // the painter's image (from Qt's glyph cache, or big glyphs' kept fills).
    std::shared_ptr<const DrawnGlyphs> drawnGlyphs(QPainter& painter) const;
    // What draw may touch (logical), empty for nothing.
    const QRect& inkBounds() const { return m_inkBounds; }

private:
    std::optional<QTextLayout> m_layout; // where not composed
    std::vector<QGlyphRun> m_composed;   // instead of the layout, for composed lines
    // One per line; for composed lines, where each baseline starts.
    std::vector<QPointF> m_origins;
    // Glyphs this big Qt fills as outlines, taking each outline from the font and smoothing
    // it on every draw; kept here instead, filled in the colour and at the scale last drawn.
    // Where composed, each glyph's fill is kept with its outline and blended alone where no
    // two glyphs share a pixel (the whole outline filled gives the same, at a fraction of the
    // cost); the whole outline is put together only where it is filled whole.
    bool m_big = false;
    mutable QPainterPath m_outline;
    const QPainterPath& outline() const;
    mutable QRgb m_fillColour = 0;
    mutable qreal m_fillScaleX = 0; // 0: nothing filled yet
    mutable qreal m_fillScaleY = 0;
    mutable std::optional<PathFill> m_whole;
    struct PlacedGlyph {
        GlyphOutline* outline;
        quint32 index = 0;
        QPointF at; // logical
        std::shared_ptr<const GlyphOutline::Fill> fill;
    };
    mutable std::vector<PlacedGlyph> m_glyphs;
    mutable bool m_glyphsApart = false;
    // Takes the fills for the painter's colour and scale; false where they cannot be blended
    // on its image.
    bool fillsTaken(const QPainter& painter) const;
    // Takes each glyph's fill at this scale and colour; false where they are not to be
    // blended alone.
    bool placeGlyphs(qreal scaleX, qreal scaleY, QRgb colour) const;
    // Glyph blending is costly and the page under most texts is the same every paint.
    QRect m_inkBounds;
    mutable KeptPixels m_kept;
    void drawLines(QPainter& painter) const;
    std::vector<GlyphFootprint*> m_footprints; // composed small glyphs', in the order drawn
    mutable std::shared_ptr<const DrawnGlyphs> m_drawn;
    mutable std::vector<quint32> m_someIndexes; // glyphs drawn again
    mutable std::vector<QPointF> m_somePositions;
    mutable QGlyphRun m_some;
    void placeInk(const QRectF& ink, const QRectF& outlineBounds);
};

// A few dozen recent layouts, the least recently drawn dropped first. The paint draws about
// a dozen texts, most of them the same each time, so the cache stays small and warm.
class TextLayoutCache {
public:
    static constexpr std::size_t kCapacity = 48;

    // The layout for key, made on a miss with the painter's font (the one for key.font, whose
    // cell is given) and direction (left-to-right or automatic: the same for the texts this
    // accepts).
    const LaidOutText& find(const TextLayoutKey& key, const QPainter& painter,
                            const TextCell& cell);
    std::size_t size() const { return m_entries.size(); }
    // Layouts made since the cache was created (misses).
    std::size_t layoutsMade() const { return m_made; }
    // Of those, the ones put together from single glyphs.
    std::size_t layoutsComposed() const { return m_composed; }
    void clear() {
        m_entries.clear();
        m_composers.clear();
        m_shapes.clear();
        m_page = KeptPage();
    }
    KeptPage& page() { return m_page; }
    // The kept pixels of a shape, a few dozen of them, the least recently drawn dropped first.
    KeptPixels& keptShape(const ShapeKey& key);

private:
    struct Shape {
        ShapeKey key;
        KeptPixels kept;
        uint64_t lastUse = 0;
    };
    static constexpr std::size_t kShapeCapacity = 32; // the compass's ticks and needle
    std::vector<Shape> m_shapes;
    struct Entry {
        std::u16string text;
        FontId font = FontId::Font12;
        Rect rect;
        int qtFlags = 0;
        qreal devicePixelRatio = 1.0;
        std::unique_ptr<LaidOutText> laidOut;
        uint64_t lastUse = 0;
    };
    std::vector<Entry> m_entries;
    struct Composer {
        FontId font;
        qreal devicePixelRatio;
        GlyphComposer composer;
    };
    // A deque: layouts point into their composers' glyphs, which must not move as one is added.
    std::deque<Composer> m_composers;
    KeptPage m_page;
    uint64_t m_clock = 0;
    std::size_t m_made = 0;
    std::size_t m_composed = 0;
    GlyphComposer& composer(FontId font, qreal devicePixelRatio);
};

} // namespace velocimo
