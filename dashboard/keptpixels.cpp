#include "dashboard/keptpixels.h"

#include "dashboard/devicepixels.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace velocimo {

namespace {

// QRect::intersects, inline: the page's record is searched for every drawing.
[[gnu::always_inline]] inline bool meets(const QRect& a, const QRect& b) {
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom() &&
           b.top() <= a.bottom() && !a.isEmpty() && !b.isEmpty();
}

} // namespace

bool KeptPixels::worthKeeping(const QPainter& painter, const QRect& area, KeptPage* page) {
    constexpr int kMissesBeforePlain = 2;
    constexpr int kTryEvery = 8;
    const bool keep = std::exchange(m_seen, true) &&
                      (m_misses < kMissesBeforePlain || ++m_plain % kTryEvery == 0);
    if (!keep && page) {
        page->drawn(painter, QRectF(area));
    }
    return keep;
}

bool KeptPixels::reuse(QPainter& painter, const QRect& area, uint64_t tag, KeptPage* page,
                       const QImage*& target, QRect& patch, const QImage*& picture) {
    target = area.isEmpty() ? nullptr : directImage(painter);
    if (target) {
        const QTransform& device = painter.deviceTransform();
        patch = device.mapRect(QRectF(area)).toAlignedRect() & target->rect();
    }
    if (!target || patch.isEmpty()) {
        target = nullptr;
        if (page) {
            page->drawn(painter, QRectF(area));
        }
        return false;
    }
    const QTransform& device = painter.deviceTransform();
    const bool same =
        patch == m_patch && tag == m_tag && device.m11() == m_scaleX && device.m22() == m_scaleY;
    if (page) {
        if (same && page->claim(m_id, patch, m_after)) {
            m_misses = 0;
            return true;
        }
        picture = page->cover(m_id, patch);
    }
    if (!same) {
        return false;
    }
    if (!picture || picture->cacheKey() != m_beforePicture.cacheKey()) {
        // Compared pixel for pixel with what lay under last time.
        const bool fromPicture = !m_beforePicture.isNull();
        const QImage& under = fromPicture ? m_beforePicture : m_before;
        const QPoint at = fromPicture ? patch.topLeft() : QPoint(0, 0);
        if (under.format() != target->format() || !under.rect().contains(QRect(at, patch.size()))) {
            ++m_misses;
            return false;
        }
        const Pixels pixels(*target);
        const Pixels was(under);
        const auto rowBytes = static_cast<std::size_t>(patch.width()) * 4;
        for (int y = 0; y < patch.height(); ++y) {
            if (std::memcmp(pixels.at(patch.x(), patch.y() + y), was.at(at.x(), at.y() + y),
                            rowBytes) != 0) {
                ++m_misses;
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
    m_misses = 0;
    return true;
}

uint64_t KeptPixels::nextId() {
    static std::atomic<uint64_t> last = 0;
    return ++last;
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
    m_stale.clear();
    m_expecting = false;
    if (whole && m_pageKey != 0 && imageKey == m_pageKey &&
        picture.cacheKey() == m_picture.cacheKey()) {
        m_image = target;
        m_tracking = true;
        cluster();
    } else {
        painter.drawImage(0, 0, picture);
        // Only where drawImage put the picture as it is can it be copied back instead.
        m_tracking = whole && *target == picture;
        m_picture = m_tracking ? picture : QImage();
        m_image = m_tracking ? target : nullptr;
    }
    m_dirty.clear();
    m_pageKey = 0;
}

void KeptPage::cluster() {
    // Kept drawings' marks that overlap, drawn by the same drawings in the same order over
    // the same picture, leave the same pixels. Anything else is put back mark by mark, and
    // so is a kept drawing's mark that meets one.
    const std::size_t n = m_dirty.size();
    std::vector<std::size_t> root(n);
    std::vector<bool> kept(n);
    const auto find = [&](std::size_t i) {
        while (root[i] != i) {
            i = root[i] = root[root[i]];
        }
        return i;
    };
    for (std::size_t i = 0; i < n; ++i) {
        root[i] = i;
        kept[i] = m_dirty[i].owner != 0;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const Mark& mark = m_dirty[i];
        if (!mark.owner) {
            continue;
        }
        for (std::size_t j = 0; j < n; ++j) {
            const Mark& other = m_dirty[j];
            if (j == i || !meets(other.rect, mark.rect)) {
                continue;
            }
            if (!other.owner) {
                kept[i] = false;
            } else if (j < i) {
                root[find(j)] = find(i);
            }
            if (other.owner == mark.owner) {
                kept[i] = false; // its result is only the last
            }
        }
    }
    // Boxes that overlap or cover most of the page cost more to put back than one straight
    // copy. A text whose glyphs are known is mostly left as it is, or put back glyph by glyph.
    qint64 area = 0;
    for (std::size_t i = 0; i < n; ++i) {
        area += kept[i] || m_dirty[i].glyphs
                    ? 0
                    : qint64(m_dirty[i].rect.width()) * m_dirty[i].rect.height();
    }
    const QRect all = m_image->rect();
    if (area * 2 > qint64(all.width()) * all.height()) {
        putBack(all);
        return;
    }
    std::vector<std::size_t> slot(n, n);
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t& s = slot[m_dirty[i].owner ? find(i) : i];
        if (s == n) {
            s = m_stale.size();
            m_stale.emplace_back();
        }
        Cluster& c = m_stale[s];
        c.bounds |= m_dirty[i].rect;
        c.marks.push_back(m_dirty[i]);
        c.kept = c.kept && kept[i];
    }
}

void KeptPage::putBack(const QRect& rect) const {
    const QRect patch = rect & m_image->rect();
    const Pixels pixels(*m_image);
    const Pixels from(m_picture);
    const auto rowBytes = static_cast<std::size_t>(patch.width()) * 4;
    for (int y = patch.top(); y <= patch.bottom(); ++y) {
        std::memcpy(pixels.writable(patch.left(), y), from.at(patch.left(), y), rowBytes);
    }
}

void KeptPage::putBackAround(const QRect& rect, const QRect& hole) const {
    if (!meets(rect, hole)) {
        putBack(rect);
        return;
    }
    const int top = std::max(rect.top(), hole.top());
    const int bottom = std::min(rect.bottom(), hole.bottom());
    const QRect parts[4] = {
        QRect(QPoint(rect.left(), rect.top()), QPoint(rect.right(), hole.top() - 1)),
        QRect(QPoint(rect.left(), hole.bottom() + 1), QPoint(rect.right(), rect.bottom())),
        QRect(QPoint(rect.left(), top), QPoint(hole.left() - 1, bottom)),
        QRect(QPoint(hole.right() + 1, top), QPoint(rect.right(), bottom)),
    };
    for (const QRect& part : parts) {
        if (part.isValid()) {
            putBack(part);
        }
    }
}

void KeptPage::restore(const Cluster& cluster, const QRect& hole) const {
    for (const Mark& m : cluster.marks) {
        putBackAround(m.rect, hole);
    }
    // What this paint has repeated of it so far, again over the picture.
    const Pixels pixels(*m_image);
    for (std::size_t i = 0; i < cluster.results.size(); ++i) {
        const QRect& patch = cluster.marks[i].rect;
        const Pixels from(cluster.results[i]);
        const auto rowBytes = static_cast<std::size_t>(patch.width()) * 4;
        for (int y = 0; y < patch.height(); ++y) {
            std::memcpy(pixels.writable(patch.x(), patch.y() + y), from.at(0, y), rowBytes);
        }
    }
}

bool KeptPage::restoreUnder(const QRect& rect, const QRect& keep) {
    bool any = false;
    std::erase_if(m_stale, [&](const Cluster& c) {
        if (!meets(c.bounds, rect) ||
            std::none_of(c.marks.begin(), c.marks.end(),
                         [&](const Mark& m) { return meets(m.rect, rect); })) {
            return false;
        }
        if (c.kept && c.marks[c.next].rect == keep) {
            return false;
        }
        restore(c);
        any = true;
        return true;
    });
    return any;
}

void KeptPage::restoreAll() {
    if (m_tracking) {
        for (const Cluster& c : m_stale) {
            restore(c);
        }
    }
    m_stale.clear();
}

void KeptPage::drawn(const QPainter& painter, const QRectF& area) {
    m_expecting = false;
    if (!m_tracking) {
        m_pageKey = 0;
        return;
    }
    if (!area.isEmpty()) {
        const QRect r = painter.deviceTransform().mapRect(area).toAlignedRect();
        restoreUnder(r);
        m_dirty.push_back({r, 0});
    }
}

void KeptPage::expect(const QPainter& painter, const QRect& area) {
    m_expecting = m_tracking && !area.isEmpty();
    if (!m_expecting) {
        return;
    }
    m_expected = painter.deviceTransform().mapRect(QRectF(area)).toAlignedRect() & m_image->rect();
    restoreUnder(m_expected, m_expected);
}

bool KeptPage::unexpected() {
    if (!m_expecting) {
        return false;
    }
    // Drawn without its kept pixels, so within area: only what was left for those is wrong.
    m_expecting = false;
    const bool again = restoreUnder(m_expected);
    m_dirty.push_back({m_expected, 0});
    return again;
}

const std::vector<char>*
KeptPage::redrawDifferences(const QPainter& painter, const QRect& area,
                            const std::shared_ptr<const DrawnGlyphs>& glyphs) {
    if (!m_tracking || area.isEmpty() || !glyphs) {
        return nullptr;
    }
    const QRect r =
        painter.deviceTransform().mapRect(QRectF(area)).toAlignedRect() & m_image->rect();
    // A text the last paint drew there the same way, whose cluster nothing has taken yet.
    std::size_t cluster = m_stale.size();
    const Mark* last = nullptr;
    for (std::size_t c = 0; c < m_stale.size() && !last; ++c) {
        if (m_stale[c].next != 0) {
            continue;
        }
        for (const Mark& m : m_stale[c].marks) {
            if (m.glyphs && meets(m.rect, r) &&
                (m.glyphs == glyphs || m.glyphs->drawnAlike(*glyphs))) {
                cluster = c;
                last = &m;
                break;
            }
        }
    }
    const std::vector<DrawnGlyphs::Glyph>& now = glyphs->glyphs;
    // Its mark hugs its glyphs: a neighbour's ink box often meets a text's, their glyphs not.
    QRect mark;
    for (const DrawnGlyphs::Glyph& g : now) {
        mark |= g.box;
    }
    if (r.isEmpty() || !last || !r.contains(mark)) {
        return nullptr;
    }
    mark &= m_image->rect();
    const std::vector<DrawnGlyphs::Glyph>& was = last->glyphs->glyphs;
    // A glyph stays where the last text has the same at the same place; those that stay keep
    // their order (where they overlap, the later is on top).
    std::vector<char>& redraw = m_redraw;
    redraw.assign(now.size(), 0);
    std::vector<QRect>& back = m_back; // goes back to the picture
    back.clear();
    if (last->glyphs != glyphs) {
        std::size_t from = 0;
        for (std::size_t i = 0; i < now.size(); ++i) {
            const DrawnGlyphs::Glyph& g = now[i];
            std::size_t j = from;
            while (j < was.size() &&
                   !(was[j].index == g.index && was[j].at == g.at && was[j].origin == g.origin)) {
                ++j;
            }
            if (j == was.size()) {
                redraw[i] = 1;
                back.push_back(g.box);
                continue;
            }
            for (; from < j; ++from) {
                back.push_back(was[from].box);
            }
            from = j + 1;
        }
        for (; from < was.size(); ++from) {
            back.push_back(was[from].box);
        }
    }
    QRect reach = mark;
    for (const QRect& b : back) {
        reach |= b & m_image->rect();
    }
    for (const Mark& m : m_dirty) {
        if (meets(m.rect, reach)) {
            return nullptr;
        }
    }
    // Everything else the last paint left there goes, as under any text; a glyph that stays
    // where that or a glyph put back lay is drawn again whole, until none meets either.
    std::vector<QRect>& gone = m_gone;
    gone.assign(back.begin(), back.end());
    for (std::size_t c = 0; c < m_stale.size(); ++c) {
        for (const Mark& m : m_stale[c].marks) {
            if (&m != last && meets(m.rect, reach)) {
                gone.push_back(m.rect);
            }
        }
    }
    for (bool more = !gone.empty(); more;) {
        more = false;
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (!redraw[i] && std::any_of(gone.begin(), gone.end(),
                                          [&](const QRect& q) { return meets(q, now[i].box); })) {
                redraw[i] = 1;
                back.push_back(now[i].box);
                gone.push_back(now[i].box);
                more = true;
            }
        }
    }
    m_expecting = false;
    for (const Mark& m : m_stale[cluster].marks) {
        if (&m != last) {
            putBack(m.rect); // nothing of its cluster was repeated
        }
    }
    m_stale.erase(m_stale.begin() + std::ptrdiff_t(cluster));
    restoreUnder(reach);
    for (const QRect& b : back) {
        if (!b.isEmpty()) {
            putBack(b);
        }
    }
    m_dirty.push_back({mark, 0, glyphs});
    return &redraw;
}

void KeptPage::textDrawn(std::size_t marks, std::shared_ptr<const DrawnGlyphs> glyphs) {
    if (m_tracking && m_dirty.size() == marks + 1) {
        m_dirty.back().glyphs = std::move(glyphs);
    }
}

bool KeptPage::replace(const QPainter& painter, const QRectF& area, QRect& device) {
    if (!m_tracking || area.isEmpty()) {
        return false;
    }
    const QRect r = painter.deviceTransform().mapRect(area).toAlignedRect() & m_image->rect();
    // What this paint has drawn there already must stay.
    if (r.isEmpty() ||
        std::any_of(m_dirty.begin(), m_dirty.end(),
                    [&](const Mark& m) { return meets(m.rect, r); }) ||
        std::any_of(m_stale.begin(), m_stale.end(),
                    [&](const Cluster& c) { return c.next > 0 && meets(c.bounds, r); })) {
        return false;
    }
    m_expecting = false;
    std::erase_if(m_stale, [&](const Cluster& c) {
        if (!meets(c.bounds, r)) {
            return false;
        }
        restore(c, r); // nothing of it repeated yet: only its marks
        return true;
    });
    m_dirty.push_back({r, 0});
    device = r;
    return true;
}

const std::vector<int>& KeptPage::alikeRows(const QRect& rect) {
    if (m_alike.picture != m_picture.cacheKey() || m_alike.rect != rect) {
        // A few kinds of row at most in a box of the page: more are each their own.
        constexpr std::size_t kKinds = 8;
        std::vector<int> kinds;
        m_alike.rows.assign(static_cast<std::size_t>(rect.height()), 0);
        const Pixels pixels(m_picture);
        const auto rowBytes = static_cast<std::size_t>(rect.width()) * 4;
        for (int y = 0; y < rect.height(); ++y) {
            const uchar* row = pixels.at(rect.left(), rect.top() + y);
            const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](int k) {
                return std::memcmp(row, pixels.at(rect.left(), rect.top() + k), rowBytes) == 0;
            });
            m_alike.rows[y] = kind != kinds.end() ? *kind : y;
            if (kind == kinds.end() && kinds.size() < kKinds) {
                kinds.push_back(y);
            }
        }
        m_alike.picture = m_picture.cacheKey();
        m_alike.rect = rect;
    }
    return m_alike.rows;
}

