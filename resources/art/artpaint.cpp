#include "resources/art/artpaint.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace velocimo {

namespace {

void begin(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
}

QString boldFamily() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont("/usr/share/wine/fonts/tahomabd.ttf");
        const QStringList f = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
        return f.isEmpty() ? QString("Sans Serif") : f.first();
    }();
    return family;
}

void sun(QPainter& p) {
    begin(p);
    p.translate(16, 16);
    p.setPen(QPen(QColor(230, 140, 0), 2.4, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        p.drawLine(QPointF(0, -10.5), QPointF(0, -14.5));
        p.rotate(45);
    }
    QRadialGradient g(QPointF(-2, -2), 9);
    g.setColorAt(0, QColor(255, 240, 120));
    g.setColorAt(1, QColor(255, 190, 20));
    p.setBrush(g);
    p.setPen(QPen(QColor(215, 120, 0), 1.3));
    p.drawEllipse(QPointF(0, 0), 7.5, 7.5);
}

void moon(QPainter& p) {
    begin(p);
    QPainterPath disc;
    disc.addEllipse(QPointF(15, 16), 12, 12);
    QPainterPath bite;
    bite.addEllipse(QPointF(21, 12), 10, 10);
    const QPainterPath crescent = disc.subtracted(bite);
    QLinearGradient g(4, 4, 20, 28);
    g.setColorAt(0, QColor(255, 245, 190));
    g.setColorAt(1, QColor(240, 200, 70));
    p.setBrush(g);
    p.setPen(QPen(QColor(90, 90, 130), 1.3));
    p.drawPath(crescent);
    // A small star in the bite.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 220, 90));
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 ? 1.4 : 3.6;
        const double a = i * M_PI / 5 - M_PI / 2;
        star << QPointF(24 + r * std::cos(a), 11 + r * std::sin(a));
    }
    p.setPen(QPen(QColor(90, 90, 130), 0.8));
    p.drawPolygon(star);
}

