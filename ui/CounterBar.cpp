#include "ui/CounterBar.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>

#include "model/ListList.h"
#include "ui/UiMetrics.h"

namespace kolvane {

CCounterBar::CCounterBar(const CColors& colors, QWidget* parent)
    : QWidget(parent),
      colors_(&colors),
      doubleClickMs_(QGuiApplication::styleHints()->mouseDoubleClickInterval()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CCounterBar::SetList(CListList* sheet) {
    sheet_ = sheet;
    update();
}

void CCounterBar::SetFirstRow(int row) {
    firstRow_ = std::max(0, row);
    update();
}

void CCounterBar::SetFrameStart(int frameStart) {
    frameStart_ = frameStart;
    update();
}

void CCounterBar::SetHeaderHeight(int pixels) {
    headerHeight_ = std::max(0, pixels);
    update();
}

int CCounterBar::FrameAt(QPoint point) const {
    if (sheet_ == nullptr || point.y() < headerHeight_) return -1;
    const int row = firstRow_ + (point.y() - headerHeight_) / LineHeight();
    const int lastFrame = std::max(0, sheet_->LongestLevel() - 2);
    return std::min(row, lastFrame);
}

void CCounterBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int frame = FrameAt(event->position().toPoint());
    if (frame < 0) return;
    const std::int64_t now = clock_->NowMs();
    const bool second = frame == sheet_->currentPosition && frame == lastClickFrame_ &&
                        now - lastClickMs_ <= doubleClickMs_;
    lastClickMs_ = now;
    lastClickFrame_ = frame;
    if (second) {
        lastClickFrame_ = -1;  // a third click starts over
        emit Command(kViewPlayerCommand);
        return;
    }
    if (const int from = sheet_->currentPosition; from != frame) {
        sheet_->currentPosition = frame;
        update();
        emit CurrentFrameChanged(frame, from);
    }
}

void CCounterBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.save();
    painter.fillRect(rect(), Qt::black);
    // Above the numbers, level with the grid's column headers.
    if (headerHeight_ > 0) {
        painter.fillRect(QRect(0, 0, width(), headerHeight_ - 1), colors_->Fill(CColors::kFace));
    }
    painter.restore();
    PaintRows(painter);
}

void CCounterBar::PaintRows(QPainter& painter) const {
    if (sheet_ == nullptr) return;
    painter.save();
    const int line = LineHeight();
    const int frames = std::max(0, sheet_->LongestLevel() - 1);
    for (int y = headerHeight_, row = firstRow_; y < height() && row < frames; y += line, ++row) {
        const QRect cell(0, y, width(), line);
        const bool current = row == sheet_->currentPosition;
        const CColors::State state = current ? CColors::kSelected : CColors::kNormal;
        painter.fillRect(cell.adjusted(0, 0, -1, -1), colors_->Fill(CColors::kField, state));
        painter.setPen(colors_->Text(CColors::kField, state));
        painter.drawText(cell.adjusted(2, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(row + frameStart_));
    }
    painter.restore();
}

}  // namespace kolvane
