#include "dashboard/textlayoutcache.h"

#include "dashboard/devicepixels.h"

#include <QByteArray>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPaintDevice>
#include <QPainter>
#include <QRawFont>
#include <QTextLine>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velocimo {

namespace {

// A big-endian field of a font table; -1 past its end.
int tableValue(const QByteArray& table, int offset, bool isSigned) {
    if (offset < 0 || offset + 2 > table.size()) {
        return -1;
    }
    const auto hi = static_cast<uint8_t>(table[offset]);
    const auto lo = static_cast<uint8_t>(table[offset + 1]);
    const auto raw = static_cast<uint16_t>((hi << 8) | lo);
    return isSigned ? static_cast<int16_t>(raw) : raw;
}

int scaled(int pixelSize, int units, int unitsPerEm) {
    // GDI rounds each metric to the nearest pixel.
    return static_cast<int>(std::lround(static_cast<double>(pixelSize) * units / unitsPerEm));
}

// From this size up Qt draws glyphs as filled outlines rather than from its glyph cache.
constexpr int kOutlinePixelSize = 64;

int floorHalf(int n) {
    return n >= 0 ? n / 2 : -((1 - n) / 2);
}

} // namespace

TextCell windowsTextCell(const QFont& font) {
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray os2 = raw.fontTable("OS/2");
    const QByteArray hhea = raw.fontTable("hhea");
    const QByteArray head = raw.fontTable("head");
    const int unitsPerEm = tableValue(head, 18, false);
    if (os2.size() >= 78 && hhea.size() >= 10 && unitsPerEm > 0) {
        const int px = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
        const int winAscent = tableValue(os2, 74, false);
        const int winDescent = tableValue(os2, 76, false);
        const int hheaHeight = tableValue(hhea, 4, true) - tableValue(hhea, 6, true);
        const int gap = tableValue(hhea, 8, true) - ((winAscent + winDescent) - hheaHeight);
        TextCell cell;
        cell.ascent = scaled(px, winAscent, unitsPerEm);
        cell.descent = scaled(px, winDescent, unitsPerEm);
        cell.pitch = cell.ascent + cell.descent + std::max(0, scaled(px, gap, unitsPerEm));
        return cell;
    }
    const QFontMetrics metrics(font);
    return {metrics.ascent(), metrics.descent(),
            metrics.ascent() + metrics.descent() + std::max(0, metrics.leading())};
}

int cellBaseline(const TextCell& cell, const QRect& rect, int qtFlags, int line) {
    if (!(qtFlags & Qt::TextSingleLine)) {
        return rect.y() + cell.ascent + line * cell.pitch;
    }
    if (qtFlags & Qt::AlignBottom) {
        return rect.y() + rect.height() - cell.descent;
    }
    if (qtFlags & Qt::AlignVCenter) {
        return rect.y() + floorHalf(rect.height() - (cell.ascent + cell.descent)) + cell.ascent;
    }
    return rect.y() + cell.ascent;
}

void drawTextByCell(QPainter& painter, std::u16string_view text, const QRect& rect, int qtFlags,
                    const TextCell& cell) {
    const bool singleLine = (qtFlags & Qt::TextSingleLine) != 0;
    // Each line drawn alone from the top of a box that puts its baseline on the cell's.
    const int lineFlags = (qtFlags & ~(Qt::AlignBottom | Qt::AlignVCenter)) | Qt::AlignTop |
                          Qt::TextSingleLine | Qt::TextDontClip;
    int line = 0;
    for (std::size_t start = 0; start <= text.size(); ++line) {
        std::size_t end = singleLine ? text.size() : text.find(u'\n', start);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        QString s = QString::fromUtf16(text.data() + start, static_cast<qsizetype>(end - start));
        start = end + 1;
        if (s.isEmpty()) {
            continue;
        }
        int flags = lineFlags;
        if (start <= text.size()) {
            // Kept with its line break, which changes how trailing spaces count in the width.
            s += u'\n';
            flags &= ~Qt::TextSingleLine;
        }
        // The line's ascent as drawText measures it, fallback fonts included.
        QTextLayout measure(s, painter.font());
        measure.beginLayout();
        QTextLine measured = measure.createLine();
        measured.setLineWidth(0x01000000);
        measure.endLayout();
        const qreal top = cellBaseline(cell, rect, qtFlags, line) - measured.ascent();
        painter.drawText(QRectF(rect.x(), top, rect.width(), measured.height()), flags, s);
    }
}

