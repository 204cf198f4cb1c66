#pragma once

#include <functional>
#include <memory>

#include "platform/Commands.h"

namespace kolvane {

class CGrabber;
class CMainFrame;
class CProgressDialog;

// The grabber's commands in the routing: Grab, Regrab, Show Prev and Next,
// Loop Selected and the grabber's notifications go to the engine's grabber;
// its results reach the user through the frame's message box. The grabber
// panel offers every command here first, so that the overlay is recomposed
// before the panel repaints on 33020.
class CGrabberCommands final : public ICommandTarget {
  public:
    CGrabberCommands(CMainFrame& frame, CGrabber& grabber);
    ~CGrabberCommands() override;

    // The numeric keypad's 1 to 9: one grab placed that many times.
    void GrabWithExposures(int exposures);

    // The enable rules are the frame's (they ask the live video and the loop).
    bool OnCommand(int id) override;

  private:
    void Report(int result);

    CMainFrame& frame_;
    CGrabber& grabber_;
    CProgressDialog* progress_ = nullptr;  // owned by the frame's window
};

}  // namespace kolvane
