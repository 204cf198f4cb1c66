#pragma once

#include <QColor>
#include <QRect>
#include <QStringList>

class QPainter;
class QWidget;

namespace kolvane {

// Rows of a dialog one under another, each with its label drawn on its left
// in a column one dialog unit wide.
class CDialogRows {
  public:
    static int RowHeight();
    // The client height that holds `count` rows.
    static int Height(int count);
    static int LabelWidth();

    // Places the rows in order; rows not yet made (none) are skipped.
    template <class Rows>
    static void Layout(const Rows& rows, const QRect& client) {
        int index = 0;
        for (QWidget* row : rows)
            Place(row, client, index++);
    }
    static void PaintLabels(QPainter& painter, const QRect& client, const QStringList& labels,
                            const QColor& color);

  private:
    static void Place(QWidget* row, const QRect& client, int index);
};

}  // namespace kolvane
