#include "app/FrameState.h"

#include "app/MainFrame.h"
#include "app/OptionsDialog.h"
#include "app/ProcessObjects.h"
#include "ui/PlayMainPanel.h"

namespace kolvane {
namespace {

// A hook not filled yet answers no.
bool Answer(const std::function<bool()>& hook) {
    return hook ? hook() : false;
}

}  // namespace

const CSettings& CFrameFacts::Settings() const {
    return objects_.settings;
}

const CMdiaList& CFrameFacts::Media() const {
    return objects_.media;
}

const CXshtList& CFrameFacts::Sheet() const {
    return objects_.sheet;
}

bool CFrameFacts::GrabberVisible() const {
    return frame_.IsAreaVisible(CMainFrame::Area::Grabber);
}

bool CFrameFacts::EditorVisible() const {
    return frame_.IsAreaVisible(CMainFrame::Area::Editor);
}

bool CFrameFacts::PlayerVisible() const {
    return frame_.IsAreaVisible(CMainFrame::Area::Player);
}

bool CFrameFacts::GrabBackupExists() const {
    return objects_.storage.CanRestoreLastScene();
}

bool CFrameFacts::CanUndo() const {
    return objects_.undo.CanUndo();
}

bool CFrameFacts::CanRedo() const {
    return objects_.undo.CanRedo();
}

bool CFrameFacts::LiveVideoRuns() const {
    return Answer(frame_.Receivers().liveVideoRuns);
}

bool CFrameFacts::GrabberLooping() const {
    return Answer(frame_.Receivers().grabberLooping);
}

bool CFrameFacts::PlayerRunning() const {
    return frame_.PlayerView().Engine().IsPlaying();
}

bool CFrameFacts::PlayerStepRun() const {
    const CPlayEngine& engine = frame_.PlayerView().Engine();
    return engine.IsPlaying() && (engine.IsSlow() || engine.IsBackwards());
}

bool CFrameFacts::CameraDialogOpen() const {
    return Answer(frame_.Receivers().cameraDialogOpen);
}

bool CFrameFacts::VideoSourceDialogOpen() const {
    return Answer(frame_.Receivers().videoSourceDialogOpen);
}

bool CFrameFacts::OptionsDialogOpen() const {
    return frame_.OptionsDialog().IsOpen();
}

}  // namespace kolvane
