#pragma once

// Drawings kept from one paint to the next where the page under them has not changed, and
// the back buffer's record of where the last paint drew over its background picture.

#include <QImage>
#include <QRawFont>
#include <QRect>
#include <QRectF>
#include <QRgb>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <utility>
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
    // where given, is told before anything is drawn, and where the last paint left this
    // result in place the patch is left alone.
    template <class Draw>
    void paint(QPainter& painter, const QRect& area, uint64_t tag, KeptPage* page, Draw&& draw) {
        if (!worthKeeping(painter, area, page)) {
            draw();
            return;
        }
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
    // A drawing seen for the first time, or one whose page keeps changing under it, costs
    // more to keep (a comparison and two copies) than it saves: it is drawn plainly, and
    // tried again now and then. False once page, where given, has been told.
    bool worthKeeping(const QPainter& painter, const QRect& area, KeptPage* page);
    bool reuse(QPainter& painter, const QRect& area, uint64_t tag, KeptPage* page,
               const QImage*& target, QRect& patch, const QImage*& picture);
    void keep(const QPainter& painter, const QImage& target, const QRect& patch, uint64_t tag,
              const QImage* picture, QImage before);
    QRect m_patch; // device pixels
    qreal m_scaleX = 0;
    qreal m_scaleY = 0;
    QImage m_before;        // the pixels under, or
    QImage m_beforePicture; // the picture they were part of (at m_patch)
    QImage m_after;
    uint64_t m_tag = 0;
    bool m_seen = false;
    int m_misses = 0; // paints in a row that found other pixels under it
    int m_plain = 0;  // paints drawn plainly since
    // Which drawing, for the page's record: an address can be another's by the next paint.
    uint64_t m_id = nextId();
    static uint64_t nextId();
};

// Where a small text's glyphs landed: the next paint over it draws again only those that
// differ. Two glyphs drawn the same way (font, device, colour), of the same index at the same
// place, leave the same pixels.
struct DrawnGlyphs {
    struct Glyph {
        quint32 index = 0;
        QPointF origin; // the line's (logical)
        QPointF at;     // from the origin
        QRect box;      // the device pixels it touches
    };
    QRawFont font;
    QTransform device;
    QRgb colour = 0;
    int hints = 0;             // the painter's render hints
    std::vector<Glyph> glyphs; // in the order drawn
    bool drawnAlike(const DrawnGlyphs& other) const {
        return font == other.font && device == other.device && colour == other.colour &&
               hints == other.hints;
    }
};

