// Writes the dashboard's icons and background pictures as PNGs. Run by the regenerate-art
// target; its output is committed next to this file.

#include "resources/art/artnames.h"
#include "resources/art/artpaint.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QVector>

#include <cmath>
#include <cstdio>

namespace {

using velocimo::BackgroundColours;

QRgb mix(QRgb a, QRgb b, double t) {
    auto m = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return qRgb(m(qRed(a), qRed(b)), m(qGreen(a), qGreen(b)), m(qBlue(a), qBlue(b)));
}

// 8-bit palette pictures: the shapes are drawn smooth and then mapped to a palette of
// blends between the backdrop, the face and the rim colours.
QImage reduced(const QImage& img, const BackgroundColours& c) {
    QVector<QRgb> palette;
    for (int i = 0; i < 86; ++i) {
        palette << mix(c.backdrop, c.face, i / 85.0);
    }
    for (int i = 1; i < 86; ++i) {
        palette << mix(c.backdrop, c.rim, i / 85.0);
    }
    for (int i = 1; i < 86; ++i) {
        palette << mix(c.face, c.rim, i / 85.0);
    }
    palette.resize(256, c.backdrop);
    return img.convertToFormat(QImage::Format_Indexed8, palette,
                               Qt::ThresholdDither | Qt::AvoidDither);
}

bool write(int32_t resource, const QString& folder) {
    const std::optional<BackgroundColours> colours = velocimo::backgroundColours(resource);
    QImage img(velocimo::artSize(resource),
               colours ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    img.fill(colours ? QColor(colours->backdrop) : QColor(Qt::transparent));
    {
        QPainter p(&img);
        velocimo::paintArt(p, resource);
    }
    if (colours) {
        img = reduced(img, *colours);
    }
    // The file name as the resource knows it, without the ":/art/" prefix.
    const QString name = QString::fromLatin1(velocimo::artResourcePath(resource)).section('/', -1);
    const QString path = folder + "/" + name;
    if (!img.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    for (int32_t resource :
         {115, 116, 127, 129, 130, 132, 135, 143, 144, 145, 142, 112, 138, 137}) {
        if (!write(resource, folder)) {
            return 1;
        }
    }
    return 0;
}
