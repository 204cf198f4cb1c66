#include "app/GrabberCommands.h"

#include "app/MainFrame.h"
#include "capture/Grabber.h"
#include "ui/MessageDialog.h"
#include "ui/ProgressDialog.h"

namespace kolvane {

CGrabberCommands::CGrabberCommands(CMainFrame& frame, CGrabber& grabber)
    : frame_(frame), grabber_(grabber), progress_(new CProgressDialog(&frame)) {}

CGrabberCommands::~CGrabberCommands() = default;

void CGrabberCommands::Report(int result) {
    const QString text = CGrabber::FailureText(result);
    if (!text.isEmpty()) frame_.MessageBox().ShowText(CMessageDialog::kError, text);
}

void CGrabberCommands::GrabWithExposures(int exposures) {
    if (!frame_.IsAreaVisible(CMainFrame::Area::Grabber) || !grabber_.CanGrab()) return;
    Report(grabber_.Grab(exposures, progress_));
}

bool CGrabberCommands::OnCommand(int id) {
    switch (id) {
        case cmd::kGrab:
            if (grabber_.CanGrab()) Report(grabber_.Grab(0, progress_));
            return true;
        case cmd::kRegrab:
            if (grabber_.CanRegrab()) Report(grabber_.Regrab(progress_));
            return true;
        case cmd::kShowPrev:
            grabber_.ShowPrev();
            return true;
        case cmd::kShowNext:
            grabber_.ShowNext();
            return true;
        case cmd::kLoopSelected:
            if (grabber_.ToggleLoop() == msg::kSelectImagesToLoop) {
                frame_.ShowMessage(CMessageDialog::kInformation, msg::kSelectImagesToLoop);
            }
            return true;
        case cmd::kGrabNameRefresh:
            grabber_.RefreshGrabLevel();
            return true;
        case cmd::kForgetShownImage:
            grabber_.ForgetShownImageIfGone();
            return true;
        case cmd::kLightboxChanged:
            grabber_.RecomposeOverlay();
            return true;
        case cmd::kGrabberRefresh:
            // The panel repaints after this, with the new overlay.
            grabber_.RecomposeOverlay();
            return false;
        default:
            return false;
    }
}

}  // namespace kolvane
