#include "ui/BasicPanel.h"

#include <QPainter>
#include <QWheelEvent>

#include "ui/BasicButton.h"
#include "ui/ScrollBar.h"

namespace kolvane {
namespace {
constexpr int kNotch = 120;  // one wheel notch in eighths of a degree
}

CBasicPanel::CBasicPanel(ICommandSink& sink, QColor base, QWidget* parent)
    : QWidget(parent), sink_(sink), colors_(base) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CBasicPanel::SetScrollBars(CScrollBar* vertical, CScrollBar* horizontal) {
    vertical_ = vertical;
    horizontal_ = horizontal;
}

CBasicButton* CBasicPanel::AddButton(int command, const QString& text, const QString& tooltip,
                                     int style) {
    auto* button = new CBasicButton(command, text, tooltip, style, colors_, this);
    connect(button, &CBasicButton::Command, this, &CBasicPanel::OnControlCommand);
    buttons_.push_back(button);
    return button;
}

CBasicButton* CBasicPanel::Button(int command) const {
    for (CBasicButton* button : buttons_) {
        if (button->CommandId() == command) return button;
    }
    return nullptr;
}

void CBasicPanel::UpdateCommandStates(const StateQuery& query) {
    for (CBasicButton* button : buttons_) {
        button->setEnabled(query(button->CommandId()).enabled);
    }
}

void CBasicPanel::OnControlCommand(int id) {
    sink_.PostCommand(id);
}

void CBasicPanel::resizeEvent(QResizeEvent*) {
    LayoutChildren();
}

void CBasicPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.save();
    PaintPanel(painter);
    painter.restore();
}

void CBasicPanel::PaintPanel(QPainter& painter) {
    painter.fillRect(rect(), Qt::black);
}

void CBasicPanel::wheelEvent(QWheelEvent* event) {
    if (vertical_ == nullptr) {
        event->ignore();
        return;
    }
    wheelRest_ += event->angleDelta().y();
    while (wheelRest_ >= kNotch) {
        wheelRest_ -= kNotch;
        vertical_->Scroll(CScrollBar::kLineBack);
    }
    while (wheelRest_ <= -kNotch) {
        wheelRest_ += kNotch;
        vertical_->Scroll(CScrollBar::kLineOn);
    }
}

}  // namespace kolvane
