#include "dashboard/coverage.h"

#include "dashboard/devicepixels.h"

#include <algorithm>
#include <cstring>

namespace velocimo {

void CoverageRuns::find(const QImage& coverage) {
    m_runs.clear();
    const int width = coverage.width();
    const int height = coverage.height();
    const Pixels pixels(coverage);
    // 0 clear, 1 opaque, 2 partly covered.
    const auto kind = [](QRgb p) { return qAlpha(p) == 0 ? 0 : qAlpha(p) == 255 ? 1 : 2; };
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(pixels.at(0, y));
        for (int x = 0; x < width;) {
            const int k = kind(row[x]);
            int end = x + 1;
            while (end < width && kind(row[end]) == k) {
                ++end;
            }
            if (k != 0) {
                m_runs.push_back({x, y, end - x, k == 1});
            }
            x = end;
        }
    }
}

void CoverageRuns::blend(const QImage& target, const QImage& coverage, QPoint at) const {
    const Pixels pixels(target);
    const Pixels from(coverage);
    for (const Run& run : m_runs) {
        const int y = at.y() + run.y;
        const int left = std::max(at.x() + run.x, 0);
        const int right = std::min(at.x() + run.x + run.length, target.width());
        if (y < 0 || y >= target.height() || left >= right) {
            continue;
        }
        auto* d = reinterpret_cast<QRgb*>(pixels.writable(left, y));
        const auto* c = reinterpret_cast<const QRgb*>(from.at(left - at.x(), run.y));
        if (run.opaque) {
            std::memcpy(d, c, static_cast<std::size_t>(right - left) * 4);
            continue;
        }
        for (int x = 0; x < right - left; ++x) {
            d[x] = c[x] + byteMul(d[x], 255 - qAlpha(c[x]));
        }
    }
}

} // namespace velocimo
