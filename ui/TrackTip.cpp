#include "ui/TrackTip.h"

#include <QPainter>

#include "ui/UiMetrics.h"

namespace kolvane {

CTrackTip::CTrackTip(const CColors& colors, QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint), colors_(&colors) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
}

void CTrackTip::ShowAt(QPoint globalPoint, const QString& text) {
    text_ = text;
    const int line = LineHeight();
    const int width = fontMetrics().horizontalAdvance(text_) + line;
    setGeometry(globalPoint.x() + line / 2, globalPoint.y() + line, width, line);
    if (!isVisible()) show();
    update();
}

void CTrackTip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.save();
    painter.fillRect(rect(), colors_->Fill(CColors::kFace));
    painter.setPen(colors_->Line(CColors::kFace));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.restore();
    painter.save();
    painter.setPen(colors_->Text(CColors::kFace));
    painter.drawText(rect(), Qt::AlignCenter, text_);
    painter.restore();
}

}  // namespace kolvane
