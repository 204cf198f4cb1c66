#include "ui/DialogRows.h"

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>

#include "ui/ComboBar.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

// Row `index` without its label column.
QRect RowRect(const QRect& client, int index) {
    const int height = CDialogRows::RowHeight();
    return QRect(client.left(), client.top() + 2 + index * (height + 2), client.width() - 1,
                 height);
}

}  // namespace

int CDialogRows::RowHeight() {
    return LineHeight() + 4;
}

int CDialogRows::Height(int count) {
    return count * (RowHeight() + 2) + 2;
}

int CDialogRows::LabelWidth() {
    return DialogUnit();
}

int CDialogRows::LabelWidthFor(const QStringList& labels, const QFont& font) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& label : labels)
        widest = std::max(widest, metrics.horizontalAdvance(label));
    return std::max(LabelWidth(), widest + LineHeight());
}

void CDialogRows::Place(QWidget* row, const QRect& client, int index, int labelWidth) {
    if (row == nullptr) return;
    row->setGeometry(RowRect(client, index).adjusted(labelWidth, 0, 0, 0));
}

void CDialogRows::PaintLabels(QPainter& painter, const QRect& client, const QStringList& labels,
                              const QColor& color, int labelWidth) {
    painter.setPen(color);
    const int inset = LineHeight() / 2;
    for (int index = 0; index < labels.size(); ++index) {
        QRect label = RowRect(client, index);
        label.setLeft(label.left() + inset);
        label.setWidth(labelWidth - inset);
        painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         labels[index]);
    }
}

int CDialogRows::LabelledRowHeight() {
    return LineHeight() + 6;
}

int CDialogRows::LabelledHeight(int count) {
    return count * (LabelledRowHeight() + 2) + LabelledRowHeight() / 2;
}

void CDialogRows::LayoutLabelled(const std::vector<CComboBar*>& rows, const QRect& client) {
    const int rowHeight = LabelledRowHeight();
    const int labelWidth = 5 * LineHeight();
    QRect slot(client.left() + 2, client.top() + rowHeight / 4, client.width() - 4, rowHeight);
    for (CComboBar* row : rows) {
        row->SetLabelWidth(labelWidth);
        row->setGeometry(slot);
        slot.translate(0, rowHeight + 2);
    }
}

}  // namespace kolvane
