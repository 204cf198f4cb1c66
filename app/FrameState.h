#pragma once

#include "app/CommandStates.h"
#include "app/KeyboardFilter.h"

namespace kolvane {

class CMainFrame;
class CEngine;

// The enable and check rules' view of the program: the scene objects, and
// what the frame, its panels and its dialogs know.
class CFrameFacts : public ICommandFacts {
  public:
    CFrameFacts(CMainFrame& frame, const CEngine& objects) : frame_(frame), objects_(objects) {}

    const CSettings& Settings() const override;
    const CMdiaList& Media() const override;
    const CXshtList& Sheet() const override;
    bool GrabberVisible() const override;
    bool EditorVisible() const override;
    bool PlayerVisible() const override;
    bool GrabBackupExists() const override;
    bool CanUndo() const override;
    bool CanRedo() const override;
    bool LiveVideoRuns() const override;
    bool GrabberLooping() const override;
    bool PlayerRunning() const override;
    bool PlayerStepRun() const override;
    bool CameraDialogOpen() const override;
    bool VideoSourceDialogOpen() const override;
    bool OptionsDialogOpen() const override;

  private:
    CMainFrame& frame_;
    const CEngine& objects_;
};

// The keyboard's view of the frame: its window, panels, buttons and router.
class CFrameKeyboardHost : public IKeyboardHost {
  public:
    explicit CFrameKeyboardHost(CMainFrame& frame) : frame_(frame) {}

    const QWidget* KeyWindow() const override;
    bool GrabberVisible() const override;
    bool PlayerVisible() const override;
    QWidget* TargetPanel(QPoint global) const override;
    CBasicButton* ToolButton(int command) override;
    CommandState QueryCommand(int id) override;
    void SendCommand(int id) override;
    void GrabberDigit(int digit) override;
    void PlayerGoToFrame(int frame) override;

  private:
    CMainFrame& frame_;
};

}  // namespace kolvane
