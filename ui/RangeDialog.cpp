#include "ui/RangeDialog.h"

#include <QPainter>

#include "platform/StringTable.h"
#include "ui/ComboBar.h"
#include "ui/DialogRows.h"
#include "ui/MessageDialog.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kTitle = 40090;
constexpr int kFirstLabel = 40091;    // "ordering", "timing", "repeat", "until", "before", "after"
constexpr int kFirstTooltip = 50060;  // in the same order

}  // namespace

CRangeDialog::CRangeDialog(QWidget* owner, CXshtList& sheet, CSceneState& scene,
                           ISheetHistory& history, ICommandSink& commands, CRange::Clock clock)
    : CBasicDialog(owner), range_(sheet, scene, history, commands, std::move(clock)) {
    SetPositionMemory(10);  // a tool window: it reopens where the user left it
    for (int control = 0; control < kControlCount; ++control) {
        const bool ordering = control == kOrdering;
        auto* row = new CComboBar(
            cmd::kRangeOrdering + control, QString(), StringText(kFirstTooltip + control),
            ordering ? CComboBar::Kind::kList : CComboBar::Kind::kNumber, Colors(), this);
        row->SetLabelWidth(0);
        if (ordering) {
            row->SetItems(CRange::OrderingChoices());
            row->SetVisibleRows(kControlCount - 1);
        } else {
            row->SetNumberRange(0, CRange::kMaxRows);
        }
        connect(row, &CComboBar::Command, this, &CBasicDialog::SendDialogCommand);
        rows_[static_cast<std::size_t>(control)] = row;
    }
}

CRangeDialog::~CRangeDialog() = default;

void CRangeDialog::Open() {
    if (IsOpen()) {
        OnOpen();
        raise();
        activateWindow();
        return;
    }
    const int unit = DialogUnit();
    const int clientWidth = 3 * unit + unit / 2;
    const int clientHeight = CDialogRows::Height(kControlCount);
    Create(StringText(kTitle), WindowWidth(clientWidth), WindowHeight(clientHeight));
}

void CRangeDialog::OnOpen() {
    range_.Initialise();
    Reload();
}

void CRangeDialog::Reload() {
    Row(kOrdering)->SetText(range_.Ordering());
    Row(kTiming)->SetText(QString::number(range_.Timing()));
    Row(kRepeat)->SetText(QString::number(range_.Repeat()));
    Row(kUntil)->SetText(QString::number(range_.Until()));
    Row(kBefore)->SetText(QString::number(range_.Before()));
    Row(kAfter)->SetText(QString::number(range_.After()));
    for (CComboBar* row : rows_)
        row->setEnabled(range_.HasRange());
    update();  // the labels follow
}

void CRangeDialog::Change(int control) {
    const QString text = Row(control)->Text();
    const int number = text.trimmed().toInt();
    // Not the dialog's own kOk (the "ok" button): a result code.
    kolvane::Result result = kolvane::kOk;
    switch (control) {
        case kOrdering:
            result = range_.ChangeOrdering(text);
            break;
        case kTiming:
            result = range_.ChangeTiming(number);
            break;
        case kRepeat:
            result = range_.ChangeRepeat(number);
            break;
        case kUntil:
            result = range_.ChangeUntil(number);
            break;
        case kBefore:
            result = range_.ChangeBefore(number);
            break;
        case kAfter:
            result = range_.ChangeAfter(number);
            break;
        default:
            break;
    }
    // The values the range took, whatever was typed.
    Reload();
    if (result == kolvane::kOk) return;
    if (showMessage_) {
        showMessage_(CMessageDialog::kError, result);
        return;
    }
    if (messageBox_ == nullptr) messageBox_ = new CMessageDialog(this);
    messageBox_->Show(CMessageDialog::kError, result);
}

bool CRangeDialog::OnCommand(int id) {
    switch (id) {
        case cmd::kRangeInitialise:
            if (!IsOpen()) return false;
            OnOpen();
            return true;
        case cmd::kRangeReload:
            if (!IsOpen()) return false;
            Reload();
            return true;
        default:
            if (id >= cmd::kRangeOrdering && id <= cmd::kRangeAfter) {
                Change(id - cmd::kRangeOrdering);
                return true;
            }
            return false;
    }
}

void CRangeDialog::LayoutClient(const QRect& client) {
    CDialogRows::Layout(rows_, client);
}

void CRangeDialog::PaintClient(QPainter& painter, const QRect& client) {
    QStringList labels;
    for (int control = 0; control < kControlCount; ++control)
        labels << StringText(kFirstLabel + control);
    const CColors::State state = range_.HasRange() ? CColors::kNormal : CColors::kOff;
    CDialogRows::PaintLabels(painter, client, labels, Colors().Text(CColors::kFace, state));
}

}  // namespace kolvane