// Across a line the layout below follows QPainter::drawText(QRect, flags, QString) step for
// step (Qt 6): the same line breaks and alignment offsets, so every glyph lands where
// drawText puts it on the same baseline. textlayoutcache_test compares it with
// drawTextByCell pixel for pixel.

bool LaidOutText::layoutMatchesDrawText(const QPainter& painter, std::u16string_view text,
                                        int qtFlags) {
    constexpr int unsupported = Qt::TextShowMnemonic | Qt::TextHideMnemonic | Qt::TextWordWrap |
                                Qt::TextWrapAnywhere | Qt::TextExpandTabs |
                                Qt::TextJustificationForced | Qt::AlignJustify |
                                Qt::TextForceRightToLeft;
    // Qt::TextSingleLine shares its bit with Qt::AlignBaseline, which drawText ignores.
    if ((qtFlags & unsupported) != 0 || !(qtFlags & Qt::TextDontClip) ||
        painter.layoutDirection() == Qt::RightToLeft) {
        return false;
    }
    // U+009C separates length variants, which drawText picks from by fit. From U+0590 on
    // lie the right-to-left scripts, which an automatic direction would follow.
    return std::none_of(text.begin(), text.end(),
                        [](char16_t c) { return c == u'\x9c' || c >= u'\u0590'; });
}

namespace {

// Laid out as drawText lays out a line: no wrapping, aligned by the caller.
void layOut(QTextLayout& layout, const QFont& font, Qt::LayoutDirection direction,
            const QString& text) {
    layout.setText(text);
    layout.setFont(font);
    layout.setCacheEnabled(true);
    QTextOption option;
    option.setTextDirection(direction);
    option.setAlignment(Qt::AlignLeft); // the offsets below do the aligning
    layout.setTextOption(option);
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(0x01000000);
        line.setPosition(QPointF(0.0, 0.0)); // each line's origin carries its baseline
    }
    layout.endLayout();
}

// The glyphs of a one-line layout in a single run; false if it has more lines or runs.
bool singleRun(const QTextLayout& layout, QGlyphRun& run) {
    if (layout.lineCount() != 1) {
        return false;
    }
    const QList<QGlyphRun> runs = layout.lineAt(0).glyphRuns();
    if (runs.size() != 1) {
        return false;
    }
    run = runs.front();
    return true;
}

qreal alignmentOffset(const QRectF& r, qreal advance, int qtFlags) {
    if (qtFlags & Qt::AlignRight) {
        return r.width() - advance;
    }
    if (qtFlags & Qt::AlignHCenter) {
        return (r.width() - advance) / 2;
    }
    return 0;
}

} // namespace

GlyphComposer::Glyph& GlyphComposer::glyph(const QFont& font, Qt::LayoutDirection direction,
                                           char16_t c) {
    auto [it, added] = m_glyphs.try_emplace(c);
    Glyph& g = it->second;
    if (!added) {
        return g;
    }
    if (!m_started) {
        m_started = true;
        m_raw = QRawFont::fromFont(font);
        m_outlines = QFontInfo(font).pixelSize() >= kOutlinePixelSize;
        QTextLayout zero;
        layOut(zero, font, direction, QStringLiteral("0"));
        QGlyphRun run;
        if (!singleRun(zero, run) || run.rawFont() != m_raw || run.positions().size() != 1) {
            m_raw = QRawFont(); // nothing is composed in this font
            return g;
        }
        m_ascent = zero.lineAt(0).ascent();
        m_glyphY = run.positions().front().y();
    }
    if (!m_raw.isValid()) {
        return g;
    }
    // A space's own advance is not part of a line it ends: measured in front of a digit.
    const bool space = c == u' ';
    QTextLayout layout;
    layOut(layout, font, direction, space ? QStringLiteral(" 0") : QString(QChar(c)));
    QGlyphRun run;
    if (!singleRun(layout, run) || run.rawFont() != m_raw ||
        run.glyphIndexes().size() != (space ? 2 : 1) ||
        run.positions().front() != QPointF(0, m_glyphY) || layout.lineAt(0).ascent() != m_ascent) {
        return g;
    }
    g.index = run.glyphIndexes().front();
    const qreal advance = space ? run.positions()[1].x() : layout.lineAt(0).horizontalAdvance();
    g.advance = qRound(advance * 64); // whole 1/64 pixels: exact
    g.box = m_raw.boundingRect(g.index);
    g.footprint.font = m_raw;
    g.footprint.index = g.index;
    if (m_outlines) {
        g.outline.path = m_raw.pathForGlyph(g.index);
        g.outline.bounds = g.outline.path.boundingRect();
        g.outline.scratch = m_scratch;
    }
    g.usable = true;
    return g;
}

