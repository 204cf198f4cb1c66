#include "app/CommandTable.h"

#include "platform/Commands.h"

namespace kolvane {
namespace {

constexpr char kFile[] = "File";
constexpr char kEdit[] = "Edit";
constexpr char kMonitor[] = "Settings/Preferences/Monitor Type";
constexpr char kPreferences[] = "Settings/Preferences";
constexpr char kSettings[] = "Settings";
constexpr char kMedia[] = "Tools/Media";
constexpr char kGrabber[] = "Tools/Grabber";
constexpr char kEditor[] = "Tools/Editor";
constexpr char kPlayer[] = "Tools/Player";
constexpr char kView[] = "View";

const MenuItem kMenuItems[] = {
    {kFile, cmd::kClearScene, "&Clear Scene\tCtrl+N"},
    {kFile, cmd::kOpenScene, "&Open Scene...\tCtrl+O"},
    {kFile, cmd::kSaveScene, "&Save Scene...\tCtrl+S"},
    {kFile, cmd::kRestoreLastScene, "Restore &Last Scene\tCtrl+L"},
    {kFile, cmd::kClearSceneTiming, "Clear Scene T&iming\tCtrl+I"},
    {kFile, cmd::kOpenSceneTiming, "O&pen Scene Timing...\tCtrl+P"},
    {kFile, cmd::kSaveMovie, "Save &Movie...\tCtrl+M"},
    {kFile, cmd::kExit, "Exit"},
    {kEdit, cmd::kUndo, "&Undo\tCtrl+Z"},
    {kEdit, cmd::kRedo, "&Redo\tCtrl+Y"},
    {kMonitor, cmd::kMonitorAutoDetect, "Auto Detect", true},
    {kMonitor, cmd::kMonitorAutoDetect + 1, "Standard  5:4", true},
    {kMonitor, cmd::kMonitorAutoDetect + 2, "Standard  4:3", true},
    {kMonitor, cmd::kMonitorAutoDetect + 3, "Wide lcd 16:10", true},
    {kMonitor, cmd::kMonitorAutoDetect + 4, "Wide lcd 15:9", true},
    {kMonitor, cmd::kMonitorWide169, "Wide lcd 16:9", true},
    {kPreferences, cmd::kLoadLiveView, "Load LiveView Images", true},
    {kPreferences, cmd::kIgnoreOpacity, "Ignore Image Opacity", true},
    {kPreferences, cmd::kSwapGrabPlayKeys, "Swap Grab and Play Keys", true},
    {kPreferences, cmd::kNoClickGrab, "No click-on-window grab", true},
    {kPreferences, cmd::kAutoStore, "Auto Store Setting Changes", true},
    {kSettings, cmd::kCameraSetup, "&Camera Setup...\tCtrl+C"},
    {kSettings, cmd::kVideoSource, "&Video Source...\tCtrl+V"},
    {kSettings, cmd::kOptions, "O&ptions...\tCtrl+P"},
    {kSettings, cmd::kResetSettings, "&Reset Settings\tCtrl+R"},
    {kSettings, cmd::kStoreSettings, "S&tore Settings\tCtrl+T"},
    {kSettings, cmd::kRestoreSettings, "R&estore Settings\tCtrl+E"},
    {kMedia, cmd::kMediaAdd, "&Add\tAdd (+)"},
    {kMedia, cmd::kMediaRename, "&Rename...\tDevide (/)"},
    {kMedia, cmd::kMediaRemoveSelected, "&Remove Selected"},
    {kMedia, cmd::kMediaRemoveDuplicates, "&Remove Duplicates"},
    {kGrabber, cmd::kGrabLevel, "&Level...\tDecimal (.)"},
    {kGrabber, cmd::kGrab, "&Grab\tEnter/Return"},
    {kGrabber, cmd::kRegrab, "&Regrab\tBackspace"},
    {kGrabber, cmd::kShowPrev, "Show Prev\tLeft Arrow"},
    {kGrabber, cmd::kShowNext, "Show Next\tRight arrrow"},
    {kGrabber, cmd::kLoopSelected, "Loop Selected\tF11"},
    {kEditor, cmd::kDuplicate, "&Duplicate\tInsert"},
    {kEditor, cmd::kRemove, "&Remove\tDelete"},
    {kEditor, cmd::kEditRange, "&Edit...\tMultiply (*)"},
    {kPlayer, cmd::kPlay, "&Play\tEnter/Return"},
    {kPlayer, cmd::kPlayOnce, "Play Once\tF12"},
    {kPlayer, cmd::kStepBack, "Step &Back\tLeft Arrow"},
    {kPlayer, cmd::kStepForw, "Step &Forw\tRight Arrow"},
    {kView, cmd::kViewMedia, "&Media\tF1"},
    {kView, cmd::kViewGrabber, "&Grabber\tF2"},
    {kView, cmd::kViewEditor, "&Editor\tF3"},
    {kView, cmd::kViewPlayer, "&Player\tF4"},
};

const Accelerator kAccelerators[] = {
    {Qt::Key_N, cmd::kClearScene},
    {Qt::Key_O, cmd::kOpenScene},
    {Qt::Key_S, cmd::kSaveScene},
    {Qt::Key_L, cmd::kRestoreLastScene},
    {Qt::Key_H, cmd::kClearSceneTiming},
    {Qt::Key_X, cmd::kOpenSceneTiming},
    {Qt::Key_M, cmd::kSaveMovie},
    {Qt::Key_Y, cmd::kRedo},
    {Qt::Key_Z, cmd::kUndo},
    {Qt::Key_C, cmd::kCameraSetup},
    {Qt::Key_V, cmd::kVideoSource},
    {Qt::Key_P, cmd::kOptions},
    {Qt::Key_R, cmd::kResetSettings},
    {Qt::Key_T, cmd::kStoreSettings},
    {Qt::Key_E, cmd::kRestoreSettings},
};

// Enter and the space bar are not here: which button they press depends on
// the swap (ButtonKeyCommand).
const ButtonKey kButtonKeys[] = {
    {Qt::Key_F1, false, cmd::kViewMedia},
    {Qt::Key_F2, false, cmd::kViewGrabber},
    {Qt::Key_F3, false, cmd::kViewEditor},
    {Qt::Key_F4, false, cmd::kViewPlayer},
    {Qt::Key_Plus, true, cmd::kMediaAdd},
    {Qt::Key_Slash, true, cmd::kMediaRename},
    {Qt::Key_Period, true, cmd::kGrabLevel},
    {Qt::Key_Comma, true, cmd::kGrabLevel},  // the keypad's decimal key on comma layouts
    {Qt::Key_Backspace, false, cmd::kRegrab},
    {Qt::Key_Insert, false, cmd::kDuplicate},
    {Qt::Key_Delete, false, cmd::kRemove},
    {Qt::Key_Asterisk, true, cmd::kEditRange},
    {Qt::Key_Left, false, cmd::kStepBackButton},
    {Qt::Key_Right, false, cmd::kStepForwButton},
};

}  // namespace

std::span<const MenuItem> MenuItems() {
    return kMenuItems;
}

int MonitorTypeAspect(int command) {
    static constexpr int kAspects[] = {0, 125, 133, 160, 166, 177};
    return kAspects[command - cmd::kMonitorAutoDetect];
}

int AcceleratorCommand(int key, Qt::KeyboardModifiers modifiers) {
    if ((modifiers & ~Qt::KeypadModifier) != Qt::ControlModifier) return 0;
    for (const Accelerator& accelerator : kAccelerators) {
        if (accelerator.key == key) return accelerator.command;
    }
    return 0;
}

int ButtonKeyCommand(int key, Qt::KeyboardModifiers modifiers, bool swapGrabPlay) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return swapGrabPlay ? cmd::kPlay : cmd::kGrab;
        case Qt::Key_Space:
            return swapGrabPlay ? cmd::kGrab : cmd::kPlay;
        default:
            break;
    }
    const bool keypad = modifiers & Qt::KeypadModifier;
    for (const ButtonKey& binding : kButtonKeys) {
        if (binding.key == key && (keypad || !binding.keypad)) return binding.command;
    }
    return 0;
}

QString GrabMenuText(bool swapGrabPlay) {
    return swapGrabPlay ? QStringLiteral("&Grab\tSpacebar") : QStringLiteral("&Grab\tEnter/Return");
}

QString PlayMenuText(bool swapGrabPlay, bool playing) {
    if (playing) {
        return swapGrabPlay ? QStringLiteral("&Stop\tEnter/Return")
                            : QStringLiteral("&Stop\tSpacebar");
    }
    return swapGrabPlay ? QStringLiteral("&Play\tEnter/Return") : QStringLiteral("&Play\tSpacebar");
}

}  // namespace kolvane
