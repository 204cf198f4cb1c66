#include "ui/ScrollBar.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/BasicButton.h"

namespace kolvane {

CScrollBar::CScrollBar(Qt::Orientation orientation, const CColors& colors, QWidget* parent)
    : QWidget(parent), orientation_(orientation), colors_(&colors) {
    const bool vertical = orientation == Qt::Vertical;
    back_ = new CBasicButton(kBackCommand, QString(), QString(), CBasicButton::kAutoRepeat, colors,
                             this);
    on_ =
        new CBasicButton(kOnCommand, QString(), QString(), CBasicButton::kAutoRepeat, colors, this);
    back_->SetGlyph(vertical ? CBasicButton::Glyph::kUp : CBasicButton::Glyph::kLeft);
    on_->SetGlyph(vertical ? CBasicButton::Glyph::kDown : CBasicButton::Glyph::kRight);
    connect(back_, &CBasicButton::Command, this, [this] { Scroll(kLineBack); });
    connect(on_, &CBasicButton::Command, this, [this] { Scroll(kLineOn); });
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CScrollBar::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    position_ = std::clamp(position_, minimum_, Limit());
    update();
}

void CScrollBar::SetPage(int page) {
    page_ = std::max(0, page);
    position_ = std::clamp(position_, minimum_, Limit());
    update();
}

void CScrollBar::SetPosition(int position) {
    position_ = std::clamp(position, minimum_, Limit());
    update();
}

void CScrollBar::MoveTo(int position) {
    position = std::clamp(position, minimum_, Limit());
    if (position == position_) return;
    position_ = position;
    update();
    emit PositionChanged(position_);
}

void CScrollBar::Scroll(int code) {
    const int page = std::max(1, page_);
    switch (code) {
        case kLineBack:
            MoveTo(position_ - 1);
            break;
        case kLineOn:
            MoveTo(position_ + 1);
            break;
        case kPageBack:
            MoveTo(position_ - page);
            break;
        case kPageOn:
            MoveTo(position_ + page);
            break;
        default:
            break;
    }
}

void CScrollBar::ToStart() {
    MoveTo(minimum_);
}

void CScrollBar::ToEnd() {
    MoveTo(Limit());
}

int CScrollBar::Length(const QRect& rect) const {
    return orientation_ == Qt::Vertical ? rect.height() : rect.width();
}

int CScrollBar::Along(QPoint point) const {
    return orientation_ == Qt::Vertical ? point.y() : point.x();
}

void CScrollBar::resizeEvent(QResizeEvent*) {
    if (orientation_ == Qt::Vertical) {
        const int side = std::min(width(), height() / 2);
        back_->setGeometry(0, 0, width(), side);
        on_->setGeometry(0, height() - side, width(), side);
    } else {
        const int side = std::min(height(), width() / 2);
        back_->setGeometry(0, 0, side, height());
        on_->setGeometry(width() - side, 0, side, height());
    }
}

QRect CScrollBar::TrackRect() const {
    if (orientation_ == Qt::Vertical) {
        return QRect(0, back_->height(), width(), std::max(0, height() - 2 * back_->height()));
    }
    return QRect(back_->width(), 0, std::max(0, width() - 2 * back_->width()), height());
}

QRect CScrollBar::ThumbRect() const {
    const QRect track = TrackRect();
    const int trackLength = Length(track);
    const int span = maximum_ - minimum_;
    const int breadth = orientation_ == Qt::Vertical ? track.width() : track.height();
    int thumb = trackLength;
    if (span > 0 && page_ < span) {
        thumb = static_cast<int>(static_cast<long long>(trackLength) * page_ / span);
        thumb = std::clamp(thumb, std::min(trackLength, breadth / 2 + 4), trackLength);
    }
    const int travel = trackLength - thumb;
    const int room = Limit() - minimum_;
    const int offset =
        room > 0 ? static_cast<int>(static_cast<long long>(travel) * (position_ - minimum_) / room)
                 : 0;
    if (orientation_ == Qt::Vertical)
        return QRect(track.left(), track.top() + offset, breadth, thumb);
    return QRect(track.left() + offset, track.top(), thumb, breadth);
}

void CScrollBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    const QRect thumb = ThumbRect();
    if (!TrackRect().contains(at)) return;
    if (thumb.contains(at)) {
        dragging_ = true;
        dragStartAlong_ = Along(at);
        dragStartPosition_ = position_;
        return;
    }
    Scroll(Along(at) < Along(thumb.topLeft()) ? kPageBack : kPageOn);
}

void CScrollBar::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const int travel = Length(TrackRect()) - Length(ThumbRect());
    if (travel <= 0) return;
    const int moved = Along(event->position().toPoint()) - dragStartAlong_;
    const long long room = Limit() - minimum_;
    // Rounded, so that the thumb lands on the position under the pointer.
    const long long delta = (2 * moved * room + (moved >= 0 ? travel : -travel)) / (2 * travel);
    MoveTo(dragStartPosition_ + static_cast<int>(delta));
}

void CScrollBar::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

void CScrollBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const CColors::State state = isEnabled() ? CColors::kNormal : CColors::kOff;
    painter.save();
    painter.fillRect(rect(), colors_->Fill(CColors::kTrack, state));
    painter.restore();

    painter.save();
    const QRect thumb = ThumbRect();
    painter.fillRect(thumb, colors_->Fill(CColors::kFace, dragging_ ? CColors::kSelected : state));
    painter.setPen(colors_->Line(CColors::kFace, state));
    painter.drawRect(thumb.adjusted(0, 0, -1, -1));
    painter.restore();
}

}  // namespace kolvane