void cross(QPainter& p) {
    begin(p);
    p.setPen(QPen(QColor(120, 0, 0), 8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(24, 24));
    p.drawLine(QPointF(24, 8), QPointF(8, 24));
    p.setPen(QPen(QColor(230, 30, 30), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(24, 24));
    p.drawLine(QPointF(24, 8), QPointF(8, 24));
}

void chart(QPainter& p) {
    begin(p);
    const QRectF box(2.5, 4.5, 27, 23);
    p.setPen(QPen(QColor(60, 60, 70), 1.2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(box, 2.5, 2.5);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(175, 175, 175), 1));
    for (int y = 10; y <= 22; y += 6) {
        p.drawLine(4, y, 28, y);
    }
    for (int x = 9; x <= 24; x += 7) {
        p.drawLine(x, 6, x, 26);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(225, 20, 20), 2));
    p.drawLine(QPointF(4, 11), QPointF(28, 11));
    p.setPen(QPen(QColor(0, 160, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF trace[] = {{5, 24}, {9, 20}, {13, 22}, {17, 15}, {21, 17}, {24, 13}, {27, 14}};
    p.drawPolyline(trace, 7);
}

void odometer(QPainter& p) {
    begin(p);
    p.setPen(QPen(QColor(20, 20, 20), 1.2));
    p.setBrush(QColor(45, 45, 50));
    p.drawRoundedRect(QRectF(1.5, 7.5, 29, 17), 3, 3);
    QFont f(boldFamily());
    f.setPixelSize(13);
    f.setBold(true);
    p.setFont(f);
    const char* digits[] = {"1", "0", "0"};
    for (int i = 0; i < 3; ++i) {
        const QRectF cell(3.5 + i * 8.6, 9.5, 7.6, 13);
        QLinearGradient g(cell.topLeft(), cell.bottomLeft());
        g.setColorAt(0, QColor(200, 200, 200));
        g.setColorAt(0.5, QColor(255, 255, 255));
        g.setColorAt(1, QColor(200, 200, 200));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRect(cell);
        p.setPen(QColor(10, 10, 10));
        p.drawText(cell, Qt::AlignCenter, digits[i]);
    }
}

void mountain(QPainter& p) {
    begin(p);
    const QPolygonF back = {{11, 28}, {21, 9}, {31, 28}};
    p.setPen(QPen(QColor(120, 105, 90), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(150, 135, 120));
    p.drawPolygon(back);
    const QPolygonF front = {{1, 28}, {12, 5}, {24, 28}};
    QLinearGradient g(12, 5, 12, 28);
    g.setColorAt(0, QColor(185, 150, 110));
    g.setColorAt(1, QColor(130, 100, 70));
    p.setBrush(g);
    p.drawPolygon(front);
    // Snow caps with a jagged lower edge.
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(90, 100, 120), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPolygonF snow = {{12, 5},      {16.3, 13.9}, {14.5, 12.5},
                            {12.5, 14.5}, {10.2, 12},   {7.9, 13.4}};
    p.drawPolygon(snow);
    const QPolygonF snow2 = {{21, 9},    {24.2, 15},   {22.6, 14},
                             {21, 15.4}, {19.6, 13.9}, {18.6, 14.4}};
    p.drawPolygon(snow2);
}

void compass(QPainter& p) {
    begin(p);
    p.setPen(QPen(QColor(40, 40, 50), 2));
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(QPointF(16, 16), 14, 14);
    p.setPen(QPen(QColor(80, 80, 90), 1.2));
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        const double r0 = i % 2 ? 11 : 9.5;
        p.drawLine(QPointF(16 + r0 * std::sin(a), 16 - r0 * std::cos(a)),
                   QPointF(16 + 12.5 * std::sin(a), 16 - 12.5 * std::cos(a)));
    }
    p.translate(16, 16);
    p.rotate(30);
    p.setPen(QPen(QColor(30, 30, 30), 0.8));
    p.setBrush(QColor(230, 20, 20));
    p.drawPolygon(QPolygonF{{-3.6, 0}, {0, -11.5}, {3.6, 0}});
    p.setBrush(QColor(20, 60, 230));
    p.drawPolygon(QPolygonF{{-3.6, 0}, {0, 11.5}, {3.6, 0}});
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QPointF(0, 0), 1.4, 1.4);
}

void satellite(QPainter& p, int arcs) {
    begin(p);
    // Satellite at the top left, its panels across the signal path.
    p.save();
    p.translate(8, 8);
    p.rotate(-45);
    p.setPen(QPen(QColor(40, 40, 60), 0.9));
    p.setBrush(QColor(40, 80, 200));
    p.drawRect(QRectF(-8, -2.2, 5, 4.4));
    p.drawRect(QRectF(3, -2.2, 5, 4.4));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(-2.5, -3, 5, 6));
    p.restore();
    // Dish aerial at the bottom right, opening toward the satellite.
    p.save();
    p.translate(23, 23);
    p.setPen(QPen(QColor(120, 120, 130), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(1.5, 1.5), QPointF(5.5, 7));
    p.drawLine(QPointF(1, 7.5), QPointF(8.5, 7.5));
    p.rotate(-45);
    QPainterPath dish;
    dish.moveTo(-7.5, -1.5);
    dish.quadTo(0, 9, 7.5, -1.5);
    dish.closeSubpath();
    p.setPen(QPen(QColor(70, 70, 80), 1.1));
    p.setBrush(QColor(235, 235, 240));
    p.drawPath(dish);
    p.setPen(QPen(QColor(120, 120, 130), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, 3), QPointF(0, -3.5));
    p.restore();
    // Signal arcs, centred on the dish's feed, toward the satellite.
    p.setPen(QPen(QColor(0, 190, 40), 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < arcs; ++i) {
        const double r = 6.0 + 3.6 * i;
        const QRectF box(21.0 - r, 21.0 - r, 2 * r, 2 * r);
        p.drawArc(box, (135 - 32) * 16, 64 * 16);
    }
}

void programIcon(QPainter& p) {
    begin(p);
    QRadialGradient g(QPointF(12, 10), 18);
    g.setColorAt(0, QColor(70, 90, 130));
    g.setColorAt(1, QColor(20, 30, 55));
    p.setPen(QPen(QColor(200, 205, 215), 1.6));
    p.setBrush(g);
    p.drawEllipse(QPointF(16, 16), 14.5, 14.5);
    // Scale from 225 to -45 degrees, the last third red.
    for (int i = 0; i <= 10; ++i) {
        const double a = (225 - i * 27) * M_PI / 180;
        p.setPen(QPen(i >= 8 ? QColor(255, 70, 60) : QColor(235, 235, 235), i % 5 ? 1.2 : 2));
        const double r0 = i % 5 ? 10 : 8.5;
        p.drawLine(QPointF(16 + r0 * std::cos(a), 16 - r0 * std::sin(a)),
                   QPointF(16 + 12.3 * std::cos(a), 16 - 12.3 * std::sin(a)));
    }
    const double a = 60 * M_PI / 180;
    p.setPen(QPen(QColor(255, 60, 40), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 16), QPointF(16 + 11 * std::cos(a), 16 - 11 * std::sin(a)));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 230, 230));
    p.drawEllipse(QPointF(16, 16), 2.4, 2.4);
}

void background(QPainter& p, const BackgroundColours& c) {
    p.fillRect(QRect(0, 0, kArtBackgroundWidth, kArtBackgroundHeight), QColor(c.backdrop));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(c.rim), 1));
    p.setBrush(QColor(c.face));
    p.drawRoundedRect(QRectF(2.5, 2.5, 235, 17), 4, 4);
    p.drawRoundedRect(QRectF(2.5, 23.5, 235, 17), 4, 4);
    const int wells[6] = {6, 44, 83, 122, 161, 200};
    for (int x : wells) {
        p.drawRoundedRect(QRectF(x + 0.5, 50.5, 33, 33), 4, 4);
    }
    p.drawRoundedRect(QRectF(6.5, 94.5, 227, 168), 10, 10);
}

