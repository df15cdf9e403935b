#pragma once

// The dashboard drawn with QPainter into a back buffer, which the main window copies to the
// screen in one piece. The painter works in the dashboard's 240 x 268 pixels; a buffer with a
// device pixel ratio holds them at that scale, drawn at the size they are shown.

#include "dashboard/canvas.h"
#include "dashboard/dashboard.h"
#include "dashboard/keptstrokes.h"
#include "dashboard/textlayoutcache.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <optional>
#include <vector>

namespace velocimo {

// Registers the bundled Tahoma faces when present (once per process) and returns the font for
// an id: Tahoma if available, else the system sans font. Needs a QGuiApplication.
QFont dashboardFont(FontId id);

// The Windows line cell of the font for an id, worked out once per font.
TextCell dashboardTextCell(FontId id);

// Art by resource number from the Qt resource; a null image for an unknown number.
QImage dashboardArt(int32_t resource);
// The same drawn at scale device pixels per pixel (kept for the last few scales); the
// committed pictures at scale 1.
QImage dashboardArt(int32_t resource, double scale);
// Icon 112, for the window and the About box.
QIcon programIcon();

// Renders canvas operations onto an image. The painter is active for the canvas's lifetime.
// With a text cache, texts are drawn from layouts kept between paints (the same pixels as
// without one, where each line is drawn with drawText on its cell baseline). With kept strokes,
// the graphs' traces are blended from their coverage (again the same pixels).
class QtCanvas : public Canvas {
public:
    explicit QtCanvas(QImage& target, TextLayoutCache* texts = nullptr,
                      KeptStrokes* strokes = nullptr);
    ~QtCanvas() override;
    QtCanvas(const QtCanvas&) = delete;
    QtCanvas& operator=(const QtCanvas&) = delete;

    void setFont(FontId font) override;
    void setPen(const Pen& pen) override;
    void setBrush(const Brush& brush) override;
    void setTextColour(Colour colour) override;
    void drawPicture(int32_t resource) override;
    void drawIcon(int32_t resource, int32_t x, int32_t y) override;
    void drawText(std::u16string_view text, const Rect& rect, uint32_t flags) override;
    void drawLine(Point from, Point to) override;
    void drawPolyline(const Point* points, std::size_t count) override;
    void drawPolygon(const Point* points, std::size_t count) override;
    void drawRoundRect(const Rect& rect, int32_t ellipseWidth, int32_t ellipseHeight) override;

private:
    void useShapePen();
    // Tells the kept page where the paint is about to draw: area (logical) widened by the pen.
    void drawn(const QRectF& area, qreal pen = 0);
    // Tells the kept page the straight lines held since the last call, as one area, and
    // draws them.
    void lineAreaDrawn();
    // The held lines' box written whole in place, the picture under and the lines at once;
    // false where it cannot be (nothing done).
    bool fillLineArea();
    // Draws, or copies what the same drawing left last paint (with a cache).
    template <class Draw> void drawKept(const ShapeKey& key, const QRectF& area, Draw&& draw);
    void drawLineNow(Point from, Point to, bool straight);
    // A straight one-pixel line filled in place; false where only the painter can.
    bool fillStraight(Point from, Point to);
    // The device pixels fillStraight fills for a line with a pen of colour; none where it
    // cannot.
    std::optional<QRect> straightPixels(Point from, Point to, const QColor& colour) const;
    void drawPolygonNow(const QPolygonF& polygon);
    QImage* m_target;
    qint64 m_targetKey; // before the painter began on it
    QPainter m_painter;
    QPen m_pen;
    QPen m_textPen; // made when the colour is set: a pen made from a colour allocates
    FontId m_font = FontId::Font12;
    TextLayoutCache* m_texts = nullptr;
    KeptStrokes* m_strokes = nullptr;
    double m_scale = 1.0;
    QRectF m_lineArea;          // straight lines held, not yet told
    std::vector<QRectF> m_told; // large areas told this paint
    struct PendingLine {
        Point from;
        Point to;
        QPen pen;
    };
    std::vector<PendingLine> m_pendingLines; // within m_lineArea, drawn once it is told
};

// Owns the back buffer. Create after the QApplication.
class DashboardRenderer {
public:
    DashboardRenderer();
    // Device pixels per dashboard pixel; a new scale gets a new, blank buffer.
    void setScale(double scale);
    double scale() const { return m_backBuffer.devicePixelRatio(); }
    QImage& backBuffer() { return m_backBuffer; }
    // Kept for the renderer's lifetime; pass it to the canvas that paints the back buffer.
    TextLayoutCache& textCache() { return m_texts; }
    KeptStrokes& strokes() { return m_strokes; }
    const QImage& backBuffer() const { return m_backBuffer; }
    // Paints the whole dashboard into the back buffer (see paintDashboard).
    void render(NavState& nav, Settings& settings, DashboardState& state, bool advance);

private:
    QImage m_backBuffer;
    TextLayoutCache m_texts;
    KeptStrokes m_strokes;
};

// Paints the whole dashboard into any image of at least 240 x 268 logical pixels.
void renderDashboard(QImage& target, NavState& nav, Settings& settings, DashboardState& state,
                     bool advance);

} // namespace velocimo
