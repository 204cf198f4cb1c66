// The frame's scene and settings procedures: what Clear Scene, Restore Last
// Scene, the scene dialog's procedures, undo and the settings commands do
// with the engine, and whom they tell.

#include "app/MainFrame.h"

#include "app/CommandTable.h"
#include "app/FrameRefresh.h"
#include "app/IdlePump.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "platform/MessageText.h"
#include "ui/MessageDialog.h"
#include "ui/ProgressDialog.h"

namespace kolvane {
namespace {

constexpr int kMsgDefaultSettings = 60000;
constexpr int kMsgSettingsStored = 60001;
constexpr int kMsgSettingsRestored = 60003;
constexpr int kMsgReplaceScene = 60022;

}  // namespace

void CMainFrame::ResetSettings() {
    objects_.settings.ResetToDefaults();
    SendAll(refresh::kSettingsReset);
    objects_.title.Refresh();
    Inform(kMsgDefaultSettings);
}

void CMainFrame::StoreSettings() {
    objects_.settings.Store();
    Inform(kMsgSettingsStored);
}

void CMainFrame::RestoreSettings() {
    objects_.settings.Restore();
    SendAll(refresh::kSettingsRestored);
    objects_.title.Refresh();
    Inform(kMsgSettingsRestored);
}

void CMainFrame::UndoOrRedo(int id) {
    CUndo& undo = objects_.undo;
    const Result result = id == cmd::kUndo ? undo.UndoSheet(objects_.sheet, objects_.media)
                                           : undo.RedoSheet(objects_.sheet, objects_.media);
    SendCommand(cmd::kSheetChanged);
    if (result != kOk) ShowMessage(CMessageDialog::kError, result);
}

void CMainFrame::ToggleSetting(int index) {
    objects_.settings.Set(index, objects_.settings.Get(index) == 1 ? 0 : 1);
}

void CMainFrame::ReloadImagesForLiveView() {
    CDirect3D& display = objects_.display;
    if (!display.HasLiveViewCompanions()) return;
    {
        CProgressDialog progress(this);
        display.ReloadAllImages(progress);
    }
    SendAll(refresh::kImagesReloaded);
    idle_->Wake();  // idle loading waited while the window was up
}

void CMainFrame::SetMonitorType(int command) {
    const int aspect = MonitorTypeAspect(command);
    objects_.settings.Set(MonitorAspect, aspect);
    objects_.settings.Set(MonitorAuto, aspect == 0 ? 1 : 0);
    SendAll(refresh::kMonitorChanged);
}

// Work the previous run left in the working folders comes back, marked as
// changed; the program opens where that work goes on.
void CMainFrame::ResumeWorkingScene() {
    objects_.storage.ResumeWorkingScene(grabLevel_.get());
    SendAll(refresh::kSceneLists);
    idle_->Wake();  // the images' textures load while idle
    SwitchArea(objects_.sheet.Levels().empty() ? cmd::kViewGrabber : cmd::kViewEditor);
}

void CMainFrame::ClearScene() {
    repaint();
    const Result result = objects_.storage.ClearWorkingScene(grabLevel_.get());
    if (result != kOk) {
        // Nothing was cleared: the work stays where it is.
        ShowMessage(CMessageDialog::kError, result);
        return;
    }
    SendAll(refresh::kSceneReplaced);
    if (inSceneProcedure_) return;
    objects_.settings.Restore();
    SendAll(refresh::kSettingsRestoredByClear);
    objects_.title.Refresh();
    SwitchArea(cmd::kViewGrabber);
}

void CMainFrame::RestoreLastScene() {
    repaint();
    const Result result = objects_.storage.RestoreLastScene(grabLevel_.get());
    SendAll(refresh::kSceneReplaced);
    idle_->Wake();
    if (result != kOk) ShowMessage(CMessageDialog::kError, result);
}

void CMainFrame::ClearSceneTiming() {
    objects_.storage.ClearSceneTiming();
    SendCommand(cmd::kSheetChanged);
    SwitchArea(cmd::kViewEditor);
}

void CMainFrame::ShowSceneError(Result result) {
    messageBox_->ShowText(CMessageDialog::kError,
                          WithSubject(MessageText(result), objects_.storage.ErrorSubject()));
}

Result CMainFrame::OpenScene(const QString& folder, const QStringList& extensions) {
    inSceneProcedure_ = true;
    if (objects_.media.ImageLevel() != nullptr || !objects_.sheet.Levels().empty())
        SendCommand(cmd::kClearScene);
    Result result = kOk;
    {
        CProgressDialog progress(this);
        result = objects_.storage.OpenScene(folder, extensions, progress);
    }
    inSceneProcedure_ = false;
    SendAll(refresh::kSceneOpened);
    idle_->Wake();
    if (result != kOk) ShowSceneError(result);
    return result;
}

Result CMainFrame::SaveScene(const QString& folder, const QString& extension) {
    Result result = kOk;
    {
        CProgressDialog progress(this);
        result = objects_.storage.SaveScene(folder, extension, progress,
                                            [this] { return Ask(kMsgReplaceScene); });
    }
    SendAll(refresh::kSceneLists);
    if (result != kOk) ShowSceneError(result);
    return result;
}

Result CMainFrame::OpenSceneTiming(const QString& folder) {
    if (!objects_.sheet.Levels().empty()) SendCommand(cmd::kClearSceneTiming);
    QStringList notes;
    const Result result = objects_.storage.OpenSceneTiming(folder, &notes);
    SendAll(refresh::kTimingOpened);
    if (result != kOk) {
        ShowSceneError(result);
    } else if (!notes.isEmpty()) {
        // An exchanged sheet may carry what our sheet cannot: say what.
        messageBox_->ShowText(CMessageDialog::kWarning, notes.join(u'\n'));
    }
    return result;
}

}  // namespace kolvane
