#include "dashboard/keptpixels.h"

#include "dashboard/devicepixels.h"

#include <QPainter>

#include <cstring>

namespace velocimo {

bool KeptPixels::reuse(QPainter& painter, const QRect& area, uint64_t tag, const KeptPage* page,
                       const QImage*& target, QRect& patch, const QImage*& picture) const {
    target = area.isEmpty() ? nullptr : directImage(painter);
    if (!target) {
        return false;
    }
    const QTransform& device = painter.deviceTransform();
    patch = device.mapRect(QRectF(area)).toAlignedRect() & target->rect();
    if (patch.isEmpty()) {
        target = nullptr;
        return false;
    }
    picture = page ? page->pictureUnder(patch) : nullptr;
    if (patch != m_patch || tag != m_tag || device.m11() != m_scaleX || device.m22() != m_scaleY) {
        return false;
    }
    if (!picture || picture->cacheKey() != m_beforePicture.cacheKey()) {
        // Compared pixel for pixel with what lay under last time.
        const bool fromPicture = !m_beforePicture.isNull();
        const QImage& under = fromPicture ? m_beforePicture : m_before;
        const QPoint at = fromPicture ? patch.topLeft() : QPoint(0, 0);
        if (under.format() != target->format() || !under.rect().contains(QRect(at, patch.size()))) {
            return false;
        }
        const Pixels pixels(*target);
        const Pixels was(under);
        const auto rowBytes = static_cast<std::size_t>(patch.width()) * 4;
        for (int y = 0; y < patch.height(); ++y) {
            if (std::memcmp(pixels.at(patch.x(), patch.y() + y), was.at(at.x(), at.y() + y),
                            rowBytes) != 0) {
                return false;
            }
        }
    }
    const Pixels pixels(*target);
    const Pixels after(m_after);
    const auto rowBytes = static_cast<std::size_t>(patch.width()) * 4;
    for (int y = 0; y < patch.height(); ++y) {
        std::memcpy(pixels.writable(patch.x(), patch.y() + y), after.at(0, y), rowBytes);
    }
    return true;
}

void KeptPixels::keep(const QPainter& painter, const QImage& target, const QRect& patch,
                      uint64_t tag, const QImage* picture, QImage before) {
    m_before = std::move(before);
    m_beforePicture = picture ? *picture : QImage();
    m_after = target.copy(patch);
    m_patch = patch;
    m_tag = tag;
    m_scaleX = painter.deviceTransform().m11();
    m_scaleY = painter.deviceTransform().m22();
}

void KeptPage::drawBackground(QPainter& painter, const QImage& picture, qint64 imageKey) {
    const QImage* target = directImage(painter);
    const bool whole = target && painter.deviceTransform().dx() == 0 &&
                       painter.deviceTransform().dy() == 0 && !picture.hasAlphaChannel() &&
                       picture.size() == target->size() && picture.format() == target->format();
    if (whole && m_pageKey != 0 && imageKey == m_pageKey &&
        picture.cacheKey() == m_picture.cacheKey()) {
        const QRect all = target->rect();
        const Pixels pixels(*target);
        const Pixels from(picture);
        // Boxes that overlap or cover most of the page cost more than one straight copy.
        const bool most = m_dirtyArea * 2 > qint64(all.width()) * all.height();
        if (most) {
            m_dirty.assign(1, all);
        }
        for (const QRect& r : m_dirty) {
            const QRect patch = r & all;
            const auto rowBytes = static_cast<std::size_t>(patch.width()) * 4;
            for (int y = patch.top(); y <= patch.bottom(); ++y) {
                std::memcpy(pixels.writable(patch.left(), y), from.at(patch.left(), y), rowBytes);
            }
        }
        m_tracking = true;
    } else {
        painter.drawImage(0, 0, picture);
        // Only where drawImage put the picture as it is can it be copied back instead.
        m_tracking = whole && *target == picture;
        m_picture = m_tracking ? picture : QImage();
    }
    m_dirty.clear();
    m_dirtyArea = 0;
    m_pageKey = 0;
}

void KeptPage::drawn(const QPainter& painter, const QRectF& area) {
    if (!m_tracking) {
        m_pageKey = 0;
        return;
    }
    if (!area.isEmpty()) {
        const QRect& r =
            m_dirty.emplace_back(painter.deviceTransform().mapRect(area).toAlignedRect());
        m_dirtyArea += qint64(r.width()) * r.height();
    }
}

const QImage* KeptPage::pictureUnder(const QRect& patch) const {
    if (!m_tracking) {
        return nullptr;
    }
    for (const QRect& r : m_dirty) {
        if (r.intersects(patch)) {
            return nullptr;
        }
    }
    return &m_picture;
}

void KeptPage::finished(const QImage& image) {
    // A paint that did not start with the picture, or drew where it could not say, leaves
    // the next one to draw it whole.
    m_pageKey = m_tracking ? image.cacheKey() : 0;
    m_tracking = false;
}

} // namespace velocimo
