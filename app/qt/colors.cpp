#include "app/qt/colors.h"

#include <QApplication>
#include <QPalette>

namespace tonemark {

QColor ToQColor(Color color) {
    if (!IsSystemColor(color)) return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    const QPalette palette = QApplication::palette();
    switch (SystemColorIndex(color)) {
        case 5: return palette.color(QPalette::Base);             // window background
        case 7: return palette.color(QPalette::WindowText);       // menu text
        case 8: return palette.color(QPalette::Text);             // window text
        case 9: return palette.color(QPalette::HighlightedText);  // caption text
        case 14: return palette.color(QPalette::HighlightedText);
        default: return palette.color(QPalette::Window);
    }
}

}  // namespace tonemark