constexpr int32_t kBackgroundNight = 137;
constexpr int32_t kBackgroundDay = 138;

} // namespace

std::optional<BackgroundColours> backgroundColours(int32_t resource) {
    switch (resource) {
    case kBackgroundDay:
        return BackgroundColours{qRgb(189, 206, 231), qRgb(247, 247, 247), qRgb(140, 160, 195)};
    case kBackgroundNight:
        return BackgroundColours{qRgb(66, 66, 66), qRgb(8, 8, 8), qRgb(110, 110, 110)};
    default:
        return std::nullopt;
    }
}

QSize artSize(int32_t resource) {
    if (backgroundColours(resource)) {
        return QSize(kArtBackgroundWidth, kArtBackgroundHeight);
    }
    switch (resource) {
    case 112:
    case 115:
    case 116:
    case 127:
    case 129:
    case 130:
    case 132:
    case 135:
    case 142:
    case 143:
    case 144:
    case 145:
        return QSize(kArtIconSize, kArtIconSize);
    default:
        return QSize();
    }
}

bool paintArt(QPainter& painter, int32_t resource) {
    if (const std::optional<BackgroundColours> colours = backgroundColours(resource)) {
        background(painter, *colours);
        return true;
    }
    switch (resource) {
    case 112:
        programIcon(painter);
        return true;
    case 115:
        sun(painter);
        return true;
    case 116:
        moon(painter);
        return true;
    case 127:
        cross(painter);
        return true;
    case 129:
        chart(painter);
        return true;
    case 130:
        odometer(painter);
        return true;
    case 132:
        mountain(painter);
        return true;
    case 135:
        compass(painter);
        return true;
    case 142:
        satellite(painter, 3);
        return true;
    case 143:
        satellite(painter, 0);
        return true;
    case 144:
        satellite(painter, 1);
        return true;
    case 145:
        satellite(painter, 2);
        return true;
    default:
        return false;
    }
}

QImage drawArt(int32_t resource, double scale) {
    const QSize size = artSize(resource);
    if (size.isEmpty()) {
        return QImage();
    }
    const std::optional<BackgroundColours> colours = backgroundColours(resource);
    QImage image(static_cast<int>(std::lround(size.width() * scale)),
                 static_cast<int>(std::lround(size.height() * scale)),
                 colours ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(colours ? QColor(colours->backdrop) : QColor(Qt::transparent));
    QPainter painter(&image);
    paintArt(painter, resource);
    return image;
}

} // namespace velocimo
