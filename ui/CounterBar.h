#pragma once

#include <QWidget>

#include "ui/Colors.h"
#include "ui/ControlClock.h"

namespace kolvane {

class CListList;

// The frame-number column beside the exposure sheet. Rows are one line high,
// counted from the first visible row below an optional header line. A click
// makes that frame the sheet's current frame (at most the last frame, the
// sheet length − 2); a second click on the current frame within the
// double-click time sends View Player (32897).
class CCounterBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kViewPlayerCommand = 32897;

    CCounterBar(const CColors& colors, QWidget* parent);

    void SetList(CListList* sheet);
    void SetFirstRow(int row);
    int FirstRow() const { return firstRow_; }
    void SetFrameStart(int frameStart);
    void SetHeaderHeight(int pixels);
    void SetClock(IControlClock& clock) { clock_ = &clock; }
    void SetDoubleClickMs(int milliseconds) { doubleClickMs_ = milliseconds; }

    // The frame a point falls on (none above the rows or without a sheet).
    int FrameAt(QPoint point) const;

  signals:
    void Command(int id);
    // A click moved the current frame to `frame` from `from`.
    void CurrentFrameChanged(int frame, int from);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void PaintRows(QPainter& painter) const;

    const CColors* colors_;
    CListList* sheet_ = nullptr;
    int firstRow_ = 0;
    int frameStart_ = 1;
    int headerHeight_ = 0;
    int doubleClickMs_;
    CSystemClock systemClock_;
    IControlClock* clock_ = &systemClock_;
    std::int64_t lastClickMs_ = 0;
    int lastClickFrame_ = -1;
};

}  // namespace kolvane
