#include "ui/VSourceDialog.h"

#include <algorithm>

#include "platform/StringTable.h"
#include "settings/Settings.h"
#include "ui/ComboBar.h"
#include "ui/DialogRows.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kTitle = 40700;
constexpr int kFirstByte = VideoInput;  // bytes 16..23 belong to this dialog
constexpr int kLastByte = Opacity;

struct RowSpec {
    int command;
    int labelId;
    int setting;
    int tooltipId;
};

constexpr RowSpec kRows[] = {
    {CVSourceDialog::kInputRow, 40701, VideoInput, 50200},
    {CVSourceDialog::kQualityRow, 40702, VideoQuality, 50201},
    {CVSourceDialog::kDenoiseRow, 40703, Denoise, 50202},
    {CVSourceDialog::kPictureRow, 40704, Opacity, 50203},
    {CVSourceDialog::kPictureRow, 40705, Whiteness, 50204},
    {CVSourceDialog::kPictureRow, 40706, Brightness, 50205},
    {CVSourceDialog::kPictureRow, 40707, Contrast, 50206},
    {CVSourceDialog::kPictureRow, 40708, Color, 50207},
};
constexpr int kRowCount = static_cast<int>(std::size(kRows));

}  // namespace

CVSourceDialog::CVSourceDialog(CSettings& settings, ICommandSink& sink, QWidget* owner)
    : CBasicDialog(owner), settings_(settings), sink_(sink) {
    for (const RowSpec& spec : kRows) {
        const bool number = spec.command == kPictureRow;
        auto* row = new CComboBar(
            spec.command, StringText(spec.labelId), StringText(spec.tooltipId),
            number ? CComboBar::Kind::kNumber : CComboBar::Kind::kList, Colors(), this);
        if (number) {
            row->SetNumberRange(0, 100);
        } else {
            const QStringList choices = CSettings::ChoiceTexts(spec.setting);
            row->SetItems(choices);
            row->SetVisibleRows(static_cast<int>(choices.size()));
        }
        connect(row, &CComboBar::Command, this, &CVSourceDialog::SendDialogCommand);
        rows_.push_back(row);
        rowSettings_.push_back(spec.setting);
    }
    SetButtonSet(3);
}

CVSourceDialog::~CVSourceDialog() = default;

CComboBar* CVSourceDialog::Row(int setting) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rowSettings_[i] == setting) return rows_[i];
    }
    return nullptr;
}

void CVSourceDialog::Open() {
    if (IsOpen()) return;
    const int height = CDialogRows::LabelledHeight(kRowCount) + DialogUnit() / 2;
    Create(StringText(kTitle), WindowWidth(4 * DialogUnit()), WindowHeight(height));
}

void CVSourceDialog::OnOpen() {
    settings_.SaveRange(kFirstByte, kLastByte);
    Reload();
}

void CVSourceDialog::Reload() {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        rows_[i]->SetText(settings_.TextOf(rowSettings_[i], false));
}

// A number row takes what was typed as a number of 0 to 100.
void CVSourceDialog::StorePictureRows() {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i]->CommandId() != kPictureRow) continue;
        const int value = std::clamp(rows_[i]->Text().trimmed().toInt(), 0, 100);
        settings_.Set(rowSettings_[i], value);
    }
}

// The bytes go back, and the graph is brought back to them: to the old input
// (a new device search) when it was changed, else to the old format, then the
// old noise reduction and picture settings.
void CVSourceDialog::Cancel() {
    const int input = settings_.Get(VideoInput);
    const int denoise = settings_.Get(Denoise);
    settings_.RestoreRange(kFirstByte, kLastByte);
    // With changes stored as they happen, the stored record got the values
    // being cancelled: store the restored ones too.
    if (settings_.Get(AutoStore) == 1) settings_.Store();
    sink_.SendCommand(input != settings_.Get(VideoInput) ? cmd::kReopenVideoInput
                                                         : cmd::kVideoFormatChanged);
    if (denoise != settings_.Get(Denoise)) sink_.SendCommand(cmd::kDenoiseChanged);
    sink_.SendCommand(cmd::kGrabberSettings3);
}

bool CVSourceDialog::OnCommand(int id) {
    switch (id) {
        case cmd::kVideoSourceReload:
            Reload();
            return true;
        case kInputRow:
            settings_.SetFromText(VideoInput, Row(VideoInput)->Text());
            sink_.SendCommand(cmd::kReopenVideoInput);
            return true;
        case kQualityRow:
            settings_.SetFromText(VideoQuality, Row(VideoQuality)->Text());
            sink_.SendCommand(cmd::kVideoFormatChanged);
            return true;
        case kDenoiseRow:
            settings_.SetFromText(Denoise, Row(Denoise)->Text());
            sink_.SendCommand(cmd::kDenoiseChanged);
            return true;
        case kPictureRow:
            StorePictureRows();
            sink_.SendCommand(cmd::kGrabberSettings3);
            Reload();
            return true;
        case kCancel:
            if (IsOpen()) Cancel();
            return false;  // and the dialog ends
        default:
            return false;
    }
}

void CVSourceDialog::LayoutClient(const QRect& client) {
    CDialogRows::LayoutLabelled(rows_, client);
}

}  // namespace kolvane