int GlyphComposer::kerning(const QFont& font, Qt::LayoutDirection direction, char16_t a,
                           char16_t b) {
    const uint32_t key = (uint32_t(a) << 16) | b;
    if (const auto it = m_pairs.find(key); it != m_pairs.end()) {
        return it->second;
    }
    const int kern = shapePair(font, direction, a, b);
    constexpr std::u16string_view kReadout = kReadoutCharacters;
    if (!m_readoutTried && kReadout.find(a) != kReadout.npos && kReadout.find(b) != kReadout.npos) {
        // A readout's pairs, one at a time, cost a shaping each through its first minute.
        m_readoutTried = true;
        learnReadoutPairs(font, direction, key, kern);
    }
    m_pairs[key] = kern;
    return kern;
}

int GlyphComposer::shapePair(const QFont& font, Qt::LayoutDirection direction, char16_t a,
                             char16_t b) {
    const Glyph& first = glyph(font, direction, a);
    const Glyph& second = glyph(font, direction, b);
    if (!first.usable || !second.usable) {
        return kNoPair;
    }
    QTextLayout layout;
    const QChar pair[2] = {QChar(a), QChar(b)};
    layOut(layout, font, direction, QString(pair, 2));
    QGlyphRun run;
    if (!singleRun(layout, run) || run.rawFont() != m_raw ||
        layout.lineAt(0).ascent() != m_ascent) {
        return kNoPair;
    }
    const QList<QPointF> positions = run.positions();
    if (run.glyphIndexes() != QList<quint32>{first.index, second.index} ||
        positions.front() != QPointF(0, m_glyphY) || positions.back().y() != m_glyphY) {
        return kNoPair;
    }
    return qRound(positions.back().x() * 64) - first.advance;
}

void GlyphComposer::learnReadoutPairs(const QFont& font, Qt::LayoutDirection direction,
                                      uint32_t checkKey, int checkKern) {
    // Every ordered pair once, in one text (a de Bruijn sequence), shaped once.
    constexpr std::u16string_view kReadout = kReadoutCharacters;
    const int k = static_cast<int>(kReadout.size());
    std::vector<const Glyph*> glyphs;
    for (const char16_t c : kReadout) {
        const Glyph& g = glyph(font, direction, c);
        if (!g.usable) {
            return;
        }
        glyphs.push_back(&g);
    }
    std::vector<int> order;
    std::vector<int> digit(3, 0);
    const auto next = [&](auto& self, int t, int p) -> void {
        if (t > 2) {
            if (2 % p == 0) {
                order.insert(order.end(), digit.begin() + 1, digit.begin() + p + 1);
            }
            return;
        }
        digit[t] = digit[t - p];
        self(self, t + 1, p);
        for (int j = digit[t - p] + 1; j < k; ++j) {
            digit[t] = j;
            self(self, t + 1, t);
        }
    };
    next(next, 1, 1);
    order.push_back(order.front()); // the pair that wraps round
    QString text;
    for (const int i : order) {
        text.append(QChar(kReadout[std::size_t(i)]));
    }
    QTextLayout layout;
    layOut(layout, font, direction, text);
    QGlyphRun run;
    if (!singleRun(layout, run) || run.rawFont() != m_raw ||
        layout.lineAt(0).ascent() != m_ascent) {
        return;
    }
    const QList<quint32> indexes = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    if (indexes.size() != qsizetype(order.size()) || positions.front() != QPointF(0, m_glyphY)) {
        return;
    }
    std::vector<std::pair<uint32_t, int>> learnt;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto at = qsizetype(i);
        if (indexes[at] != glyphs[std::size_t(order[i])]->index || positions[at].y() != m_glyphY) {
            return;
        }
        if (i > 0) {
            const Glyph& first = *glyphs[std::size_t(order[i - 1])];
            learnt.emplace_back((uint32_t(kReadout[std::size_t(order[i - 1])]) << 16) |
                                    kReadout[std::size_t(order[i])],
                                qRound((positions[at].x() - positions[at - 1].x()) * 64) -
                                    first.advance);
        }
    }
    // Shaped among others a pair must keep what it has alone, checked on the one shaped alone.
    const auto check = std::find_if(learnt.begin(), learnt.end(),
                                    [&](const auto& pair) { return pair.first == checkKey; });
    if (check == learnt.end() || check->second != checkKern) {
        return;
    }
    m_pairs.insert(learnt.begin(), learnt.end());
}

