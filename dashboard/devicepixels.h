#pragma once

// Reading and writing the back buffer's device pixels in place, beside the painter drawing
// on it: shared by the kept drawings and the big digits' fill.

#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPoint>
#include <QRgb>
#include <QTransform>

#include <cmath>

namespace velocimo {

// The image under a painter whose drawing lands on device pixels that can be read and
// written in place: 32 bits a pixel, reached through a positive scale (a device pixel ratio)
// and a whole-pixel move, unclipped and opaque. Null for any other painter.
inline const QImage* directImage(const QPainter& painter) {
    const QTransform& device = painter.deviceTransform();
    if (painter.device()->devType() != QInternal::Image || device.type() > QTransform::TxScale ||
        device.m11() <= 0 || device.m22() <= 0 || device.dx() != std::floor(device.dx()) ||
        device.dy() != std::floor(device.dy()) || painter.hasClipping() ||
        painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
        return nullptr;
    }
    const auto* image = static_cast<const QImage*>(painter.device());
    return image->depth() == 32 ? image : nullptr;
}

inline QPoint deviceShift(const QPainter& painter) {
    const QTransform& device = painter.deviceTransform();
    return {static_cast<int>(device.dx()), static_cast<int>(device.dy())};
}

// An image's 32-bit pixels, addressed without a call per row.
struct Pixels {
    explicit Pixels(const QImage& image) : bits(image.constBits()), stride(image.bytesPerLine()) {}
    const uchar* at(int x, int y) const { return bits + y * stride + x * 4; }
    // Only for the painter's own image: the raster engine draws straight into these bytes,
    // so writing here is drawing, without the scaled blits drawImage makes at most ratios.
    uchar* writable(int x, int y) const { return const_cast<uchar*>(at(x, y)); }
    const uchar* bits;
    qsizetype stride;
};

// x * a / 255 per channel, rounded as Qt's blending rounds it.
inline QRgb byteMul(QRgb x, uint a) {
    uint t = (x & 0xff00ffu) * a;
    t = ((t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = (x + ((x >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
    return x | t;
}

} // namespace velocimo
