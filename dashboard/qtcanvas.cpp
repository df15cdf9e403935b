#include "dashboard/qtcanvas.h"

#include "dashboard/devicepixels.h"
#include "dashboard/viewport.h"
#include "resources/art/artnames.h"
#include "resources/art/artpaint.h"

#include <QFile>
#include <QFontDatabase>
#include <QPaintDevice>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace velocimo {

namespace {

QString tahomaFamily() {
    // Registered once per process; an empty name means the system sans font.
    static const QString family = [] {
        QString name;
        for (const char* path :
             {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            if (!QFile::exists(QString::fromLatin1(path))) {
                continue;
            }
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(path));
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (id >= 0 && !families.isEmpty() && name.isEmpty()) {
                name = families.first();
            }
        }
        return name;
    }();
    return family;
}

QFont makeFont(FontId id) {
    const FontSpec size = fontSpec(id);
    QFont font;
    const QString family = tahomaFamily();
    if (family.isEmpty()) {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setStyleHint(QFont::SansSerif);
    } else {
        font = QFont(family);
    }
    font.setPixelSize(size.pixelHeight);
    font.setWeight(size.weight >= 700 ? QFont::Bold : QFont::Normal);
    return font;
}

QColor toQColor(Colour c) {
    return QColor(c.red, c.green, c.blue);
}

int toQtFlags(uint32_t flags) {
    int qt = Qt::TextDontClip;
    if (flags & TextCenter) {
        qt |= Qt::AlignHCenter;
    } else if (flags & TextRight) {
        qt |= Qt::AlignRight;
    } else {
        qt |= Qt::AlignLeft;
    }
    if (flags & TextSingleLine) {
        qt |= Qt::TextSingleLine;
        if (flags & TextVCenter) {
            qt |= Qt::AlignVCenter;
        } else if (flags & TextBottom) {
            qt |= Qt::AlignBottom;
        } else {
            qt |= Qt::AlignTop;
        }
    } else {
        qt |= Qt::AlignTop;
    }
    return qt;
}

QPointF toQPoint(Point p) {
    return QPointF(p.x, p.y);
}

QRectF pointBounds(const Point* points, std::size_t count) {
    if (count == 0) {
        return {};
    }
    int32_t left = points[0].x, right = left, top = points[0].y, bottom = top;
    for (std::size_t i = 1; i < count; ++i) {
        left = std::min(left, points[i].x);
        right = std::max(right, points[i].x);
        top = std::min(top, points[i].y);
        bottom = std::max(bottom, points[i].y);
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

// A round-capped line as one filled outline: the shape the stroker makes of it, for a fraction
// of its cost once the pen is wider than a device pixel.
void fillCapsule(QPainter& painter, QPointF from, QPointF to, qreal width) {
    constexpr int kSteps = 8; // per half circle
    const qreal radius = width / 2;
    const QPointF d = to - from;
    const qreal angle = std::atan2(d.y(), d.x());
    QPointF outline[2 * (kSteps + 1)];
    for (int i = 0; i <= kSteps; ++i) {
        const qreal turn = M_PI * i / kSteps;
        const qreal back = angle + M_PI / 2 + turn;
        const qreal ahead = angle - M_PI / 2 + turn;
        outline[i] = from + radius * QPointF(std::cos(back), std::sin(back));
        outline[kSteps + 1 + i] = to + radius * QPointF(std::cos(ahead), std::sin(ahead));
    }
    painter.drawPolygon(outline, 2 * (kSteps + 1));
}

// A convex polygon filled and outlined with a round-joined pen, as two fills: the polygon grown
// by half the pen (round at the corners) in the pen's colour, then shrunk by it in the brush.
// False, and nothing drawn, for a polygon that is not convex.
bool fillConvexOutlined(QPainter& painter, const QPolygonF& polygon, qreal width, const QColor& pen,
                        const QBrush& brush) {
    constexpr int kMaxCorners = 16;
    constexpr int kSteps = 6; // per corner
    const qsizetype n = polygon.size();
    if (n < 3 || n > kMaxCorners) {
        return false;
    }
    QPointF centre;
    for (const QPointF& p : polygon) {
        centre += p / static_cast<qreal>(n);
    }
    QPointF normals[kMaxCorners]; // outward, of the edge from corner i to i + 1
    qreal turn = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QPointF a = polygon[i];
        const QPointF b = polygon[(i + 1) % n];
        const QPointF c = polygon[(i + 2) % n];
        const qreal cross = (b.x() - a.x()) * (c.y() - b.y()) - (b.y() - a.y()) * (c.x() - b.x());
        if (std::abs(cross) < 1e-9 || cross * turn < 0) {
            return false;
        }
        turn = cross;
        const qreal length = std::hypot(b.x() - a.x(), b.y() - a.y());
        QPointF normal((b.y() - a.y()) / length, (a.x() - b.x()) / length);
        if (QPointF::dotProduct(normal, (a + b) / 2 - centre) < 0) {
            normal = -normal;
        }
        normals[i] = normal;
    }
    const qreal radius = width / 2;
    QPointF grown[kMaxCorners * (kSteps + 1)];
    QPointF shrunk[kMaxCorners];
    for (qsizetype i = 0; i < n; ++i) {
        const QPointF in = normals[(i + n - 1) % n];
        const QPointF out = normals[i];
        const qreal from = std::atan2(in.y(), in.x());
        qreal sweep = std::atan2(out.y(), out.x()) - from;
        sweep = std::remainder(sweep, 2 * M_PI);
        for (int k = 0; k <= kSteps; ++k) {
            const qreal a = from + sweep * k / kSteps;
            grown[i * (kSteps + 1) + k] = polygon[i] + radius * QPointF(std::cos(a), std::sin(a));
        }
        // Where the two edges moved inwards meet.
        const qreal cosine = QPointF::dotProduct(in, out);
        shrunk[i] = polygon[i] - radius * (in + out) / (1 + cosine);
    }
    painter.setBrush(pen);
    painter.drawPolygon(grown, static_cast<int>(n * (kSteps + 1)));
    painter.setBrush(brush);
    painter.drawPolygon(shrunk, static_cast<int>(n));
    return true;
}

// A round rectangle as the painter would draw it at scale, kept as a picture: the dashboard
// draws the same few (the selected limit, the compass face) every paint.
struct DrawnShape {
    QRectF rect;
    qreal radiusX;
    qreal radiusY;
    QPen pen;
    QBrush brush;
    double scale;
    QPoint at; // device pixels
    QImage image;
};

const DrawnShape& roundRectAt(const QRectF& rect, qreal radiusX, qreal radiusY, const QPen& pen,
                              const QBrush& brush, double scale) {
    constexpr std::size_t kKept = 8;
    static std::vector<DrawnShape> kept;
    for (const DrawnShape& d : kept) {
        if (d.rect == rect && d.radiusX == radiusX && d.radiusY == radiusY && d.pen == pen &&
            d.brush == brush && d.scale == scale) {
            return d;
        }
    }
    if (kept.size() == kKept) {
        kept.erase(kept.begin());
    }
    const qreal margin = pen.widthF() / 2 + 1;
    const QRectF device(QPointF((rect.left() - margin) * scale, (rect.top() - margin) * scale),
                        QPointF((rect.right() + margin) * scale, (rect.bottom() + margin) * scale));
    const QRect covered = device.toAlignedRect();
    QImage image(covered.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.translate(-covered.topLeft());
        painter.scale(scale, scale);
        painter.setPen(pen);
        painter.setBrush(brush);
        painter.drawRoundedRect(rect, radiusX, radiusY);
    }
    image.setDevicePixelRatio(scale);
    kept.push_back({rect, radiusX, radiusY, pen, brush, scale, covered.topLeft(), image});
    return kept.back();
}

} // namespace

QFont dashboardFont(FontId id) {
    static const std::array<QFont, 4> fonts = {makeFont(FontId::Font12), makeFont(FontId::Font18),
                                               makeFont(FontId::Font30), makeFont(FontId::Font80)};
    return fonts[static_cast<std::size_t>(id)];
}

TextCell dashboardTextCell(FontId id) {
    static const std::array<TextCell, 4> cells = {windowsTextCell(dashboardFont(FontId::Font12)),
                                                  windowsTextCell(dashboardFont(FontId::Font18)),
                                                  windowsTextCell(dashboardFont(FontId::Font30)),
                                                  windowsTextCell(dashboardFont(FontId::Font80))};
    return cells[static_cast<std::size_t>(id)];
}

QImage dashboardArt(int32_t resource) {
    // Decoded once; the pictures are converted to the back buffer's format up front.
    static std::map<int32_t, QImage> cache;
    const auto found = cache.find(resource);
    if (found != cache.end()) {
        return found->second;
    }
    QImage image;
    if (const char* path = artResourcePath(resource)) {
        image.load(QString::fromLatin1(path));
        if (!image.isNull()) {
            image =
                image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
        }
    }
    cache.emplace(resource, image);
    return image;
}

QImage dashboardArt(int32_t resource, double scale) {
    if (scale == 1.0) {
        return dashboardArt(resource);
    }
    // Drawn once per scale; a window being dragged larger passes through many, so only the
    // latest few are kept.
    struct Drawn {
        int32_t resource;
        double scale;
        QImage image;
    };
    constexpr std::size_t kScalesKept = 2;
    static std::vector<Drawn> drawn;
    static std::vector<double> scales;
    for (const Drawn& d : drawn) {
        if (d.resource == resource && d.scale == scale) {
            return d.image;
        }
    }
    if (std::find(scales.begin(), scales.end(), scale) == scales.end()) {
        if (scales.size() == kScalesKept) {
            const double oldest = scales.front();
            scales.erase(scales.begin());
            std::erase_if(drawn, [oldest](const Drawn& d) { return d.scale == oldest; });
        }
        scales.push_back(scale);
    }
    drawn.push_back({resource, scale, drawArt(resource, scale)});
    return drawn.back().image;
}

QIcon programIcon() {
    return QIcon(QString::fromLatin1(artResourcePath(IconProgram)));
}

QtCanvas::QtCanvas(QImage& target, TextLayoutCache* texts, KeptStrokes* strokes)
    : m_target(&target), m_targetKey(target.cacheKey()), m_painter(&target), m_texts(texts),
      m_strokes(strokes), m_scale(target.devicePixelRatio()) {
    m_painter.setRenderHint(QPainter::TextAntialiasing);
    setPen(kDefaultPen);
    setBrush(kDefaultBrush);
}

QtCanvas::~QtCanvas() {
    lineAreaDrawn();
    m_painter.end();
    if (m_texts) {
        m_texts->page().finished(*m_target);
    }
}

void QtCanvas::drawn(const QRectF& area, qreal pen) {
    if (m_texts) {
        lineAreaDrawn();
        // Room for the pen and smoothing.
        const qreal margin = pen + 2;
        const QRectF grown = area.adjusted(-margin, -margin, margin, margin);
        // Within a grid already told (a graph's trace and labels): the page would put its
        // picture back there twice.
        for (const QRectF& told : m_told) {
            if (told.contains(grown)) {
                return;
            }
        }
        m_texts->page().drawn(m_painter, grown);
    }
}

void QtCanvas::lineAreaDrawn() {
    if (m_lineArea.isEmpty()) {
        return;
    }
    m_told.push_back(m_lineArea);
    if (fillLineArea()) {
        m_lineArea = QRectF();
        m_pendingLines.clear();
        return;
    }
    m_texts->page().drawn(m_painter, m_lineArea);
    m_lineArea = QRectF();
    const QPen pen = m_pen;
    const bool smooth = m_painter.testRenderHint(QPainter::Antialiasing);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    for (const PendingLine& line : m_pendingLines) {
        m_pen = line.pen;
        m_painter.setPen(m_pen);
        drawLineNow(line.from, line.to, true);
    }
    m_pendingLines.clear();
    m_pen = pen;
    m_painter.setPen(m_pen);
    m_painter.setRenderHint(QPainter::Antialiasing, smooth);
}

void QtCanvas::setFont(FontId font) {
    m_font = font;
    m_painter.setFont(dashboardFont(font));
}

void QtCanvas::setPen(const Pen& pen) {
    m_pen = QPen(toQColor(pen.colour), pen.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    m_painter.setPen(m_pen);
}

void QtCanvas::setBrush(const Brush& brush) {
    m_painter.setBrush(QBrush(toQColor(brush.colour)));
}

void QtCanvas::setTextColour(Colour colour) {
    m_textPen = QPen(toQColor(colour));
}

void QtCanvas::drawPicture(int32_t resource) {
    lineAreaDrawn();
    const QImage picture = dashboardArt(resource, m_scale);
    if (picture.isNull()) {
        return;
    }
    if (m_texts) {
        m_texts->page().drawBackground(m_painter, picture, m_targetKey);
    } else {
        m_painter.drawImage(0, 0, picture);
    }
}

void QtCanvas::drawIcon(int32_t resource, int32_t x, int32_t y) {
    lineAreaDrawn();
    const QImage icon = dashboardArt(resource, m_scale);
    if (icon.isNull()) {
        return;
    }
    const QRect rect(x, y, kIconSize, kIconSize);
    const auto draw = [&] { m_painter.drawImage(rect, icon); };
    if (!m_texts) {
        draw();
        return;
    }
    // Blending an icon costs more than copying what it left where the page under is the same.
    KeptPage& page = m_texts->page();
    page.keptIcon(resource, x, y).paint(m_painter, rect.adjusted(-1, -1, 1, 1), 0, &page, draw);
}

void QtCanvas::drawText(std::u16string_view text, const Rect& rect, uint32_t flags) {
    lineAreaDrawn();
    const int qtFlags = toQtFlags(flags);
    const TextCell cell = dashboardTextCell(m_font);
    m_painter.setPen(m_textPen);
    if (m_texts && LaidOutText::layoutMatchesDrawText(m_painter, text, qtFlags)) {
        const qreal ratio = m_painter.device()->devicePixelRatio();
        const LaidOutText& laidOut =
            m_texts->find({text, m_font, rect, qtFlags, ratio}, m_painter, cell);
        KeptPage& page = m_texts->page();
        if (!laidOut.drawDifferences(m_painter, page)) {
            const std::size_t marks = page.marks();
            page.expect(m_painter, laidOut.inkBounds());
            laidOut.draw(m_painter, &page);
            if (page.unexpected()) {
                laidOut.draw(m_painter, &page);
            }
            page.textDrawn(marks, laidOut.drawnGlyphs(m_painter));
        }
    } else {
        if (m_texts) {
            m_texts->page().lost();
        }
        drawTextByCell(m_painter, text,
                       QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                       qtFlags, cell);
    }
    m_painter.setPen(m_pen);
}

template <class Draw>
void QtCanvas::drawKept(const ShapeKey& key, const QRectF& area, Draw&& draw) {
    lineAreaDrawn();
    if (m_texts) {
        // Room for the pen and smoothing, as drawn() gives.
        const qreal margin = m_pen.widthF() + 2;
        m_texts->keptShape(key).paint(
            m_painter, area.adjusted(-margin, -margin, margin, margin).toAlignedRect(), 0,
            &m_texts->page(), draw);
    } else {
        draw();
    }
}

void QtCanvas::drawLine(Point from, Point to) {
    // Grid lines stay crisp; slanted ones (compass ticks) are smoothed.
    const bool straight = from.x == to.x || from.y == to.y;
    m_painter.setRenderHint(QPainter::Antialiasing, !straight);
    const QRectF area = QRectF(toQPoint(from), toQPoint(to)).normalized();
    if (straight && m_texts && m_pen.width() == 1) {
        // A grid's lines are told as the box they fill: one box is put back faster than
        // its many strips. One device pixel of room where the scale rounds them. They are
        // drawn once the box is told, as the page puts its picture back under what it is told.
        const QRectF covered =
            QRectF(area.topLeft(), area.bottomRight() + QPointF(1, 1)).adjusted(-1, -1, 1, 1);
        // Lines this near join the box: a graph's grid (12 apart), not the compass's ticks.
        constexpr qreal kGridStep = 16;
        if (!m_lineArea.isEmpty() &&
            !m_lineArea.adjusted(-kGridStep, -kGridStep, kGridStep, kGridStep)
                 .intersects(covered)) {
            lineAreaDrawn();
        }
        m_lineArea = m_lineArea.isEmpty() ? covered : (m_lineArea | covered);
        m_pendingLines.push_back({from, to, m_pen});
        return;
    }
    lineAreaDrawn();
    if (straight) {
        drawn(area, m_pen.widthF());
        drawLineNow(from, to, true);
        return;
    }
    // Smoothing the compass's ticks costs more than copying them where they lie still.
    ShapeKey key;
    key.points = {from, to};
    key.pointCount = 2;
    key.pen = m_pen.color().rgba();
    key.penWidth = m_pen.width();
    drawKept(key, area, [&] { drawLineNow(from, to, false); });
}

void QtCanvas::drawLineNow(Point from, Point to, bool straight) {
    if (straight && m_texts && m_pen.width() == 1 && fillStraight(from, to)) {
        return;
    }
    if (straight && m_pen.width() == 1 && m_scale != 1.0) {
        // The pixels the line covers at scale 1, filled at the scale: as sharp, and far
        // cheaper than stroking a line wider than one device pixel.
        const QRect covered = QRect(QPoint(from.x, from.y), QPoint(to.x, to.y)).normalized();
        m_painter.fillRect(covered, m_pen.color());
    } else if (m_scale != 1.0) {
        const QBrush brush = m_painter.brush();
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(m_pen.color());
        fillCapsule(m_painter, toQPoint(from), toQPoint(to), m_pen.widthF());
        m_painter.setBrush(brush);
        m_painter.setPen(m_pen);
    } else if (straight && m_pen.width() == 1) {
        // A one-pixel line with round caps covers both end points: the same pixels as a
        // filled rectangle, which is far cheaper than stepping the line pixel by pixel.
        if (m_painter.deviceTransform().type() <= QTransform::TxTranslate &&
            m_pen.color().alpha() == 255 &&
            m_painter.compositionMode() == QPainter::CompositionMode_SourceOver) {
            m_painter.fillRect(QRect(QPoint(std::min(from.x, to.x), std::min(from.y, to.y)),
                                     QPoint(std::max(from.x, to.x), std::max(from.y, to.y))),
                               m_pen.color());
        } else {
            m_painter.drawLine(from.x, from.y, to.x, to.y);
        }
    } else {
        m_painter.drawLine(toQPoint(from), toQPoint(to));
    }
}

std::optional<QRect> QtCanvas::straightPixels(Point from, Point to, const QColor& colour) const {
    // Whole device pixels at a whole scale: what fillRect fills.
    const QImage* target = directImage(m_painter);
    const QTransform& device = m_painter.deviceTransform();
    if (!target || colour.alpha() != 255 || device.m11() != std::floor(device.m11()) ||
        device.m22() != std::floor(device.m22()) ||
        (target->format() != QImage::Format_RGB32 &&
         target->format() != QImage::Format_ARGB32_Premultiplied)) {
        return std::nullopt;
    }
    // As drawLineNow covers them: at a scale, a line drawn backwards loses its end pixels
    // to QRect::normalized.
    const QRect logical = m_scale != 1.0
                              ? QRect(QPoint(from.x, from.y), QPoint(to.x, to.y)).normalized()
                              : QRect(QPoint(std::min(from.x, to.x), std::min(from.y, to.y)),
                                      QPoint(std::max(from.x, to.x), std::max(from.y, to.y)));
    if (logical.isEmpty()) {
        return QRect();
    }
    return device.mapRect(QRectF(logical)).toRect() & target->rect();
}

namespace {

void fillRow(uchar* at, int width, QRgb colour) {
    auto* row = reinterpret_cast<QRgb*>(at);
    for (int x = 0; x < width; ++x) {
        row[x] = colour;
    }
}

} // namespace

bool QtCanvas::fillStraight(Point from, Point to) {
    const std::optional<QRect> covered = straightPixels(from, to, m_pen.color());
    if (!covered) {
        return false;
    }
    if (covered->isEmpty()) {
        return true;
    }
    const QRgb colour = m_pen.color().rgba();
    const Pixels pixels(*m_target);
    uchar* at = pixels.writable(covered->left(), covered->top());
    // A grid's upright lines are a few pixels wide and many rows tall: no call per row.
    for (int y = covered->top(); y <= covered->bottom(); ++y, at += pixels.stride) {
        fillRow(at, covered->width(), colour);
    }
    return true;
}

bool QtCanvas::fillLineArea() {
    struct Fill {
        QRect rect;
        QRgb colour;
    };
    constexpr std::size_t kMaxLines = 64; // a row's lines as bits
    Fill fills[kMaxLines];
    const std::size_t count = m_pendingLines.size();
    if (count > kMaxLines) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const PendingLine& line = m_pendingLines[i];
        const std::optional<QRect> covered = straightPixels(line.from, line.to, line.pen.color());
        if (!covered) {
            return false;
        }
        fills[i] = {*covered, line.pen.color().rgba()};
    }
    KeptPage& page = m_texts->page();
    QRect box;
    if (!page.replace(m_painter, m_lineArea, box)) {
        return false;
    }
    // Which lines cross each row, as the bits that change at its first and past its last.
    std::vector<uint64_t> rows(static_cast<std::size_t>(box.height()) + 1, 0);
    for (std::size_t i = 0; i < count; ++i) {
        fills[i].rect &= box;
        if (!fills[i].rect.isEmpty()) {
            rows[fills[i].rect.top() - box.top()] ^= uint64_t(1) << i;
            rows[fills[i].rect.bottom() + 1 - box.top()] ^= uint64_t(1) << i;
        }
    }
    // Rows the same lines cross over the same pixels of the picture come out the same: each
    // kind is made once and copied.
    const std::vector<int>& alike = page.alikeRows(box);
    struct Made {
        uint64_t lines;
        int under; // the picture's row, as alikeRows gives it
        int y;
    };
    std::vector<Made> made;
    const Pixels pixels(*m_target);
    const Pixels picture(page.picture());
    const auto rowBytes = static_cast<std::size_t>(box.width()) * 4;
    uint64_t lines = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        lines ^= rows[y - box.top()];
        uchar* row = pixels.writable(box.left(), y);
        const int under = alike[static_cast<std::size_t>(y - box.top())];
        const auto same = std::find_if(made.begin(), made.end(), [&](const Made& m) {
            return m.lines == lines && m.under == under;
        });
        if (same != made.end()) {
            std::memcpy(row, pixels.at(box.left(), same->y), rowBytes);
            continue;
        }
        std::memcpy(row, picture.at(box.left(), y), rowBytes);
        for (std::size_t i = 0; i < count; ++i) {
            if (lines & (uint64_t(1) << i)) {
                const QRect& r = fills[i].rect;
                fillRow(row + (r.left() - box.left()) * 4, r.width(), fills[i].colour);
            }
        }
        if (made.size() < 16) {
            made.push_back({lines, under, y});
        }
    }
    return true;
}

