#include "ui/PlaceholderPanel.h"

#include <QPainter>

namespace kolvane {

CPlaceholderPanel::CPlaceholderPanel(QColor base, QString title, QWidget* parent)
    : QWidget(parent), base_(base), title_(std::move(title)) {}

void CPlaceholderPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), base_.darker(400));
    painter.setPen(base_.lighter(130));
    painter.drawText(rect(), Qt::AlignCenter, title_);
}

}  // namespace kolvane
