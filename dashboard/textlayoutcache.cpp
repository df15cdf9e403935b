#include "dashboard/textlayoutcache.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLine>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace velocimo {

// The layout below follows QPainter::drawText(QRect, flags, QString) step for step (Qt 6):
// the same line breaks, line positions and alignment offsets, so drawing the kept lines at
// the kept origins puts every glyph where drawText would. The rendered-page tests and
// textlayoutcache_test compare the two pixel for pixel.

bool LaidOutText::layoutMatchesDrawText(const QPainter& painter, std::u16string_view text,
                                        int qtFlags) {
    constexpr int unsupported = Qt::TextShowMnemonic | Qt::TextHideMnemonic | Qt::TextWordWrap |
                                Qt::TextWrapAnywhere | Qt::TextExpandTabs |
                                Qt::TextJustificationForced | Qt::AlignJustify |
                                Qt::TextForceRightToLeft;
    // Qt::TextSingleLine shares its bit with Qt::AlignBaseline, which drawText ignores.
    if ((qtFlags & unsupported) != 0 || !(qtFlags & Qt::TextDontClip) ||
        painter.layoutDirection() == Qt::RightToLeft) {
        return false;
    }
    // U+009C separates length variants, which drawText picks from by fit. From U+0590 on
    // lie the right-to-left scripts, which an automatic direction would follow.
    return std::none_of(text.begin(), text.end(),
                        [](char16_t c) { return c == u'\x9c' || c >= u'\u0590'; });
}

LaidOutText::LaidOutText(const QFont& font, Qt::LayoutDirection direction, std::u16string_view text,
                         const QRect& rect, int qtFlags) {
    const bool singleLine = (qtFlags & Qt::TextSingleLine) != 0;
    QString s = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar& c : s) {
        if (c == u'\r' || c == u'\t' || (singleLine && c == u'\n')) {
            c = u' ';
        } else if (c == u'\n') {
            c = QChar::LineSeparator;
        }
    }
    if (s.isEmpty()) {
        return; // drawText prints nothing
    }
    m_layout.setText(s);
    m_layout.setFont(font);
    m_layout.setCacheEnabled(true);
    QTextOption option;
    option.setTextDirection(direction);
    option.setAlignment(Qt::AlignLeft); // the offsets below do the aligning
    m_layout.setTextOption(option);

    const qreal leading = QFontMetricsF(font).leading();
    qreal height = -leading;
    m_layout.beginLayout();
    for (;;) {
        QTextLine line = m_layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(0x01000000);
        height += leading;
        height = std::ceil(height); // lines on whole pixels
        line.setPosition(QPointF(0.0, height));
        height += line.ascent() + line.descent();
    }
    m_layout.endLayout();

    const QRectF r(rect);
    qreal yOffset = 0;
    if (qtFlags & Qt::AlignBottom) {
        yOffset = r.height() - height;
    } else if (qtFlags & Qt::AlignVCenter) {
        yOffset = (r.height() - height) / 2;
    }
    m_origins.reserve(static_cast<std::size_t>(m_layout.lineCount()));
    for (int i = 0; i < m_layout.lineCount(); ++i) {
        const qreal advance = m_layout.lineAt(i).horizontalAdvance();
        qreal xOffset = 0;
        if (qtFlags & Qt::AlignRight) {
            xOffset = r.width() - advance;
        } else if (qtFlags & Qt::AlignHCenter) {
            xOffset = (r.width() - advance) / 2;
        }
        m_origins.emplace_back(r.x() + xOffset, r.y() + yOffset);
    }
}

void LaidOutText::draw(QPainter& painter) const {
    for (std::size_t i = 0; i < m_origins.size(); ++i) {
        m_layout.lineAt(static_cast<int>(i)).draw(&painter, m_origins[i]);
    }
}

const LaidOutText& TextLayoutCache::find(const TextLayoutKey& key, const QPainter& painter) {
    ++m_clock;
    for (Entry& e : m_entries) {
        if (e.qtFlags == key.qtFlags && e.font == key.font && e.rect == key.rect &&
            e.text == key.text) {
            e.lastUse = m_clock;
            return *e.laidOut;
        }
    }
    Entry* slot = nullptr;
    if (m_entries.size() < kCapacity) {
        slot = &m_entries.emplace_back();
    } else {
        slot = &*std::min_element(
            m_entries.begin(), m_entries.end(),
            [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; });
    }
    slot->text.assign(key.text);
    slot->font = key.font;
    slot->rect = key.rect;
    slot->qtFlags = key.qtFlags;
    slot->laidOut = std::make_unique<LaidOutText>(
        painter.font(), painter.layoutDirection(), key.text,
        QRect(key.rect.left, key.rect.top, key.rect.right - key.rect.left,
              key.rect.bottom - key.rect.top),
        key.qtFlags);
    slot->lastUse = m_clock;
    ++m_made;
    return *slot->laidOut;
}

} // namespace velocimo
