#include "shell/nightpalette.h"

#include <QApplication>
#include <QColor>
#include <QWidget>

namespace velocimo {

QPalette nightPalette() {
    const QColor text(220, 220, 220);
    const QColor dimText(120, 120, 120);
    QPalette p;
    p.setColor(QPalette::Window, QColor(30, 30, 30));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(8, 8, 8));
    p.setColor(QPalette::AlternateBase, QColor(30, 30, 30));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::PlaceholderText, dimText);
    p.setColor(QPalette::Button, QColor(66, 66, 66));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 90, 90));
    // The bevels of buttons and frames, shaded around the button grey.
    p.setColor(QPalette::Light, QColor(100, 100, 100));
    p.setColor(QPalette::Midlight, QColor(80, 80, 80));
    p.setColor(QPalette::Mid, QColor(48, 48, 48));
    p.setColor(QPalette::Dark, QColor(20, 20, 20));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0));
    p.setColor(QPalette::Highlight, QColor(40, 100, 170));
    p.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    p.setColor(QPalette::ToolTipBase, QColor(30, 30, 30));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Link, QColor(110, 170, 240));
    p.setColor(QPalette::LinkVisited, QColor(170, 140, 230));
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText}) {
        p.setColor(QPalette::Disabled, role, dimText);
    }
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(60, 60, 60));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(50, 50, 50));
    return p;
}

void applyNightPalette(bool night) {
    static bool isNightNow = false;
    if (night == isNightNow) {
        return;
    }
    isNightNow = night;
    // An empty palette sets no colour: the desktop's own show again, and follow its theme.
    QApplication::setPalette(night ? nightPalette() : QPalette());
    // A widget under a style sheet keeps the palette it was polished with: polish it again.
    for (QWidget* widget : QApplication::allWidgets()) {
        if (!widget->styleSheet().isEmpty()) {
            widget->setStyleSheet(widget->styleSheet());
        }
    }
}

} // namespace velocimo
