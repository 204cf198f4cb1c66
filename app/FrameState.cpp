#include "app/FrameState.h"

#include <cstdint>

#include "app/MainFrame.h"
#include "app/OptionsDialog.h"
#include "engine/Engine.h"
#include "ui/BasicButton.h"
#include "ui/PlayMainPanel.h"
#include "ui/ToolPanel.h"

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

const QWidget* CFrameKeyboardHost::KeyWindow() const {
    return &frame_;
}

bool CFrameKeyboardHost::GrabberVisible() const {
    return frame_.IsAreaVisible(CMainFrame::Area::Grabber);
}

bool CFrameKeyboardHost::PlayerVisible() const {
    return frame_.IsAreaVisible(CMainFrame::Area::Player);
}

// The media list, unless the pointer lies right of it: then the player or
// the editor, whichever shows (the editor first).
QWidget* CFrameKeyboardHost::TargetPanel(QPoint global) const {
    QWidget* mediaList = frame_.MediaListPanel();
    const QPoint local = mediaList->mapFromGlobal(global);
    if (local.x() <= mediaList->rect().right()) return mediaList;
    if (frame_.IsAreaVisible(CMainFrame::Area::Editor)) {
        return frame_.MainPanel(CMainFrame::Area::Editor);
    }
    if (frame_.IsAreaVisible(CMainFrame::Area::Player)) {
        return frame_.MainPanel(CMainFrame::Area::Player);
    }
    return mediaList;
}

CBasicButton* CFrameKeyboardHost::ToolButton(int command) {
    for (int view : {cmd::kViewMedia, cmd::kViewGrabber, cmd::kViewEditor, cmd::kViewPlayer}) {
        if (CBasicButton* button = frame_.ToolPanel(view)->Button(command)) {
            button->setEnabled(frame_.QueryCommand(command).enabled);
            return button;
        }
    }
    return nullptr;
}

CommandState CFrameKeyboardHost::QueryCommand(int id) {
    return frame_.QueryCommand(id);
}

void CFrameKeyboardHost::SendCommand(int id) {
    frame_.SendCommand(id);
}

void CFrameKeyboardHost::GrabberDigit(int digit) {
    if (const auto& hook = frame_.Receivers().grabberDigit) hook(digit);
}

void CFrameKeyboardHost::PlayerGoToFrame(int frame) {
    // Unsigned on purpose: a frame before the first comes round to the last.
    frame_.PlayerView().Engine().GoToFrame(static_cast<std::uint32_t>(frame));
}

}  // namespace kolvane
