#include "ui/BasicButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace kolvane {

CBasicButton::CBasicButton(int command, const QString& text, const QString& tooltip, int style,
                           const CColors& colors, QWidget* parent)
    : QWidget(parent), command_(command), text_(text), style_(style), colors_(&colors) {
    setToolTip(tooltip);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CBasicButton::~CBasicButton() = default;

void CBasicButton::SetText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    update();
}

void CBasicButton::SetGlyph(Glyph glyph) {
    glyph_ = glyph;
    update();
}

void CBasicButton::SetColors(const CColors& colors) {
    colors_ = &colors;
    update();
}

void CBasicButton::SetChecked(bool checked) {
    if (checked_ == checked) return;
    checked_ = checked;
    update();
}

void CBasicButton::SetClock(IControlClock& clock) {
    if (repeatTimer_) repeatTimer_->Stop();
    repeatTimer_.reset();
    clock_ = &clock;
}

void CBasicButton::SetRepeatDelaySetting(int delaySetting) {
    repeatDelayMs_ = RepeatDelayMs(delaySetting);
}

void CBasicButton::Fire() {
    if (Has(kToggle)) SetChecked(!checked_);
    emit Command(command_);
}

void CBasicButton::SetShownPressed(bool pressed) {
    if (shownPressed_ == pressed) return;
    shownPressed_ = pressed;
    update();
}

void CBasicButton::EnsureTimer() {
    if (!repeatTimer_) repeatTimer_ = clock_->CreateTimer([this] { OnRepeatTimer(); });
}

void CBasicButton::OnRepeatTimer() {
    if (!mouseHeld_) return;
    if (!repeating_) {
        repeating_ = true;
        repeatTimer_->Start(kRepeatIntervalMs, true);
    }
    if (shownPressed_) Fire();
}

bool CBasicButton::KeyDown(bool mayFire) {
    if (!isEnabled()) return false;
    const bool wasPressed = shownPressed_;
    keyHeld_ = true;
    SetShownPressed(true);
    if (!mayFire) return true;
    if (Has(kAutoRepeat) || (Has(kPressRelease) && !wasPressed)) Fire();
    return true;
}

bool CBasicButton::KeyUp(bool mayFire) {
    keyHeld_ = false;
    SetShownPressed(mouseHeld_);
    if (!isEnabled()) return false;
    if (mayFire && !Has(kAutoRepeat)) Fire();
    return true;
}

void CBasicButton::ShowReleased() {
    keyHeld_ = false;
    SetShownPressed(mouseHeld_);
}

void CBasicButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        event->ignore();
        return;
    }
    mouseHeld_ = true;
    repeating_ = false;
    SetShownPressed(true);
    if (Has(kAutoRepeat)) {
        EnsureTimer();
        repeatTimer_->Start(repeatDelayMs_, false);
        Fire();
    } else if (Has(kPressRelease)) {
        Fire();
    }
}

void CBasicButton::mouseMoveEvent(QMouseEvent* event) {
    if (!mouseHeld_) return;
    SetShownPressed(rect().contains(event->position().toPoint()));
}

void CBasicButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !mouseHeld_) return;
    mouseHeld_ = false;
    if (repeatTimer_) repeatTimer_->Stop();
    const bool inside = rect().contains(event->position().toPoint());
    SetShownPressed(keyHeld_);
    if (!isEnabled()) return;
    if (Has(kPressRelease) || (inside && !Has(kAutoRepeat))) Fire();
}

// Space presses a button that has the keyboard focus (dialog buttons).
void CBasicButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat() || Has(kAutoRepeat)) KeyDown();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CBasicButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat() && keyHeld_) KeyUp();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void CBasicButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        // A button disabled while held must not fire later nor look pressed.
        mouseHeld_ = false;
        keyHeld_ = false;
        if (repeatTimer_) repeatTimer_->Stop();
        shownPressed_ = false;
    }
    QWidget::changeEvent(event);
    update();
}

void CBasicButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintFace(painter);
    PaintLabel(painter);
    PaintFocus(painter);
}

namespace {

CColors::State StateOf(bool enabled, bool lit) {
    if (!enabled) return CColors::kOff;
    return lit ? CColors::kSelected : CColors::kNormal;
}

}  // namespace

void CBasicButton::PaintFace(QPainter& painter) const {
    painter.save();
    const CColors::State state = StateOf(isEnabled(), shownPressed_ || checked_);
    painter.fillRect(rect(), colors_->Fill(CColors::kFace, state));
    painter.setPen(colors_->Line(shownPressed_ ? CColors::kTrack : CColors::kFace, state));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.restore();
}

void CBasicButton::PaintLabel(QPainter& painter) const {
    painter.save();
    const CColors::State state = StateOf(isEnabled(), shownPressed_ || checked_);
    const QColor ink = colors_->Text(CColors::kFace, state);
    // Pressed content moves by one pixel, as if pushed in.
    const QRect area = rect().translated(shownPressed_ ? 1 : 0, shownPressed_ ? 1 : 0);
    if (glyph_ == Glyph::kNone) {
        painter.setPen(ink);
        painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, text_);
    } else {
        painter.setRenderHint(QPainter::Antialiasing);
        const int side = std::max(4, std::min(area.width(), area.height()) / 2);
        const QRectF box(area.center().x() - side / 2.0 + 0.5, area.center().y() - side / 2.0 + 0.5,
                         side, side);
        if (glyph_ == Glyph::kClose) {
            painter.setPen(QPen(ink, std::max(1.5, side / 6.0)));
            painter.drawLine(box.topLeft(), box.bottomRight());
            painter.drawLine(box.topRight(), box.bottomLeft());
        } else {
            QPainterPath arrow;
            const QPointF c = box.center();
            const double h = side / 2.0;
            switch (glyph_) {
                case Glyph::kLeft:
                    arrow.addPolygon(
                        {{c + QPointF(-h, 0), c + QPointF(h / 2, -h), c + QPointF(h / 2, h)}});
                    break;
                case Glyph::kRight:
                    arrow.addPolygon(
                        {{c + QPointF(h, 0), c + QPointF(-h / 2, -h), c + QPointF(-h / 2, h)}});
                    break;
                case Glyph::kUp:
                    arrow.addPolygon(
                        {{c + QPointF(0, -h), c + QPointF(-h, h / 2), c + QPointF(h, h / 2)}});
                    break;
                default:
                    arrow.addPolygon(
                        {{c + QPointF(0, h), c + QPointF(-h, -h / 2), c + QPointF(h, -h / 2)}});
                    break;
            }
            painter.fillPath(arrow, ink);
        }
    }
    painter.restore();
}

void CBasicButton::PaintFocus(QPainter& painter) const {
    if (!hasFocus()) return;
    painter.save();
    QPen pen(colors_->Text(CColors::kFace));
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(2, 2, -3, -3));
    painter.restore();
}

}  // namespace kolvane
