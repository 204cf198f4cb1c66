#pragma once

#include <vector>

#include <QColor>
#include <QRect>
#include <QStringList>

class QFont;
class QPainter;
class QWidget;

namespace kolvane {

class CComboBar;

// Rows of a dialog one under another, each with its label drawn on its left
// in a column one dialog unit wide.
class CDialogRows {
  public:
    static int RowHeight();
    // The client height that holds `count` rows.
    static int Height(int count);
    static int LabelWidth();

    // The label column that holds every one of `labels` (at least LabelWidth).
    static int LabelWidthFor(const QStringList& labels, const QFont& font);

    // Places the rows in order; rows not yet made (none) are skipped.
    template <class Rows>
    static void Layout(const Rows& rows, const QRect& client, int labelWidth = LabelWidth()) {
        int index = 0;
        for (QWidget* row : rows)
            Place(row, client, index++, labelWidth);
    }
    static void PaintLabels(QPainter& painter, const QRect& client, const QStringList& labels,
                            const QColor& color, int labelWidth = LabelWidth());

    // Rows that draw their own labels (the grabber's setting dialogs): a
    // little taller, the labels five lines wide, a quarter row from the top.
    static int LabelledRowHeight();
    // The client height that holds `count` of them.
    static int LabelledHeight(int count);
    static void LayoutLabelled(const std::vector<CComboBar*>& rows, const QRect& client);

  private:
    static void Place(QWidget* row, const QRect& client, int index, int labelWidth);
};

}  // namespace kolvane