bool GlyphComposer::compose(const QFont& font, Qt::LayoutDirection direction,
                            std::u16string_view text, bool singleLine,
                            std::vector<ComposedLine>& lines) {
    // A trailing space does not count in a line's advance, nor does a line break; controls,
    // empty lines and anything past Latin are shaped whole.
    lines.clear();
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = singleLine ? text.size() : text.find(u'\n', start);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        if (!composeLine(font, direction, text.substr(start, end - start), lines.emplace_back())) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool GlyphComposer::composeLine(const QFont& font, Qt::LayoutDirection direction,
                                std::u16string_view text, ComposedLine& line) {
    if (text.empty() || text.back() == u' ' ||
        std::any_of(text.begin(), text.end(), [](char16_t c) {
            return c < u' ' || (c >= u'\x7f' && c < u'\xa0') || c > u'\u024f';
        })) {
        return false;
    }
    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(static_cast<qsizetype>(text.size()));
    positions.reserve(static_cast<qsizetype>(text.size()));
    line.footprints.reserve(text.size());
    if (m_outlines) {
        line.outlines.reserve(text.size());
    }
    int x = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        Glyph& g = glyph(font, direction, text[i]);
        if (!g.usable) {
            return false;
        }
        if (i > 0) {
            const int kern = kerning(font, direction, text[i - 1], text[i]);
            if (kern == kNoPair) {
                return false;
            }
            x += kern;
        }
        indexes.push_back(g.index);
        positions.push_back(QPointF(x / 64.0, 0));
        line.ink |= g.box.translated(positions.back());
        line.footprints.push_back(&g.footprint);
        if (m_outlines) {
            line.outlines.push_back(&g.outline);
        }
        x += g.advance;
    }
    line.advance = x / 64.0;
    line.ascent = m_ascent;
    line.glyphY = m_glyphY;
    line.run.setRawFont(m_raw);
    line.run.setGlyphIndexes(indexes);
    line.run.setPositions(positions);
    return true;
}

LaidOutText::LaidOutText(const QFont& font, Qt::LayoutDirection direction, std::u16string_view text,
                         const QRect& rect, int qtFlags, const TextCell& cell) {
    const bool singleLine = (qtFlags & Qt::TextSingleLine) != 0;
    QString s = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar& c : s) {
        if (c == u'\r' || c == u'\t' || (singleLine && c == u'\n')) {
            c = u' ';
        } else if (c == u'\n') {
            c = QChar::LineSeparator;
        }
    }
    if (s.isEmpty()) {
        return; // drawText prints nothing
    }
    layOut(m_layout.emplace(), font, direction, s);

    const QRectF r(rect);
    m_origins.reserve(static_cast<std::size_t>(m_layout->lineCount()));
    for (int i = 0; i < m_layout->lineCount(); ++i) {
        const QTextLine line = m_layout->lineAt(i);
        m_origins.emplace_back(r.x() + alignmentOffset(r, line.horizontalAdvance(), qtFlags),
                               cellBaseline(cell, rect, qtFlags, i) - line.ascent());
    }
    QRectF ink;
    for (int i = 0; i < m_layout->lineCount(); ++i) {
        for (const QGlyphRun& run : m_layout->lineAt(i).glyphRuns()) {
            ink |= run.boundingRect().translated(m_origins[static_cast<std::size_t>(i)]);
        }
    }
    if (QFontInfo(font).pixelSize() >= kOutlinePixelSize) {
        m_outline.setFillRule(Qt::WindingFill);
        for (int i = 0; i < m_layout->lineCount(); ++i) {
            const QPointF origin = m_origins[static_cast<std::size_t>(i)];
            for (const QGlyphRun& run : m_layout->lineAt(i).glyphRuns()) {
                const QRawFont raw = run.rawFont();
                const QList<quint32> glyphs = run.glyphIndexes();
                const QList<QPointF> positions = run.positions();
                for (qsizetype g = 0; g < glyphs.size(); ++g) {
                    m_outline.addPath(
                        raw.pathForGlyph(glyphs[g]).translated(origin + positions[g]));
                }
            }
        }
    }
    m_big = !m_outline.isEmpty();
    placeInk(ink, m_big ? m_outline.boundingRect() : QRectF());
}

