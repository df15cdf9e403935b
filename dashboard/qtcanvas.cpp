#include "dashboard/qtcanvas.h"

#include "resources/art/artnames.h"

#include <QFile>
#include <QFontDatabase>
#include <QPaintDevice>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <array>
#include <map>

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

QIcon programIcon() {
    return QIcon(QString::fromLatin1(artResourcePath(IconProgram)));
}

QtCanvas::QtCanvas(QImage& target, TextLayoutCache* texts) : m_painter(&target), m_texts(texts) {
    m_painter.setRenderHint(QPainter::TextAntialiasing);
    setPen(kDefaultPen);
    setBrush(kDefaultBrush);
}

QtCanvas::~QtCanvas() = default;

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
    m_textColour = toQColor(colour);
}

void QtCanvas::drawPicture(int32_t resource) {
    const QImage picture = dashboardArt(resource);
    if (!picture.isNull()) {
        m_painter.drawImage(0, 0, picture);
    }
}

void QtCanvas::drawIcon(int32_t resource, int32_t x, int32_t y) {
    const QImage icon = dashboardArt(resource);
    if (!icon.isNull()) {
        m_painter.drawImage(QRect(x, y, kIconSize, kIconSize), icon);
    }
}

void QtCanvas::drawText(std::u16string_view text, const Rect& rect, uint32_t flags) {
    const int qtFlags = toQtFlags(flags);
    const TextCell cell = dashboardTextCell(m_font);
    m_painter.setPen(m_textColour);
    if (m_texts && LaidOutText::layoutMatchesDrawText(m_painter, text, qtFlags)) {
        const qreal ratio = m_painter.device()->devicePixelRatio();
        m_texts->find({text, m_font, rect, qtFlags, ratio}, m_painter, cell).draw(m_painter);
    } else {
        drawTextByCell(m_painter, text,
                       QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                       qtFlags, cell);
    }
    m_painter.setPen(m_pen);
}

void QtCanvas::drawLine(Point from, Point to) {
    // Grid lines stay crisp; slanted ones (compass ticks) are smoothed.
    const bool straight = from.x == to.x || from.y == to.y;
    m_painter.setRenderHint(QPainter::Antialiasing, !straight);
    if (straight && m_pen.width() == 1) {
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

void QtCanvas::drawPolyline(const Point* points, std::size_t count) {
    // A fixed buffer: a long chain is drawn in pieces that share their end points.
    constexpr std::size_t kChunk = 512;
    QPointF buffer[kChunk];
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    for (std::size_t start = 0; start + 1 < count; start += kChunk - 1) {
        const std::size_t n = std::min(kChunk, count - start);
        for (std::size_t i = 0; i < n; ++i) {
            buffer[i] = toQPoint(points[start + i]);
        }
        m_painter.drawPolyline(buffer, static_cast<int>(n));
    }
}

void QtCanvas::drawPolygon(const Point* points, std::size_t count) {
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) {
        polygon << toQPoint(points[i]);
    }
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    m_painter.drawPolygon(polygon);
}

void QtCanvas::drawRoundRect(const Rect& rect, int32_t ellipseWidth, int32_t ellipseHeight) {
    // The right and bottom edges are outside the shape, as on the original drawing surface.
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r(rect.left + 0.5, rect.top + 0.5, rect.right - rect.left - 1.0,
                   rect.bottom - rect.top - 1.0);
    const auto draw = [&] {
        m_painter.drawRoundedRect(r, ellipseWidth / 2.0, ellipseHeight / 2.0);
    };
    if (!m_texts) {
        draw();
        return;
    }
    // The same every paint where drawn at all, and smoothing it costs more than the page.
    const int margin = m_pen.width() + 2;
    const QRect area = QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top)
                           .adjusted(-margin, -margin, margin, margin);
    const ShapeKey key{rect,          ellipseWidth,
                       ellipseHeight, m_pen.color().rgba(),
                       m_pen.width(), m_painter.brush().color().rgba()};
    m_texts->keptShape(key).paint(m_painter, area, 0, draw);
}

DashboardRenderer::DashboardRenderer()
    : m_backBuffer(kDashboardWidth, kDashboardHeight, QImage::Format_RGB32) {
    m_backBuffer.fill(Qt::white);
}

void DashboardRenderer::render(NavState& nav, Settings& settings, DashboardState& state,
                               bool advance) {
    QtCanvas canvas(m_backBuffer, &m_texts);
    paintDashboard(canvas, nav, settings, state, advance);
}

void renderDashboard(QImage& target, NavState& nav, Settings& settings, DashboardState& state,
                     bool advance) {
    QtCanvas canvas(target);
    paintDashboard(canvas, nav, settings, state, advance);
}

} // namespace velocimo
