#pragma once

#include <optional>

#include <QString>

namespace kolvane {

// Command identifiers. Panels, dialogs and the frame talk through these;
// notifications (33018 and up) are commands too.
namespace cmd {
// File
inline constexpr int kClearScene = 32800;
inline constexpr int kOpenScene = 32801;
inline constexpr int kSaveScene = 32802;
inline constexpr int kRestoreLastScene = 32803;
inline constexpr int kClearSceneTiming = 32804;
inline constexpr int kOpenSceneTiming = 32805;
inline constexpr int kSaveMovie = 32806;
inline constexpr int kExit = 57665;
// Edit
inline constexpr int kUndo = 32820;
inline constexpr int kRedo = 32821;
// Settings, Preferences
inline constexpr int kMonitorAutoDetect = 32822;  // 32822..32827
inline constexpr int kMonitorWide169 = 32827;
inline constexpr int kLoadLiveView = 32828;
inline constexpr int kIgnoreOpacity = 32829;
inline constexpr int kSwapGrabPlayKeys = 32830;
inline constexpr int kNoClickGrab = 32831;
inline constexpr int kAutoStore = 32832;
inline constexpr int kCameraSetup = 32833;
inline constexpr int kVideoSource = 32834;
inline constexpr int kOptions = 32835;
inline constexpr int kResetSettings = 32836;
inline constexpr int kStoreSettings = 32837;
inline constexpr int kRestoreSettings = 32838;
// Media
inline constexpr int kMediaAdd = 32839;
inline constexpr int kMediaRename = 32840;
inline constexpr int kMediaRemoveSelected = 32841;
inline constexpr int kMediaRemoveDuplicates = 32842;
inline constexpr int kViewMedia = 32843;
// Grabber
inline constexpr int kReopenVideoInput = 32850;
inline constexpr int kRebuildCaptureGraph = 32851;
inline constexpr int kGrabLevel = 32852;
inline constexpr int kGrab = 32853;
inline constexpr int kRegrab = 32854;
inline constexpr int kShowPrev = 32855;
inline constexpr int kShowNext = 32856;
inline constexpr int kLoopSelected = 32857;
inline constexpr int kViewGrabber = 32858;
inline constexpr int kGrabberDisplaySettings = 32859;
inline constexpr int kVideoFormatChanged = 32860;
inline constexpr int kDenoiseChanged = 32861;
inline constexpr int kGrabberSettings2 = 32862;
inline constexpr int kGrabberSettings3 = 32863;  // picture settings (bytes 18-21, 23)
inline constexpr int kGrabberSettings4 = 32864;  // camera settings written to the camera
inline constexpr int kCameraRemember = 32865;    // the camera keeps its current values
inline constexpr int kCameraRestore = 32866;     // the camera gets back the values it kept
inline constexpr int kGrabberMotionSettings = 32867;
// Editor
inline constexpr int kDuplicate = 32870;
inline constexpr int kRemove = 32871;
inline constexpr int kEditRange = 32872;
inline constexpr int kViewEditor = 32873;
inline constexpr int kEditorColumnCount = 32874;
// Player
inline constexpr int kFrameRateChanged = 32890;
inline constexpr int kPlay = 32891;
inline constexpr int kPlayOnce = 32892;
inline constexpr int kStepBackButton = 32893;
inline constexpr int kStepForwButton = 32894;
inline constexpr int kStepBack = 32895;
inline constexpr int kStepForw = 32896;
inline constexpr int kViewPlayer = 32897;
inline constexpr int kPlayerDisplaySettings = 32898;
// Notifications
inline constexpr int kGrabNameRefresh = 33017;  // the grab level's next number from its name
inline constexpr int kForgetShownImage = 33018;
inline constexpr int kMediaSync = 33019;  // the media view scrolls to its current row
inline constexpr int kGrabberRefresh = 33020;
inline constexpr int kEditorRefresh = 33021;
inline constexpr int kPlayerRefresh = 33022;
inline constexpr int kVideoSourceReload = 33023;
inline constexpr int kCameraReload = 33024;
inline constexpr int kOptionsReload = 33025;
inline constexpr int kAnimFieldChanged = 33026;  // a field of the naming dialog changed
inline constexpr int kRangeInitialise = 33027;   // cells were removed: measure the range again
inline constexpr int kLightboxChanged = 33028;
inline constexpr int kMediaChanged = 33029;
inline constexpr int kSheetChanged = 33030;
inline constexpr int kMediaNamesChanged = 33031;
inline constexpr int kMediaShowLastAdded = 33040;
inline constexpr int kEditorGoToCurrent = 33041;
// The range dialog: reload its controls, and its six changes.
inline constexpr int kRangeReload = 33050;
inline constexpr int kRangeOrdering = 33051;
inline constexpr int kRangeTiming = 33052;
inline constexpr int kRangeRepeat = 33053;
inline constexpr int kRangeUntil = 33054;
inline constexpr int kRangeBefore = 33055;
inline constexpr int kRangeAfter = 33056;
}  // namespace cmd

// Where engine code and panels send their commands: the main frame routes
// them. Send is direct; Post queues the command for the event loop.
class ICommandSink {
  public:
    virtual ~ICommandSink() = default;
    virtual void SendCommand(int id) = 0;
    virtual void PostCommand(int id) = 0;
};

// The enable/check state of a command, answered by the router.
struct CommandState {
    bool enabled = true;
    bool checked = false;
    std::optional<QString> text;  // a replacement menu text
};

// A panel or dialog that takes part in command routing.
class ICommandTarget {
  public:
    virtual ~ICommandTarget() = default;
    // True when the command was handled here (routing stops).
    virtual bool OnCommand(int id) = 0;
    // True when this target decides the command's state.
    virtual bool OnCommandState(int /*id*/, CommandState& /*state*/) { return false; }
};

}  // namespace kolvane