void QtCanvas::drawPolyline(const Point* points, std::size_t count) {
    lineAreaDrawn();
    // A fixed buffer: a long chain is drawn in pieces that share their end points.
    constexpr std::size_t kChunk = 512;
    QPointF buffer[kChunk];
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    // Told in short pieces: a trace's bounding box is most of its graph, and the picture is
    // put back under every box next paint.
    constexpr std::size_t kPiece = 8;
    for (std::size_t start = 0; start + 1 < count; start += kPiece - 1) {
        drawn(pointBounds(points + start, std::min(kPiece, count - start)), m_pen.widthF());
    }
    if (m_texts && m_strokes && count <= kChunk && m_strokes->draw(m_painter, points, count)) {
        return;
    }
    for (std::size_t start = 0; start + 1 < count; start += kChunk - 1) {
        const std::size_t n = std::min(kChunk, count - start);
        for (std::size_t i = 0; i < n; ++i) {
            buffer[i] = toQPoint(points[start + i]);
        }
        m_painter.drawPolyline(buffer, static_cast<int>(n));
    }
}

void QtCanvas::drawPolygon(const Point* points, std::size_t count) {
    lineAreaDrawn();
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) {
        polygon << toQPoint(points[i]);
    }
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    if (count > 3) {
        drawn(polygon.boundingRect(), m_pen.widthF());
        drawPolygonNow(polygon);
        return;
    }
    // The compass needle's halves: still while the course is.
    ShapeKey key;
    std::copy(points, points + count, key.points.begin());
    key.pointCount = static_cast<int32_t>(count);
    key.pen = m_pen.color().rgba();
    key.penWidth = m_pen.width();
    key.brush = m_painter.brush().color().rgba();
    drawKept(key, polygon.boundingRect(), [&] { drawPolygonNow(polygon); });
}

