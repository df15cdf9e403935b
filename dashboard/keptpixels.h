#pragma once

// Drawings kept from one paint to the next where the page under them has not changed, and
// the back buffer's record of where the last paint drew over its background picture.

#include <QImage>
#include <QRect>
#include <QRectF>

#include <cstdint>
#include <vector>

class QPainter;

namespace velocimo {

class KeptPage;

// What a drawing left on a patch of the page, with the pixels it was drawn over: drawn again
// over the same pixels it gives the same result, so that is copied instead. Only for a
// painter on a 32-bit image, scaled (a device pixel ratio) and moved by whole device pixels,
// unclipped and opaque.
class KeptPixels {
public:
    // Calls draw(), or copies its last result where the pixels under area (logical) are as
    // they were then. tag stands for whatever else the result depends on (a colour). page,
    // where given, knows where the pixels under are still the background picture's.
    template <class Draw>
    void paint(QPainter& painter, const QRect& area, uint64_t tag, const KeptPage* page,
               Draw&& draw) {
        const QImage* target = nullptr;
        const QImage* picture = nullptr;
        QRect patch;
        if (reuse(painter, area, tag, page, target, patch, picture)) {
            return;
        }
        QImage before = target && !picture ? target->copy(patch) : QImage();
        draw();
        if (target) {
            keep(painter, *target, patch, tag, picture, std::move(before));
        }
    }

private:
    bool reuse(QPainter& painter, const QRect& area, uint64_t tag, const KeptPage* page,
               const QImage*& target, QRect& patch, const QImage*& picture) const;
    void keep(const QPainter& painter, const QImage& target, const QRect& patch, uint64_t tag,
              const QImage* picture, QImage before);
    QRect m_patch; // device pixels
    qreal m_scaleX = 0;
    qreal m_scaleY = 0;
    QImage m_before;        // the pixels under, or
    QImage m_beforePicture; // the picture they were part of (at m_patch)
    QImage m_after;
    uint64_t m_tag = 0;
};

// The back buffer between paints: the device pixels the last paint drew over its background
// picture, so the next paint puts the picture back only there. Whatever draws must say where
// (drawn) or that it cannot (lost); the image must not be written to between paints.
class KeptPage {
public:
    // Puts picture (opaque, the image's size) on the image at (0, 0); imageKey is the
    // image's cacheKey() before the painter began.
    void drawBackground(QPainter& painter, const QImage& picture, qint64 imageKey);
    // The paint drew within area (logical).
    void drawn(const QPainter& painter, const QRectF& area);
    void lost() {
        m_pageKey = 0;
        m_tracking = false;
    }
    // After the painter ended on image.
    void finished(const QImage& image);
    // The picture, where the pixels under patch (device) are still its own; else null.
    const QImage* pictureUnder(const QRect& patch) const;

private:
    std::vector<QRect> m_dirty; // device pixels, drawn over since the picture
    qint64 m_dirtyArea = 0;
    qint64 m_pageKey = 0; // the image as the last paint left it; 0: unknown
    QImage m_picture;
    bool m_tracking = false; // drawn over the picture this paint
};

} // namespace velocimo
