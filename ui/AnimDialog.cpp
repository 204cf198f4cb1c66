#include "ui/AnimDialog.h"

#include <QPainter>
#include <QSet>

#include "model/MdiaList.h"
#include "model/MediaNames.h"
#include "platform/Commands.h"
#include "platform/StringTable.h"
#include "ui/ComboBar.h"
#include "ui/DialogRows.h"
#include "ui/MessageDialog.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kRenameTitle = 40080;
constexpr int kGrabLevelTitle = 40081;
constexpr int kFirstLabel = 40082;  // "name", "first", "last", "next", "step"
constexpr int kFirstTooltip = 50050;
constexpr int kBadNameMessage = 60027;
constexpr int kReplaceNamesQuestion = 60026;

}  // namespace

CAnimDialog::CAnimDialog(QWidget* owner, CXshtList& sheet, ISheetHistory& history,
                         ICommandSink& commands)
    : CBasicDialog(owner), sheet_(sheet), history_(history), commands_(commands) {
    SetButtonSet(3);  // ok, cancel
    for (int field = 0; field < kFieldCount; ++field) {
        // Rows without a label of their own: the dialog draws the labels and
        // the rows get no on/off switch.
        auto* row = new CComboBar(
            kFieldChanged, QString(), StringText(kFirstTooltip + field),
            field == kName ? CComboBar::Kind::kText : CComboBar::Kind::kNumber, Colors(), this);
        row->SetLabelWidth(0);
        row->SetNumberRange(0, CAnim::kMaxNumber);
        connect(row, &CComboBar::Command, this, &CBasicDialog::SendDialogCommand);
        rows_[static_cast<std::size_t>(field)] = row;
    }
}

CAnimDialog::~CAnimDialog() = default;

int CAnimDialog::Run(Mode mode, CAnim& target) {
    mode_ = mode;
    target_ = &target;
    const int unit = DialogUnit();
    const int clientWidth = 3 * unit + unit / 2;
    const int clientHeight = CDialogRows::Height(kFieldCount);
    const int result = DoModal(StringText(mode == Mode::kRename ? kRenameTitle : kGrabLevelTitle),
                               WindowWidth(clientWidth), WindowHeight(clientHeight + unit / 2));
    target_ = nullptr;
    working_.reset();
    return result;
}

void CAnimDialog::OnOpen() {
    working_ = std::make_unique<CAnim>(*target_);
    // The levels there are, to choose from.
    QStringList levels;
    QSet<QString> seen;
    if (const CNode* images = target_->Media().ImageLevel()) {
        for (const CNode* item : *images->children) {
            const QString base = BaseName(*item);
            if (!base.isEmpty() && !seen.contains(base)) {
                seen.insert(base);
                levels << base;
            }
        }
    }
    Row(kName)->SetItems(levels);
    FillFields();
    Row(kName)->setFocus(Qt::OtherFocusReason);
}

AnimValues CAnimDialog::ReadFields() const {
    auto number = [this](int field) { return Row(field)->Text().trimmed().toInt(); };
    return {Row(kName)->Text(), number(kFirst), number(kLast), number(kNext), number(kStep)};
}

void CAnimDialog::FillFields() {
    const AnimValues values = working_->Get();
    Row(kName)->SetText(values.name);
    Row(kFirst)->SetText(QString::number(values.first));
    Row(kLast)->SetText(QString::number(values.last));
    Row(kNext)->SetText(QString::number(values.next));
    Row(kStep)->SetText(QString::number(values.step));
}

void CAnimDialog::FieldChanged() {
    if (!working_) return;
    AnimValues values = ReadFields();
    if (mode_ == Mode::kGrabLevel && !SameNameIgnoringCase(values.name, working_->Name())) {
        // Another level: its own numbers.
        working_->TakeLevel(ImageName(values.name, 1));
    } else {
        working_->Normalise(values);
        working_->Set(values);
    }
    FillFields();
}

bool CAnimDialog::Confirm() {
    const AnimValues values = ReadFields();
    if (!CAnim::IsValidName(values.name)) {
        ShowMessage(CMessageDialog::kError, kBadNameMessage);
        return false;
    }
    target_->SetImages(working_->Images());
    target_->Set(values);
    if (mode_ == Mode::kRename && !target_->Images().empty()) {
        if (target_->RenameWouldClash() &&
            ShowMessage(CMessageDialog::kConfirm, kReplaceNamesQuestion) != kYes) {
            return false;
        }
        target_->ApplyRename(history_, sheet_);
    }
    CMdiaList& media = target_->Media();
    media.SortLevel(media.ImageLevel());
    if (mode_ == Mode::kRename) {
        commands_.SendCommand(cmd::kGrabNameRefresh);
        // Cells follow the new names (and lose a replaced image).
        commands_.SendCommand(cmd::kSheetChanged);
    }
    return true;
}

bool CAnimDialog::OnCommand(int id) {
    switch (id) {
        case kFieldChanged:
            FieldChanged();
            return true;
        case kOk:
            return working_ && !Confirm();  // handled (stays open) unless it may close
        default:
            return false;
    }
}

int CAnimDialog::ShowMessage(int kind, int id) {
    if (showMessage_) return showMessage_(kind, id);
    if (messageBox_ == nullptr) messageBox_ = new CMessageDialog(this);
    return messageBox_->Show(kind, id);
}

void CAnimDialog::LayoutClient(const QRect& client) {
    CDialogRows::Layout(rows_, client);
}

void CAnimDialog::PaintClient(QPainter& painter, const QRect& client) {
    QStringList labels;
    for (int field = 0; field < kFieldCount; ++field)
        labels << StringText(kFirstLabel + field);
    CDialogRows::PaintLabels(painter, client, labels, Colors().Text(CColors::kFace));
}

}  // namespace kolvane
