#include "ui/SelectMenu.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "ui/UiMetrics.h"

namespace kolvane {

CSelectMenu::CSelectMenu(const CColors& colors, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), colors_(&colors) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void CSelectMenu::SetItems(const QStringList& items) {
    items_ = items;
    first_ = 0;
    highlighted_ = items_.isEmpty() ? -1 : 0;
    update();
}

void CSelectMenu::SetVisibleRows(int rows) {
    visibleRows_ = std::max(1, rows);
}

int CSelectMenu::VisibleRows() const {
    return std::min(visibleRows_, static_cast<int>(items_.size()));
}

int CSelectMenu::RowHeight() const {
    return LineHeight();
}

QRect CSelectMenu::ItemRect(int index) const {
    return QRect(1, 1 + (index - first_) * RowHeight(), width() - 2, RowHeight());
}

void CSelectMenu::Open(const QRect& anchor, int current) {
    if (items_.isEmpty()) return;
    const int rows = VisibleRows();
    QRect frame(anchor.left(), anchor.bottom() + 1, anchor.width(), rows * RowHeight() + 2);
    // Opens upwards when the screen ends below the anchor.
    if (const QScreen* screen = QGuiApplication::screenAt(anchor.center())) {
        if (frame.bottom() > screen->availableGeometry().bottom()) {
            frame.moveBottom(anchor.top() - 1);
        }
    }
    setGeometry(frame);
    Highlight(std::clamp(current, 0, static_cast<int>(items_.size()) - 1));
    show();
    setFocus(Qt::PopupFocusReason);
}

void CSelectMenu::Highlight(int index) {
    if (items_.isEmpty()) return;
    highlighted_ = std::clamp(index, 0, static_cast<int>(items_.size()) - 1);
    const int rows = VisibleRows();
    if (highlighted_ < first_) first_ = highlighted_;
    if (highlighted_ >= first_ + rows) first_ = highlighted_ - rows + 1;
    update();
}

void CSelectMenu::Choose(int index) {
    hide();
    if (index >= 0 && index < items_.size()) emit Chosen(index);
}

int CSelectMenu::IndexAt(QPoint point) const {
    if (!rect().contains(point)) return -1;
    const int index = first_ + (point.y() - 1) / RowHeight();
    return index < items_.size() ? index : -1;
}

void CSelectMenu::mouseMoveEvent(QMouseEvent* event) {
    const int index = IndexAt(event->position().toPoint());
    if (index >= 0 && index != highlighted_) Highlight(index);
}

void CSelectMenu::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int index = IndexAt(event->position().toPoint());
    if (index >= 0) Choose(index);
}

void CSelectMenu::wheelEvent(QWheelEvent* event) {
    const int maxFirst = std::max(0, static_cast<int>(items_.size()) - VisibleRows());
    first_ = std::clamp(first_ + (event->angleDelta().y() > 0 ? -1 : 1), 0, maxFirst);
    update();
}

void CSelectMenu::keyPressEvent(QKeyEvent* event) {
    const int page = std::max(1, VisibleRows() - 1);
    switch (event->key()) {
        case Qt::Key_Up:
            Highlight(highlighted_ - 1);
            break;
        case Qt::Key_Down:
            Highlight(highlighted_ + 1);
            break;
        case Qt::Key_PageUp:
            Highlight(highlighted_ - page);
            break;
        case Qt::Key_PageDown:
            Highlight(highlighted_ + page);
            break;
        case Qt::Key_Home:
            Highlight(0);
            break;
        case Qt::Key_End:
            Highlight(static_cast<int>(items_.size()) - 1);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            Choose(highlighted_);
            break;
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            hide();
            break;
        default:
            break;  // a popup keeps every key to itself
    }
}

void CSelectMenu::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit Closed();
}

void CSelectMenu::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.save();
    painter.fillRect(rect(), colors_->Fill(CColors::kField));
    painter.setPen(colors_->Line(CColors::kFace));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.restore();

    painter.save();
    const int last = std::min(static_cast<int>(items_.size()), first_ + VisibleRows());
    for (int i = first_; i < last; ++i) {
        const QRect row = ItemRect(i);
        const CColors::State state = i == highlighted_ ? CColors::kSelected : CColors::kNormal;
        if (i == highlighted_) painter.fillRect(row, colors_->Fill(CColors::kField, state));
        painter.setPen(colors_->Text(CColors::kField, state));
        painter.drawText(row.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, items_[i]);
    }
    painter.restore();
}

}  // namespace kolvane
