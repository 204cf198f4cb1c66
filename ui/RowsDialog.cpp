#include "ui/RowsDialog.h"

#include "platform/MessageText.h"
#include "ui/ComboBar.h"
#include "ui/DialogRows.h"
#include "ui/MessageDialog.h"
#include "ui/UiMetrics.h"

namespace kolvane {

CRowsDialog::CRowsDialog(QWidget* owner) : CBasicDialog(owner) {
    SetButtonSet(3);  // ok, cancel
}

CRowsDialog::~CRowsDialog() = default;

CComboBar* CRowsDialog::AddRow(int command, const QString& tooltip, bool list, int visibleRows) {
    auto* row =
        new CComboBar(command, QString(), tooltip,
                      list ? CComboBar::Kind::kList : CComboBar::Kind::kText, Colors(), this);
    row->SetLabelWidth(0);
    row->SetVisibleRows(visibleRows);
    connect(row, &CComboBar::Command, this, &CBasicDialog::SendDialogCommand);
    rows_.push_back(row);
    return row;
}

int CRowsDialog::RunRows(const QString& title) {
    const int unit = DialogUnit();
    const int rows = static_cast<int>(rows_.size());
    return DoModal(title, WindowWidth(6 * unit),
                   WindowHeight(CDialogRows::Height(rows) + unit / 2));
}

int CRowsDialog::ShowMessage(int kind, int id, const QString& subject) {
    lastMessage_ = WithSubject(MessageText(id), subject);
    if (showMessage_) return showMessage_(kind, id);
    if (messageBox_ == nullptr) messageBox_ = new CMessageDialog(this);
    return messageBox_->ShowText(kind, lastMessage_);
}

void CRowsDialog::LayoutClient(const QRect& client) {
    CDialogRows::Layout(rows_, client, CDialogRows::LabelWidthFor(RowLabels(), font()));
}

void CRowsDialog::PaintClient(QPainter& painter, const QRect& client) {
    CDialogRows::PaintLabels(painter, client, RowLabels(), Colors().Text(CColors::kFace),
                             CDialogRows::LabelWidthFor(RowLabels(), font()));
}

}  // namespace kolvane
