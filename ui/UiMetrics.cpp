#include "ui/UiMetrics.h"

#include <QApplication>
#include <QFontMetrics>

namespace kolvane {

int LineHeight() {
    static const int height = [] {
        const QFontMetrics metrics(QApplication::font());
        return metrics.height() + metrics.leading() + 4;
    }();
    return height;
}

int DialogUnit() {
    return static_cast<int>(4.6 * LineHeight());
}

}  // namespace kolvane
