#include "ui/CameraDialog.h"

#include "platform/StringTable.h"
#include "settings/Settings.h"
#include "ui/ComboBar.h"
#include "ui/DialogRows.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kTitle = 40710;
constexpr int kCameraLabel = 40711;
constexpr int kNoCamera = 40716;
constexpr int kCameraTooltip = 50210;
constexpr int kFirstByte = LightingType;  // bytes 32..35 belong to this dialog
constexpr int kLastByte = ImageSize;

struct RowSpec {
    int labelId;
    int setting;
    int tooltipId;
};

constexpr RowSpec kRows[] = {
    {40712, LightingType, 50211},
    {40713, SceneType, 50212},
    {40714, FocalRange, 50213},
    {40715, ImageSize, 50214},
};

}  // namespace

CCameraDialog::CCameraDialog(CSettings& settings, ICommandSink& sink,
                             std::function<QString()> cameraName, QWidget* owner)
    : CBasicDialog(owner), settings_(settings), sink_(sink), cameraName_(std::move(cameraName)) {
    cameraRow_ = new CComboBar(kRowCommand, StringText(kCameraLabel), StringText(kCameraTooltip),
                               CComboBar::Kind::kList, Colors(), this);
    rows_.push_back(cameraRow_);
    connect(cameraRow_, &CComboBar::Command, this, &CCameraDialog::SendDialogCommand);
    for (const RowSpec& spec : kRows) {
        auto* row = new CComboBar(kRowCommand, StringText(spec.labelId), StringText(spec.tooltipId),
                                  CComboBar::Kind::kList, Colors(), this);
        const QStringList choices = CSettings::ChoiceTexts(spec.setting);
        row->SetItems(choices);
        row->SetVisibleRows(static_cast<int>(choices.size()));
        connect(row, &CComboBar::Command, this, &CCameraDialog::SendDialogCommand);
        rows_.push_back(row);
    }
    SetButtonSet(3);
}

CCameraDialog::~CCameraDialog() = default;

CComboBar* CCameraDialog::Row(int setting) const {
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        if (kRows[i].setting == setting) return rows_[i + 1];
    }
    return nullptr;
}

void CCameraDialog::Open() {
    if (IsOpen()) return;
    const int count = static_cast<int>(rows_.size());
    const int height = CDialogRows::LabelledHeight(count) + DialogUnit() / 2;
    Create(StringText(kTitle), WindowWidth(4 * DialogUnit()), WindowHeight(height));
}

void CCameraDialog::OnOpen() {
    sink_.SendCommand(cmd::kCameraRemember);
    settings_.SaveRange(kFirstByte, kLastByte);
    Reload();
}

void CCameraDialog::Reload() {
    const QString name = cameraName_ ? cameraName_() : QString();
    const QString shown = name.isEmpty() ? StringText(kNoCamera) : name;
    cameraRow_->SetItems({shown});
    cameraRow_->SetVisibleRows(1);
    cameraRow_->SetText(shown);
    for (const RowSpec& spec : kRows)
        Row(spec.setting)->SetText(settings_.TextOf(spec.setting, false));
}

void CCameraDialog::StoreRows() {
    for (const RowSpec& spec : kRows)
        settings_.SetFromText(spec.setting, Row(spec.setting)->Text());
}

void CCameraDialog::Cancel() {
    const int imageSize = settings_.Get(ImageSize);
    settings_.RestoreRange(kFirstByte, kLastByte);
    if (settings_.Get(AutoStore) == 1) settings_.Store();
    sink_.SendCommand(cmd::kCameraRestore);
    sink_.SendCommand(cmd::kGrabberSettings4);
    if (imageSize != settings_.Get(ImageSize)) sink_.SendCommand(cmd::kGrabberRefresh);
}

bool CCameraDialog::OnCommand(int id) {
    switch (id) {
        case cmd::kCameraReload:
            Reload();
            return true;
        case kRowCommand: {
            const int imageSize = settings_.Get(ImageSize);
            StoreRows();
            sink_.SendCommand(cmd::kGrabberSettings4);
            // The status line and the overlay follow a new grab size.
            if (imageSize != settings_.Get(ImageSize)) sink_.SendCommand(cmd::kGrabberRefresh);
            Reload();
            return true;
        }
        case kCancel:
            if (IsOpen()) Cancel();
            return false;
        default:
            return false;
    }
}

void CCameraDialog::LayoutClient(const QRect& client) {
    CDialogRows::LayoutLabelled(rows_, client);
}

}  // namespace kolvane
