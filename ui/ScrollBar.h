#pragma once

#include <QWidget>

#include "ui/Colors.h"

namespace kolvane {

class CBasicButton;

// A scroll bar with two repeating arrow buttons. The position stays between
// the minimum and maximum − page (never below the minimum). Pressing beside
// the thumb pages; dragging the thumb moves in proportion. Changes the user
// makes are reported with PositionChanged; SetPosition reports nothing.
class CScrollBar : public QWidget {
    Q_OBJECT
  public:
    // Position message codes.
    enum Code : int { kLineBack = 0, kLineOn = 1, kPageBack = 2, kPageOn = 3 };
    static constexpr int kBackCommand = 33000;
    static constexpr int kOnCommand = 33001;

    CScrollBar(Qt::Orientation orientation, const CColors& colors, QWidget* parent);

    void SetRange(int minimum, int maximum);
    void SetPage(int page);
    void SetPosition(int position);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int Page() const { return page_; }
    int Position() const { return position_; }
    // The largest position: maximum − page, not below the minimum.
    int Limit() const { return std::max(minimum_, maximum_ - page_); }

    // The position message: one line or one page back or on.
    void Scroll(int code);
    void ToStart();
    void ToEnd();

    Qt::Orientation Orientation() const { return orientation_; }
    CBasicButton* BackButton() const { return back_; }
    CBasicButton* OnButton() const { return on_; }
    QRect TrackRect() const;
    QRect ThumbRect() const;

  signals:
    void PositionChanged(int position);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void MoveTo(int position);  // clamps, reports a change
    int Along(QPoint point) const;
    int Length(const QRect& rect) const;

    Qt::Orientation orientation_;
    const CColors* colors_;
    CBasicButton* back_;
    CBasicButton* on_;
    int minimum_ = 0;
    int maximum_ = 0;
    int page_ = 0;
    int position_ = 0;
    bool dragging_ = false;
    int dragStartAlong_ = 0;
    int dragStartPosition_ = 0;
};

class CVScrollBar : public CScrollBar {
    Q_OBJECT
  public:
    CVScrollBar(const CColors& colors, QWidget* parent)
        : CScrollBar(Qt::Vertical, colors, parent) {}
};

class CHScrollBar : public CScrollBar {
    Q_OBJECT
  public:
    CHScrollBar(const CColors& colors, QWidget* parent)
        : CScrollBar(Qt::Horizontal, colors, parent) {}
};

}  // namespace kolvane
