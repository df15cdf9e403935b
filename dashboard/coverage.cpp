#include "dashboard/coverage.h"

#include "dashboard/devicepixels.h"

#include <algorithm>
#include <cstring>

namespace velocimo {

void CoverageRuns::find(const QImage& coverage) {
    m_runs.clear();
    for (int y = 0; y < coverage.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(coverage.constScanLine(y));
        const auto kind = [&](int i) {
            return qAlpha(row[i]) == 0 ? 0 : qAlpha(row[i]) == 255 ? 1 : 2;
        };
        for (int x = 0; x < coverage.width();) {
            int end = x + 1;
            while (end < coverage.width() && kind(end) == kind(x)) {
                ++end;
            }
            if (kind(x) != 0) {
                m_runs.push_back({x, y, end - x, kind(x) == 1});
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
