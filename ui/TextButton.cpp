#include "ui/TextButton.h"

#include <QKeyEvent>
#include <QPainter>

namespace kolvane {

CTextButton::CTextButton(const CColors& colors, QWidget* parent)
    : QWidget(parent), colors_(&colors) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled);
    setCursor(Qt::IBeamCursor);
}

CTextButton::~CTextButton() = default;

void CTextButton::SetText(const QString& text) {
    pending_ = false;
    if (editTimer_) editTimer_->Stop();
    // A dialog shows its fields again after each pause in typing: the text
    // being typed stays as it is, or the next key would replace it.
    if (text == text_) return;
    text_ = text;
    caret_ = static_cast<int>(text_.size());
    allSelected_ = hasFocus() && !readOnly_;
    update();
}

void CTextButton::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    setCursor(readOnly ? Qt::ArrowCursor : Qt::IBeamCursor);
    update();
}

void CTextButton::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void CTextButton::SetColors(const CColors& colors) {
    colors_ = &colors;
    update();
}

void CTextButton::SetClock(IControlClock& clock) {
    if (editTimer_) editTimer_->Stop();
    editTimer_.reset();
    clock_ = &clock;
}

void CTextButton::Edited() {
    pending_ = true;
    if (!editTimer_) editTimer_ = clock_->CreateTimer([this] { Commit(); });
    editTimer_->Start(kEditDelayMs, false);
    update();
}

void CTextButton::Commit() {
    if (!pending_) return;
    pending_ = false;
    if (editTimer_) editTimer_->Stop();
    emit Command(kEditedCommand);
}

bool CTextButton::EditKey(QKeyEvent* event) {
    const int size = static_cast<int>(text_.size());
    switch (event->key()) {
        case Qt::Key_Left:
            caret_ = allSelected_ ? 0 : std::max(0, caret_ - 1);
            allSelected_ = false;
            return true;
        case Qt::Key_Right:
            caret_ = allSelected_ ? size : std::min(size, caret_ + 1);
            allSelected_ = false;
            return true;
        case Qt::Key_Home:
            caret_ = 0;
            allSelected_ = false;
            return true;
        case Qt::Key_End:
            caret_ = size;
            allSelected_ = false;
            return true;
        default:
            break;
    }
    if (readOnly_) return false;
    if (event->matches(QKeySequence::SelectAll)) {
        allSelected_ = true;
        return true;
    }
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        if (allSelected_) {
            text_.clear();
            caret_ = 0;
        } else if (event->key() == Qt::Key_Backspace && caret_ > 0) {
            text_.remove(--caret_, 1);
        } else if (event->key() == Qt::Key_Delete && caret_ < size) {
            text_.remove(caret_, 1);
        } else {
            return true;
        }
        allSelected_ = false;
        Edited();
        return true;
    }
    const QString typed = event->text();
    if (typed.isEmpty() || !typed.at(0).isPrint() ||
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        return false;
    }
    if (allSelected_) {
        text_.clear();
        caret_ = 0;
        allSelected_ = false;
    }
    text_.insert(caret_, typed);
    caret_ += static_cast<int>(typed.size());
    Edited();
    return true;
}

void CTextButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Commit();
        event->ignore();  // the dialog's first button goes on with it
        return;
    }
    if (EditKey(event)) {
        update();
        return;
    }
    event->ignore();
}

void CTextButton::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

void CTextButton::focusInEvent(QFocusEvent* event) {
    allSelected_ = !readOnly_;
    caret_ = static_cast<int>(text_.size());
    QWidget::focusInEvent(event);
}

void CTextButton::focusOutEvent(QFocusEvent* event) {
    allSelected_ = false;
    Commit();
    QWidget::focusOutEvent(event);
}

QRect CTextButton::TextRect() const {
    return rect().adjusted(3, 0, -3, 0);
}

void CTextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const CColors::State state = isEnabled() ? CColors::kNormal : CColors::kOff;

    painter.save();
    painter.fillRect(rect(), colors_->Fill(CColors::kField, state));
    painter.setPen(colors_->Line(hasFocus() ? CColors::kFace : CColors::kField, state));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.restore();

    painter.save();
    const QRect area = TextRect();
    if (allSelected_ && hasFocus() && !text_.isEmpty()) {
        const QRect marked = painter.fontMetrics()
                                 .boundingRect(area, static_cast<int>(alignment_), text_)
                                 .intersected(area);
        painter.fillRect(marked, colors_->Fill(CColors::kField, CColors::kSelected));
    }
    painter.setPen(colors_->Text(CColors::kField, state));
    painter.drawText(area, static_cast<int>(alignment_ | Qt::TextSingleLine), text_);
    painter.restore();

    if (hasFocus() && !readOnly_ && !allSelected_) {
        painter.save();
        const QFontMetrics metrics = painter.fontMetrics();
        const QRect whole = metrics.boundingRect(area, static_cast<int>(alignment_), text_);
        const int x = whole.left() + metrics.horizontalAdvance(text_.left(caret_));
        painter.setPen(colors_->Text(CColors::kField, state));
        painter.drawLine(x, area.top() + 3, x, area.bottom() - 3);
        painter.restore();
    }
}

}  // namespace kolvane
