#include "ui/SceneDialog.h"

#include <QApplication>

#include "platform/StringTable.h"
#include "settings/DialogRecord.h"
#include "settings/TitleBar.h"
#include "storage/WorkingFolders.h"
#include "ui/BasicButton.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"
#include "ui/TextButton.h"

namespace kolvane {
namespace {

constexpr int kFirstTitle = 40330;  // "Open Scene", "Open Scene Timing", "Save Scene"
constexpr int kPresetLabel = 40300;
constexpr int kFormatLabel = 40301;
constexpr int kPresetTooltip = 50300;
constexpr int kFormatTooltip = 50301;
constexpr int kBaseTooltip = 50302;
constexpr int kLevelTooltip = 50303;  // "Enter the %s's name"
constexpr int kRefusedName = 60030;
constexpr int kVisibleRows[CSceneDialog::kFieldCount] = {2, 5, 6, 5, 5, 5, 5};

const QString kRecordGroup = QStringLiteral("LastScene");

int LevelOf(int field) {
    return field - CSceneDialog::kLevel1 + 1;
}

}  // namespace

CSceneDialog::CSceneDialog(QWidget* owner, CSettings& settings, const CTitleBar& title,
                           Procedures procedures, const QString& documents)
    : CRowsDialog(owner),
      settings_(settings),
      title_(title),
      procedures_(std::move(procedures)),
      chooser_(documents.isEmpty() ? CWorkingFolders::DefaultDocuments() : documents) {
    // The labels follow the preset, so the rows have none of their own (a
    // row's on/off switch would be kept by its label).
    for (int field = 0; field < kFieldCount; ++field)
        AddRow(kFirstCommand + field, QString(), field == kPreset || field == kFormat,
               kVisibleRows[field]);
    Row(kPreset)->SetItems(CSceneChooser::Presets());
}

CSceneDialog::~CSceneDialog() = default;

int CSceneDialog::Run(int kind) {
    kind_ = std::clamp(kind, static_cast<int>(CSceneChooser::kOpenScene),
                       static_cast<int>(CSceneChooser::kSaveScene));
    return RunRows(StringText(kFirstTitle + kind_ - CSceneChooser::kOpenScene));
}

void CSceneDialog::OnOpen() {
    chooser_.SetPreset(Row(kPreset)->Text());
    chooser_.SetFormat(Row(kFormat)->Text());
    ReadLevels();
    chooser_.Open(kind_, CDialogRecord(kRecordGroup), settings_, title_.SceneName().isEmpty());
    Row(kFormat)->SetItems(CSceneChooser::Formats(kind_));
    Row(kPreset)->SetText(chooser_.Preset());
    Row(kFormat)->SetText(chooser_.Format());
    chooser_.PresetChanged(settings_);
    chooser_.FormatChanged();
    // Level 1 as if it had changed: the base checked, the lists filled.
    chooser_.LevelChanged(1);
    ShowLabels();
    ShowLevels();
    ShowOk();
    Row(kLevel1 + 1)->Field()->setFocus(Qt::OtherFocusReason);
}

void CSceneDialog::ReadLevels() {
    for (int field = kLevel1; field <= kLevel5; ++field)
        chooser_.SetLevel(LevelOf(field), Row(field)->Text());
}

void CSceneDialog::ShowLevels() {
    for (int field = kLevel1; field <= kLevel5; ++field) {
        Row(field)->SetText(chooser_.Level(LevelOf(field)));
        Row(field)->SetItems(chooser_.LevelList(LevelOf(field)));
    }
}

void CSceneDialog::ShowLabels() {
    const auto tip = [](CComboBar* row, const QString& text) {
        row->setToolTip(text);
        row->Field()->setToolTip(text);
    };
    tip(Row(kPreset), StringText(kPresetTooltip));
    tip(Row(kFormat), StringText(kFormatTooltip));
    tip(Row(kLevel1), StringText(kBaseTooltip));
    for (int field = kLevel2; field <= kLevel5; ++field)
        tip(Row(field), StringText(kLevelTooltip, {chooser_.Label(LevelOf(field))}));
    update();
}

void CSceneDialog::ShowOk() {
    if (CBasicButton* ok = Button(1)) ok->setEnabled(chooser_.OkEnabled());
}

QStringList CSceneDialog::Labels() const {
    QStringList labels{StringText(kPresetLabel), StringText(kFormatLabel)};
    for (int level = 1; level <= CSceneChooser::kLevels; ++level)
        labels << chooser_.Label(level);
    return labels;
}

bool CSceneDialog::OnCommand(int id) {
    const int field = id - kFirstCommand;
    if (field == kPreset) {
        chooser_.SetPreset(Row(kPreset)->Text());
        chooser_.PresetChanged(settings_);
        ShowLabels();
        return true;
    }
    if (field == kFormat) {
        chooser_.SetFormat(Row(kFormat)->Text());
        chooser_.FormatChanged();
        ShowOk();
        return true;
    }
    if (field >= kLevel1 && field <= kLevel5) {
        if (!IsOpen()) return true;
        ReadLevels();
        chooser_.LevelChanged(LevelOf(field));
        ShowLevels();
        ShowOk();
        return true;
    }
    if (id == kOk) return !RunProcedure();  // handled (stays open) unless it may close
    return false;
}

bool CSceneDialog::RunProcedure() {
    ReadLevels();
    chooser_.EvaluateOk();
    ShowOk();
    if (!chooser_.OkEnabled()) return false;
    if (chooser_.RefusedLevel()) {
        ShowMessage(CMessageDialog::kError, kRefusedName);
        return false;
    }
    const QString folder = chooser_.SceneFolder();
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    kolvane::Result result = kFail;
    switch (kind_) {
        case CSceneChooser::kOpenScene:
            if (procedures_.openScene)
                result = procedures_.openScene(folder, chooser_.Extensions());
            break;
        case CSceneChooser::kOpenSceneTiming:
            if (procedures_.openSceneTiming) result = procedures_.openSceneTiming(folder);
            break;
        default:
            if (procedures_.saveScene)
                result = procedures_.saveScene(folder, chooser_.Extensions().value(0));
            break;
    }
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    chooser_.Store(CDialogRecord(kRecordGroup));
    return result == kolvane::kOk;  // not the dialog's ok button
}

}  // namespace kolvane