LaidOutText::LaidOutText(std::vector<ComposedLine> lines, const QRect& rect, int qtFlags,
                         const TextCell& cell) {
    const QRectF r(rect);
    QRectF ink;
    QRectF outlineBounds;
    m_outline.setFillRule(Qt::WindingFill);
    m_origins.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ComposedLine& line = lines[i];
        const QPointF origin(r.x() + alignmentOffset(r, line.advance, qtFlags),
                             cellBaseline(cell, rect, qtFlags, static_cast<int>(i)) - line.ascent);
        // Where QTextLine::draw starts the line's glyphs: the origin taken to whole 1/64
        // pixels as it takes it, then down to the baseline.
        const QPointF& start =
            m_origins.emplace_back(std::trunc(origin.x() * 64) / 64, origin.y() + line.ascent);
        const QList<QPointF> positions = line.run.positions();
        const QList<quint32> indexes = line.run.glyphIndexes();
        for (std::size_t g = 0; g < line.outlines.size(); ++g) {
            const QPointF at(positions[qsizetype(g)].x(), line.glyphY);
            m_glyphs.push_back({line.outlines[g], indexes[qsizetype(g)], origin + at, nullptr});
            if (!line.outlines[g]->path.isEmpty()) {
                outlineBounds |= line.outlines[g]->bounds.translated(origin + at);
            }
        }
        ink |= line.ink.translated(start);
        m_footprints.insert(m_footprints.end(), line.footprints.begin(), line.footprints.end());
        m_composed.push_back(std::move(line.run));
    }
    // The whole outline is put together only where it is filled whole.
    m_big = !outlineBounds.isNull();
    placeInk(ink, outlineBounds);
}

const QPainterPath& LaidOutText::outline() const {
    if (m_outline.isEmpty()) {
        for (const PlacedGlyph& g : m_glyphs) {
            m_outline.addPath(g.outline->path.translated(g.at));
        }
        m_outline.setFillRule(Qt::WindingFill);
    }
    return m_outline;
}

void LaidOutText::placeInk(const QRectF& ink, const QRectF& outlineBounds) {
    if (m_big) {
        // Only the outline is drawn.
        m_inkBounds = outlineBounds.toAlignedRect().adjusted(-2, -2, 2, 2);
    } else if (!ink.isNull()) {
        // Room for hinting and smoothing past the glyphs' own box.
        m_inkBounds = ink.toAlignedRect().adjusted(-4, -4, 4, 4);
    }
}

void LaidOutText::draw(QPainter& painter, KeptPage* page) const {
    if (m_big) {
        if (fillsTaken(painter)) {
            const QImage* target = directImage(painter);
            const QPoint shift = deviceShift(painter);
            if (m_glyphsApart) {
                for (const PlacedGlyph& g : m_glyphs) {
                    g.fill->pixels.blend(*target, shift);
                }
                return;
            }
            if (!m_whole) {
                // Filled through the same scale as the painter would, moved by whole pixels.
                m_whole = PathFill::make(outline(), outline().boundingRect(), m_fillScaleX,
                                         m_fillScaleY, m_fillColour, nullptr);
            }
            m_whole->blend(*target, shift);
            return;
        }
        // As Qt fills big text: smoothed, in the pen's colour.
        const bool smooth = painter.testRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.fillPath(outline(), painter.pen().brush());
        painter.setRenderHint(QPainter::Antialiasing, smooth);
        return;
    }
    m_kept.paint(painter, m_inkBounds, painter.pen().color().rgba(), page,
                 [&] { drawLines(painter); });
}

bool LaidOutText::fillsTaken(const QPainter& painter) const {
    const QColor colour = painter.pen().color();
    const QImage* target = directImage(painter);
    if (!target || colour.alpha() != 255 ||
        (target->format() != QImage::Format_RGB32 &&
         target->format() != QImage::Format_ARGB32_Premultiplied)) {
        return false;
    }
    const QTransform& device = painter.deviceTransform();
    const qreal sx = device.m11();
    const qreal sy = device.m22();
    if (m_fillColour != colour.rgba() || m_fillScaleX != sx || m_fillScaleY != sy) {
        m_fillColour = colour.rgba();
        m_fillScaleX = sx;
        m_fillScaleY = sy;
        m_whole.reset();
        m_glyphsApart = placeGlyphs(sx, sy, colour.rgba());
    }
    return true;
}