// The back buffer between paints: the device pixels the last paint drew over its background
// picture. The picture goes back there only when the next paint is about to draw something
// else there, or at its end: where kept drawings overlap only each other, and the paint
// repeats them in the same order, what they left is left alone. Whatever draws must say
// where first (drawn) or that it cannot (lost); the image must not be written to between
// paints.
class KeptPage {
public:
    // Puts picture (opaque, the image's size) on the image at (0, 0); imageKey is the
    // image's cacheKey() before the painter began.
    void drawBackground(QPainter& painter, const QImage& picture, qint64 imageKey);
    // The paint is about to draw within area (logical).
    void drawn(const QPainter& painter, const QRectF& area);
    // As drawn for a text drawn next within area (its ink bounds, with room for smoothing),
    // but what a kept drawing of exactly area left last paint may stay, for the text's own
    // kept pixels to take.
    void expect(const QPainter& painter, const QRect& area);
    // After the text: true where it was not drawn kept over what was left for it; the page
    // under it is put right now, and it must be drawn again.
    bool unexpected();
    // For a text about to be drawn within area (its ink, logical) with glyphs: where the last
    // paint left a text there drawn alike, the page goes back only under its glyphs that
    // differ, and under those that stay where something else lay over them or next to those
    // put back. Gives which of glyphs to draw, in order, over what is there (valid until the
    // next call); null where it cannot (nothing done).
    const std::vector<char>* redrawDifferences(const QPainter& painter, const QRect& area,
                                               const std::shared_ptr<const DrawnGlyphs>& glyphs);
    // Marks made so far this paint; after a text drawn whole since marks, its glyphs.
    std::size_t marks() const { return m_dirty.size(); }
    void textDrawn(std::size_t marks, std::shared_ptr<const DrawnGlyphs> glyphs);
    // As drawn, for a paint about to write every pixel of area (logical) itself, starting
    // from the picture: what the last paint left there is not put back first. False where it
    // cannot (nothing done); else device holds those pixels, clipped to the image.
    bool replace(const QPainter& painter, const QRectF& area, QRect& device);
    // While tracking: the background picture, and for each of its rows within rect (device
    // pixels, within the image) the first there with the same pixels.
    const QImage& picture() const { return m_picture; }
    const std::vector<int>& alikeRows(const QRect& rect);
    void lost();
    // After the painter ended on image.
    void finished(const QImage& image);
    // The kept pixels of an icon at a place (logical), a few of them, the least recently
    // drawn dropped first.
    KeptPixels& keptIcon(int32_t resource, int32_t x, int32_t y);

private:
    friend class KeptPixels;
    struct Mark {
        Mark(const QRect& r, uint64_t o, std::shared_ptr<const DrawnGlyphs> g = nullptr)
            : rect(r), owner(o), glyphs(std::move(g)) {}
        QRect rect; // device pixels
        // The kept drawing whose last result this is; 0 for anything else.
        uint64_t owner = 0;
        std::shared_ptr<const DrawnGlyphs> glyphs; // a text's
    };
    // Last paint's marks that overlap one another, in the order drawn, not put back yet.
    struct Cluster {
        QRect bounds;
        std::vector<Mark> marks;
        bool kept = true;            // all drawn by kept drawings, each once
        std::size_t next = 0;        // marks this paint has repeated
        std::vector<QImage> results; // theirs
    };
    // Where owner, at patch, is what the last paint drew next there, it stays as it is.
    bool claim(uint64_t owner, const QRect& patch, const QImage& result);
    // Before owner draws at patch: the picture where the pixels under are its own, else null.
    const QImage* cover(uint64_t owner, const QRect& patch);
    // Puts the page right under the clusters that meet rect, but for one whose next mark
    // is a kept drawing at exactly keep; true where there were any.
    bool restoreUnder(const QRect& rect, const QRect& keep = QRect());
    // The last paint's marks, as clusters.
    void cluster();
    // All but what lies in hole.
    void restore(const Cluster& cluster, const QRect& hole = QRect()) const;
    void restoreAll();
    void putBack(const QRect& rect) const;
    // What of rect lies outside hole.
    void putBackAround(const QRect& rect, const QRect& hole) const;
    std::vector<Mark> m_dirty;    // this paint's
    std::vector<Cluster> m_stale; // the last paint's
    qint64 m_pageKey = 0;         // the image as the last paint left it; 0: unknown
    QImage m_picture;
    const QImage* m_image = nullptr; // while tracking
    QRect m_expected;                // device pixels, while a text is expected
    bool m_expecting = false;
    bool m_tracking = false; // drawn over the picture this paint
    struct Alike {
        qint64 picture = 0;
        QRect rect;
        std::vector<int> rows;
    };
    Alike m_alike;             // the last alikeRows answer
    std::vector<QRect> m_back; // redrawDifferences' own, kept for their room
    std::vector<char> m_redraw;
    std::vector<QRect> m_gone;
    struct Icon {
        int32_t resource = 0;
        int32_t x = 0;
        int32_t y = 0;
        KeptPixels kept;
        uint64_t lastUse = 0;
    };
    static constexpr std::size_t kIconCapacity = 16; // the buttons, the fix's frames
    std::vector<Icon> m_icons;
    uint64_t m_clock = 0;
};

} // namespace velocimo
