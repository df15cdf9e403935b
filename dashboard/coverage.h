#pragma once

// A premultiplied coverage image (a colour times how much of each pixel a shape covers) put
// over the page as QPainter::drawImage puts it unscaled, without the painter: the kept
// strokes and the big digits' fill.

#include <QImage>
#include <QPoint>

#include <vector>

namespace velocimo {

// A coverage image's rows as runs of opaque pixels (copied) and of partly covered ones
// (blended); what lies between is clear.
class CoverageRuns {
public:
    void find(const QImage& coverage);
    // Over target, the coverage's top left at (device pixels).
    void blend(const QImage& target, const QImage& coverage, QPoint at) const;

private:
    struct Run {
        int x;
        int y;
        int length;
        bool opaque;
    };
    std::vector<Run> m_runs;
};

} // namespace velocimo
