#pragma once

#include <QWidget>

#include "ui/Colors.h"

namespace kolvane {

class CBasicButton;
class CNode;
class CSelectView;

// One column of a grid view: a header with the level's on/off switch (33009),
// its name and its level menu button (33006), then one row per child of the
// level from the view's first row. Cells show their name, and by the view's
// cell info a counter, a thumbnail, a miniature or the picture size; sound
// cells show their part of the sound's waveform.
//
// Mouse presses on the rows go on to the view, which does the selecting.
class CSelectBox : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kMenuCommand = 33006;
    static constexpr int kSwitchCommand = 33009;

    CSelectBox(CSelectView& view, const CColors& colors);

    // The column (level index) shown, or -1 for none.
    void SetColumn(int column);
    int Column() const { return column_; }
    CNode* Level() const;
    CBasicButton* SwitchButton() const { return switch_; }
    CBasicButton* MenuButton() const { return menu_; }
    // Re-reads the level's name and on state after the list changed.
    void Refresh();

  signals:
    void Command(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PaintHeader(QPainter& painter, const CNode& level) const;
    void PaintCells(QPainter& painter, const CNode& level) const;
    // `inRun`: the row's 1-based frame within its exposure.
    void PaintCell(QPainter& painter, const CNode& level, int row, int inRun,
                   const QRect& cell) const;
    void PaintPicture(QPainter& painter, const CNode& item, const QRect& area) const;
    void PaintWaveform(QPainter& painter, const CNode& cell, const QRect& area) const;
    void PaintCurrentRow(QPainter& painter) const;

    CSelectView& view_;
    const CColors* colors_;
    CBasicButton* switch_;
    CBasicButton* menu_;
    int column_ = -1;
};

}  // namespace kolvane