void QtCanvas::drawPolygonNow(const QPolygonF& polygon) {
    if (m_scale == 1.0) {
        m_painter.drawPolygon(polygon);
        return;
    }
    const QBrush brush = m_painter.brush();
    m_painter.setPen(Qt::NoPen);
    if (fillConvexOutlined(m_painter, polygon, m_pen.widthF(), m_pen.color(), brush)) {
        m_painter.setPen(m_pen);
        return;
    }
    // The outline's round joins are the ends of its edges' round-capped lines.
    m_painter.drawPolygon(polygon);
    m_painter.setBrush(m_pen.color());
    for (qsizetype i = 0; i < polygon.size(); ++i) {
        fillCapsule(m_painter, polygon[i], polygon[(i + 1) % polygon.size()], m_pen.widthF());
    }
    m_painter.setBrush(brush);
    m_painter.setPen(m_pen);
}

void QtCanvas::drawRoundRect(const Rect& rect, int32_t ellipseWidth, int32_t ellipseHeight) {
    lineAreaDrawn();
    // The right and bottom edges are outside the shape, as on the original drawing surface.
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r(rect.left + 0.5, rect.top + 0.5, rect.right - rect.left - 1.0,
                   rect.bottom - rect.top - 1.0);
    const auto draw = [&] {
        if (m_scale == 1.0) {
            m_painter.drawRoundedRect(r, ellipseWidth / 2.0, ellipseHeight / 2.0);
            return;
        }
        const DrawnShape& shape = roundRectAt(r, ellipseWidth / 2.0, ellipseHeight / 2.0, m_pen,
                                              m_painter.brush(), m_scale);
        m_painter.drawImage(QPointF(shape.at.x() / m_scale, shape.at.y() / m_scale), shape.image);
    };
    if (!m_texts) {
        draw();
        return;
    }
    // The same every paint where drawn at all, and smoothing or scaling it costs more than
    // the page.
    const int margin = m_pen.width() + 2;
    const QRect area = QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top)
                           .adjusted(-margin, -margin, margin, margin);
    const ShapeKey key{rect,          ellipseWidth,
                       ellipseHeight, m_pen.color().rgba(),
                       m_pen.width(), m_painter.brush().color().rgba()};
    m_texts->keptShape(key).paint(m_painter, area, 0, &m_texts->page(), draw);
}

DashboardRenderer::DashboardRenderer()
    : m_backBuffer(kDashboardWidth, kDashboardHeight, QImage::Format_RGB32) {
    m_backBuffer.fill(Qt::white);
}

void DashboardRenderer::setScale(double scale) {
    if (scale == m_backBuffer.devicePixelRatio()) {
        return;
    }
    m_backBuffer = QImage(scaledLength(kDashboardWidth, scale),
                          scaledLength(kDashboardHeight, scale), QImage::Format_RGB32);
    m_backBuffer.setDevicePixelRatio(scale);
    m_backBuffer.fill(Qt::white);
    // Laid out for the old scale.
    m_texts.clear();
    m_strokes.clear();
}

void DashboardRenderer::render(NavState& nav, Settings& settings, DashboardState& state,
                               bool advance) {
    QtCanvas canvas(m_backBuffer, &m_texts, &m_strokes);
    paintDashboard(canvas, nav, settings, state, advance);
}

void renderDashboard(QImage& target, NavState& nav, Settings& settings, DashboardState& state,
                     bool advance) {
    QtCanvas canvas(target);
    paintDashboard(canvas, nav, settings, state, advance);
}

} // namespace velocimo
