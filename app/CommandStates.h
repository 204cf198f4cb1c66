#pragma once

#include <QString>

#include "platform/Commands.h"

namespace kolvane {

class CMdiaList;
class CSettings;
class CXshtList;

// What the enable and check rules read. The scene objects are read
// directly; the rest is known to the frame, its panels and its dialogs.
class ICommandFacts {
  public:
    virtual ~ICommandFacts() = default;

    virtual const CSettings& Settings() const = 0;
    virtual const CMdiaList& Media() const = 0;
    virtual const CXshtList& Sheet() const = 0;

    // The work area shown.
    virtual bool GrabberVisible() const = 0;
    virtual bool EditorVisible() const = 0;
    virtual bool PlayerVisible() const = 0;

    // The Grab folder's backup exists and is not empty.
    virtual bool GrabBackupExists() const = 0;
    virtual bool CanUndo() const = 0;
    virtual bool CanRedo() const = 0;

    virtual bool LiveVideoRuns() const = 0;
    virtual bool GrabberLooping() const = 0;

    // Any run of the player, and whether it is the half-speed run that
    // holding a step button makes.
    virtual bool PlayerRunning() const = 0;
    virtual bool PlayerStepRun() const = 0;

    virtual bool CameraDialogOpen() const = 0;
    virtual bool VideoSourceDialogOpen() const = 0;
    virtual bool OptionsDialogOpen() const = 0;
};

// Whether command `id` is enabled and checked, and the run-time menu text of
// Grab and Play. Commands without a rule are enabled.
CommandState DecideCommandState(int id, const ICommandFacts& facts);

// The player's "play" button reads "stop" during a run.
QString PlayButtonText(bool running);

}  // namespace kolvane
