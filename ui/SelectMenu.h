#pragma once

#include <QStringList>
#include <QWidget>

#include "ui/Colors.h"

namespace kolvane {

// A drop-down list of choices. The choice under the pointer is highlighted;
// a click chooses it. Up, Down, Page Up/Down, Home and End move the
// highlight, Enter chooses, Escape closes. It closes when it loses the focus.
class CSelectMenu : public QWidget {
    Q_OBJECT
  public:
    CSelectMenu(const CColors& colors, QWidget* parent);

    void SetItems(const QStringList& items);
    const QStringList& Items() const { return items_; }
    void SetVisibleRows(int rows);
    int VisibleRows() const;

    // Opens below `anchor` (a rectangle in global coordinates) with
    // `current` highlighted.
    void Open(const QRect& anchor, int current);
    bool IsOpen() const { return isVisible(); }
    int Highlighted() const { return highlighted_; }
    int FirstShown() const { return first_; }
    QRect ItemRect(int index) const;

  signals:
    void Chosen(int index);
    void Closed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    int IndexAt(QPoint point) const;
    void Highlight(int index);
    void Choose(int index);
    int RowHeight() const;

    const CColors* colors_;
    QStringList items_;
    int visibleRows_ = 8;
    int first_ = 0;
    int highlighted_ = -1;
};

}  // namespace kolvane
