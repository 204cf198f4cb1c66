#include "ui/LevelMenu.h"

#include "platform/StringTable.h"
#include "ui/ComboBar.h"
#include "ui/DialogRows.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace level_menu {
namespace {
constexpr int kFirstTitle =
    40018;  // "Set level name (%s)", "Set level rank (%s)", "Add level item (%s)"
}

QList<int> MediaEntries() {
    return {kSetName, kSetRank, kSortList, kSelectAll, kUnselectAll, kSelectUnused};
}

QList<int> SheetEntries() {
    return {kSetName, kSetRank, kAddItem, kSortList, kSelectAll, kUnselectAll, kSelectUnused};
}

bool AsksForText(int entry) {
    return entry == kSetName || entry == kSetRank || entry == kAddItem;
}

QString DialogTitle(int entry, const QString& levelName) {
    return StringText(kFirstTitle + (entry - kSetName), {levelName});
}

bool ChangesSelectionOnly(int entry) {
    return entry == kSelectAll || entry == kUnselectAll || entry == kSelectUnused;
}

}  // namespace level_menu

CNameDialog::CNameDialog(QWidget* owner) : CBasicDialog(owner) {
    SetButtonSet(3);  // ok, cancel
    row_ = new CComboBar(0, QString(), QString(), CComboBar::Kind::kText, Colors(), this);
    row_->SetLabelWidth(0);
}

std::optional<QString> CNameDialog::Ask(const QString& title, const QString& text) {
    initial_ = text;
    const int unit = DialogUnit();
    const int result =
        DoModal(title, WindowWidth(3 * unit), WindowHeight(CDialogRows::Height(1) + unit / 4));
    if (result != kOk) return std::nullopt;
    return row_->Text();
}

void CNameDialog::OnOpen() {
    row_->SetText(initial_);
    row_->setFocus(Qt::OtherFocusReason);
}

void CNameDialog::LayoutClient(const QRect& client) {
    row_->setGeometry(client.adjusted(4, 4, -4, 0).left(), client.top() + 4, client.width() - 8,
                      CDialogRows::RowHeight());
}

}  // namespace kolvane