bool KeptPage::claim(uint64_t owner, const QRect& patch, const QImage& result) {
    m_expecting = false;
    if (!m_tracking) {
        return false;
    }
    for (auto c = m_stale.begin(); c != m_stale.end(); ++c) {
        const Mark& next = c->marks[c->next];
        if (c->kept && next.owner == owner && next.rect == patch) {
            c->results.push_back(result);
            if (++c->next == c->marks.size()) {
                m_stale.erase(c); // all there as the last paint left it
            }
            m_dirty.push_back({patch, owner});
            return true;
        }
    }
    return false;
}

const QImage* KeptPage::cover(uint64_t owner, const QRect& patch) {
    m_expecting = false;
    if (!m_tracking) {
        m_pageKey = 0;
        return nullptr;
    }
    restoreUnder(patch);
    const bool under = std::none_of(m_dirty.begin(), m_dirty.end(),
                                    [&](const Mark& m) { return meets(m.rect, patch); });
    m_dirty.push_back({patch, owner});
    return under ? &m_picture : nullptr;
}

void KeptPage::lost() {
    restoreAll();
    m_expecting = false;
    m_pageKey = 0;
    m_tracking = false;
}

void KeptPage::finished(const QImage& image) {
    // A paint that did not start with the picture, or drew where it could not say, leaves
    // the next one to draw it whole.
    restoreAll();
    m_pageKey = m_tracking ? image.cacheKey() : 0;
    m_tracking = false;
    m_image = nullptr;
}

KeptPixels& KeptPage::keptIcon(int32_t resource, int32_t x, int32_t y) {
    ++m_clock;
    for (Icon& i : m_icons) {
        if (i.resource == resource && i.x == x && i.y == y) {
            i.lastUse = m_clock;
            return i.kept;
        }
    }
    Icon* slot = nullptr;
    if (m_icons.size() < kIconCapacity) {
        slot = &m_icons.emplace_back();
    } else {
        slot = &*std::min_element(m_icons.begin(), m_icons.end(), [](const Icon& a, const Icon& b) {
            return a.lastUse < b.lastUse;
        });
        slot->kept = KeptPixels();
    }
    slot->resource = resource;
    slot->x = x;
    slot->y = y;
    slot->lastUse = m_clock;
    return slot->kept;
}

} // namespace velocimo