bool LaidOutText::placeGlyphs(qreal scaleX, qreal scaleY, QRgb colour) const {
    // Scaled by a whole number, a glyph's points are exact: alone they land on the whole
    // text's points moved by whole pixels, and fill the same. At other scales a fused
    // multiply-add could round them apart.
    if (m_glyphs.empty() || scaleX != std::floor(scaleX) || scaleY != std::floor(scaleY)) {
        return false;
    }
    for (std::size_t i = 0; i < m_glyphs.size(); ++i) {
        PlacedGlyph& g = m_glyphs[i];
        g.fill = g.outline->fill(g.at, scaleX, scaleY, colour);
        for (std::size_t j = 0; j < i; ++j) {
            if (g.fill->pixels.device().intersects(m_glyphs[j].fill->pixels.device())) {
                return false;
            }
        }
    }
    return true;
}

std::shared_ptr<const GlyphOutline::Fill> GlyphOutline::fill(QPointF at, qreal scaleX, qreal scaleY,
                                                             QRgb colour) {
    for (const auto& f : fills) {
        if (f->at == at && f->scaleX == scaleX && f->scaleY == scaleY && f->colour == colour) {
            return f;
        }
    }
    // A readout's glyph stands at a few places, in two colours, at a scale or two.
    constexpr std::size_t kFills = 32;
    if (fills.size() == kFills) {
        fills.erase(fills.begin());
    }
    // As a whole text's outline is filled: the glyph moved there first, so that its curves
    // are smoothed over the very same numbers.
    auto made =
        std::make_shared<Fill>(Fill{at, scaleX, scaleY, colour,
                                    PathFill::make(path.translated(at), bounds.translated(at),
                                                   scaleX, scaleY, colour, scratch.get())});
    fills.push_back(made);
    return made;
}

PathFill PathFill::make(const QPainterPath& path, const QRectF& bounds, qreal scaleX, qreal scaleY,
                        QRgb colour, QImage* scratch) {
    const QTransform scale = QTransform::fromScale(scaleX, scaleY);
    const QRect box = scale.mapRect(bounds).toAlignedRect().adjusted(-1, -1, 1, 1);
    QImage own;
    QImage& on = scratch ? *scratch : own;
    if (on.width() < box.width() || on.height() < box.height()) {
        on = QImage(std::max(on.width(), box.width()), std::max(on.height(), box.height()),
                    QImage::Format_ARGB32_Premultiplied);
    }
    for (int y = 0; y < box.height(); ++y) {
        std::memset(on.scanLine(y), 0, static_cast<std::size_t>(box.width()) * 4);
    }
    {
        QPainter painter(&on);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setTransform(scale * QTransform::fromTranslate(-box.x(), -box.y()));
        painter.fillPath(path, QColor::fromRgba(colour));
    }
    PathFill made;
    made.coverage = scratch ? on.copy(0, 0, box.width(), box.height()) : std::move(own);
    made.offset = box.topLeft();
    made.runs.find(made.coverage);
    return made;
}

QRect GlyphFootprint::at(QPointF at, const QTransform& device, int renderHints) {
    // As drawGlyphRun takes a position: cut to 1/64 pixels (QFixed::fromReal), then down the
    // page to the nearest whole pixel. Across, Qt draws the glyph moved by a fraction of a
    // pixel, which moves its pixels right by at most one: it lies within what it covers drawn
    // at either end of the pixel.
    const int x = static_cast<int>(at.x() * 64);
    const int y = static_cast<int>(at.y() * 64);
    const QPoint whole(int(std::floor(x / 64.0)), int(std::floor((y + 32) / 64.0)));
    for (const Known& k : m_known) {
        if (k.scaleX == device.m11() && k.scaleY == device.m22() && k.renderHints == renderHints) {
            return k.pixels.translated(whole);
        }
    }
    // Drawn alone in white on black: any coverage at all lightens a pixel.
    const int room = int(std::ceil(font.pixelSize() * std::max(device.m11(), device.m22()))) + 4;
    QImage scratch(room * 3, room * 3, QImage::Format_RGB32);
    QRect pixels;
    for (const int fraction : {0, 63}) {
        scratch.fill(Qt::black);
        {
            QPainter painter(&scratch);
            painter.setRenderHints(QPainter::RenderHints(renderHints));
            painter.setPen(Qt::white);
            painter.setTransform(
                QTransform(device.m11(), 0, 0, device.m22(), room + fraction / 64.0, room));
            QGlyphRun run;
            run.setRawFont(font);
            run.setGlyphIndexes({index});
            run.setPositions({QPointF(0, 0)});
            painter.drawGlyphRun(QPointF(0, 0), run);
        }
        const int side = room * 3;
        for (int row = 0; row < side; ++row) {
            const auto* line = reinterpret_cast<const QRgb*>(scratch.constScanLine(row));
            for (int col = 0; col < side; ++col) {
                if ((line[col] & 0xffffffu) != 0) {
                    pixels |= QRect(col - room, row - room, 1, 1);
                }
            }
        }
    }
    m_known.push_back({device.m11(), device.m22(), renderHints, pixels});
    return pixels.translated(whole);
}

