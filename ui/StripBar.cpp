#include "ui/StripBar.h"

#include <QMouseEvent>
#include <QPainter>

namespace kolvane {

CStripBar::CStripBar(QWidget* parent, QWidget* owner) : QWidget(parent), owner_(owner) {}

void CStripBar::SetPainter(Painter painter) {
    painter_ = std::move(painter);
    update();
}

void CStripBar::paintEvent(QPaintEvent*) {
    if (!painter_) return;
    QPainter painter(this);
    painter_(painter, rect());
}

void CStripBar::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    QWidget* owner = Owner();
    if ((button != Qt::LeftButton && button != Qt::RightButton) || owner == nullptr) {
        event->ignore();
        return;
    }
    const QPoint global = mapToGlobal(event->position().toPoint());
    emit Pressed(button, owner->mapFromGlobal(global));
}

}  // namespace kolvane