std::shared_ptr<const DrawnGlyphs> LaidOutText::drawnGlyphs(QPainter& painter) const {
    if (m_composed.empty() || !directImage(painter)) {
        return nullptr;
    }
    const QRawFont& font = m_composed.front().rawFont();
    const QTransform& device = painter.deviceTransform();
    const QRgb colour = painter.pen().color().rgba();
    const int hints = int(painter.renderHints());
    // Big glyphs are blended one by one from their fills where none shares a pixel. Small
    // ones come from Qt's glyph cache, which puts a glyph down the same way alone and among
    // others; bigger glyphs it fills as outlines.
    static const qreal cachedLimit = [] {
        const int size = qEnvironmentVariableIntValue("QT_MAX_CACHED_GLYPH_SIZE");
        return qreal(size > 0 ? size : kOutlinePixelSize);
    }();
    const bool oneByOne =
        m_big ? fillsTaken(painter) && m_glyphsApart
              : font.pixelSize() * std::sqrt(std::abs(device.determinant())) <= cachedLimit &&
                    (hints & QPainter::VerticalSubpixelPositioning) == 0;
    if (!oneByOne) {
        return nullptr;
    }
    if (m_drawn && m_drawn->device == device && m_drawn->colour == colour &&
        m_drawn->hints == hints) {
        return m_drawn;
    }
    auto made = std::make_shared<DrawnGlyphs>();
    made->font = font;
    made->device = device;
    made->colour = colour;
    made->hints = hints;
    if (m_big) {
        const QPoint shift = deviceShift(painter);
        for (const PlacedGlyph& g : m_glyphs) {
            made->glyphs.push_back(
                {g.index, QPointF(), g.at, g.fill->pixels.device().translated(shift)});
        }
    } else {
        made->glyphs.reserve(m_footprints.size());
        std::size_t k = 0;
        const QTransform world = painter.worldTransform();
        for (std::size_t i = 0; i < m_composed.size(); ++i) {
            // Where drawLines puts them, through the very same transform.
            painter.translate(m_origins[i]);
            const QTransform& line = painter.deviceTransform();
            const QList<quint32> indexes = m_composed[i].glyphIndexes();
            const QList<QPointF> positions = m_composed[i].positions();
            for (qsizetype g = 0; g < indexes.size(); ++g) {
                made->glyphs.push_back(
                    {indexes[g], m_origins[i], positions[g],
                     m_footprints[k++]->at(line.map(positions[g]), line, hints)});
            }
            painter.setWorldTransform(world);
        }
    }
    m_drawn = std::move(made);
    return m_drawn;
}

bool LaidOutText::drawDifferences(QPainter& painter, KeptPage& page) const {
    const std::vector<char>* differ =
        page.redrawDifferences(painter, m_inkBounds, drawnGlyphs(painter));
    if (!differ) {
        return false;
    }
    const std::vector<char>& redraw = *differ;
    if (m_big) {
        const QPoint shift = deviceShift(painter);
        for (std::size_t k = 0; k < m_glyphs.size(); ++k) {
            if (redraw[k]) {
                m_glyphs[k].fill->pixels.blend(*directImage(painter), shift);
            }
        }
        return true;
    }
    // The glyphs to draw again, each line's in its order, from the same positions.
    const QTransform world = painter.worldTransform();
    std::size_t k = 0;
    for (std::size_t i = 0; i < m_composed.size(); ++i) {
        const QList<quint32> indexes = m_composed[i].glyphIndexes();
        const QList<QPointF> positions = m_composed[i].positions();
        m_someIndexes.clear();
        m_somePositions.clear();
        for (qsizetype g = 0; g < indexes.size(); ++g, ++k) {
            if (redraw[k]) {
                m_someIndexes.push_back(indexes[g]);
                m_somePositions.push_back(positions[g]);
            }
        }
        if (m_someIndexes.empty()) {
            continue;
        }
        m_some.setRawFont(m_composed[i].rawFont());
        m_some.setRawData(m_someIndexes.data(), m_somePositions.data(), int(m_someIndexes.size()));
        painter.translate(m_origins[i]);
        painter.drawGlyphRun(QPointF(0, 0), m_some);
        painter.setWorldTransform(world);
    }
    return true;
}

void LaidOutText::drawLines(QPainter& painter) const {
    if (!m_composed.empty()) {
        // Moved there first, as drawTextItem moves, so each glyph's device position is
        // rounded exactly as it is for a laid-out line.
        const QTransform world = painter.worldTransform();
        for (std::size_t i = 0; i < m_composed.size(); ++i) {
            painter.translate(m_origins[i]);
            painter.drawGlyphRun(QPointF(0, 0), m_composed[i]);
            painter.setWorldTransform(world);
        }
        return;
    }
    for (std::size_t i = 0; i < m_origins.size(); ++i) {
        m_layout->lineAt(static_cast<int>(i)).draw(&painter, m_origins[i]);
    }
}

KeptPixels& TextLayoutCache::keptShape(const ShapeKey& key) {
    ++m_clock;
    for (Shape& s : m_shapes) {
        if (s.key == key) {
            s.lastUse = m_clock;
            return s.kept;
        }
    }
    Shape* slot = nullptr;
    if (m_shapes.size() < kShapeCapacity) {
        slot = &m_shapes.emplace_back();
    } else {
        slot = &*std::min_element(
            m_shapes.begin(), m_shapes.end(),
            [](const Shape& a, const Shape& b) { return a.lastUse < b.lastUse; });
        slot->kept = KeptPixels();
    }
    slot->key = key;
    slot->lastUse = m_clock;
    return slot->kept;
}

const LaidOutText& TextLayoutCache::find(const TextLayoutKey& key, const QPainter& painter,
                                         const TextCell& cell) {
    ++m_clock;
    for (Entry& e : m_entries) {
        if (e.qtFlags == key.qtFlags && e.font == key.font && e.rect == key.rect &&
            e.devicePixelRatio == key.devicePixelRatio && e.text == key.text) {
            e.lastUse = m_clock;
            return *e.laidOut;
        }
    }
    Entry* slot = nullptr;
    if (m_entries.size() < kCapacity) {
        slot = &m_entries.emplace_back();
    } else {
        slot = &*std::min_element(
            m_entries.begin(), m_entries.end(),
            [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; });
    }
    slot->text.assign(key.text);
    slot->font = key.font;
    slot->rect = key.rect;
    slot->qtFlags = key.qtFlags;
    slot->devicePixelRatio = key.devicePixelRatio;
    const QRect rect(key.rect.left, key.rect.top, key.rect.right - key.rect.left,
                     key.rect.bottom - key.rect.top);
    std::vector<ComposedLine> lines;
    if (composer(key.font, key.devicePixelRatio)
            .compose(painter.font(), painter.layoutDirection(), key.text,
                     (key.qtFlags & Qt::TextSingleLine) != 0, lines)) {
        slot->laidOut = std::make_unique<LaidOutText>(std::move(lines), rect, key.qtFlags, cell);
        ++m_composed;
    } else {
        slot->laidOut = std::make_unique<LaidOutText>(painter.font(), painter.layoutDirection(),
                                                      key.text, rect, key.qtFlags, cell);
    }
    slot->lastUse = m_clock;
    ++m_made;
    return *slot->laidOut;
}

} // namespace velocimo

namespace velocimo {

GlyphComposer& TextLayoutCache::composer(FontId font, qreal devicePixelRatio) {
    for (Composer& c : m_composers) {
        if (c.font == font && c.devicePixelRatio == devicePixelRatio) {
            return c.composer;
        }
    }
    return m_composers.emplace_back(Composer{font, devicePixelRatio, {}}).composer;
}

} // namespace velocimo
