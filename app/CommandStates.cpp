#include "app/CommandStates.h"

#include "app/CommandTable.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "platform/StringTable.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

constexpr int kStopText = 40006;
constexpr int kCameraInput = 6;  // VideoInput "camera (liveview)"

bool SheetHasFrames(const ICommandFacts& facts) {
    return facts.Sheet().FrameCount() > 0;
}

bool MediaHasLevel(const ICommandFacts& facts) {
    return !facts.Media().Levels().empty();
}

int SelectedImages(const ICommandFacts& facts) {
    const CNode* level = facts.Media().ImageLevel();
    return level != nullptr ? level->summary->selected : 0;
}

bool HasImages(const ICommandFacts& facts) {
    const CNode* level = facts.Media().ImageLevel();
    return level != nullptr && !level->children->empty();
}

bool Setting(const ICommandFacts& facts, int index) {
    return facts.Settings().Get(index) == 1;
}

// The step buttons and the menu's steps: a half-speed run they started
// does not count as playing, so letting go of the button can stop it.
bool CanStep(const ICommandFacts& facts) {
    const bool playing = facts.PlayerRunning() && !facts.PlayerStepRun();
    return SheetHasFrames(facts) && facts.PlayerVisible() && !playing;
}

}  // namespace

CommandState DecideCommandState(int id, const ICommandFacts& facts) {
    CommandState state;
    const bool swapped = Setting(facts, SwapGrabPlayKeys);
    switch (id) {
        case cmd::kSaveScene:
        case cmd::kClearSceneTiming:
        case cmd::kSaveMovie:
            state.enabled = SheetHasFrames(facts);
            break;
        case cmd::kRestoreLastScene:
            state.enabled = facts.GrabBackupExists();
            break;
        case cmd::kOpenSceneTiming:
        case cmd::kMediaRemoveDuplicates:
        case cmd::kViewMedia:
        case cmd::kViewEditor:
            state.enabled = MediaHasLevel(facts);
            break;
        case cmd::kUndo:
            state.enabled = facts.CanUndo();
            break;
        case cmd::kRedo:
            state.enabled = facts.CanRedo();
            break;
        case cmd::kLoadLiveView:
            state.checked = Setting(facts, LoadLiveView);
            break;
        case cmd::kIgnoreOpacity:
            state.checked = Setting(facts, IgnoreOpacity);
            break;
        case cmd::kSwapGrabPlayKeys:
            state.checked = swapped;
            break;
        case cmd::kNoClickGrab:
            state.checked = facts.Settings().NoClickGrab();
            break;
        case cmd::kAutoStore:
            state.checked = Setting(facts, AutoStore);
            break;
        case cmd::kCameraSetup:
            state.enabled = facts.GrabberVisible() &&
                            facts.Settings().Get(VideoInput) == kCameraInput &&
                            !facts.CameraDialogOpen();
            break;
        case cmd::kVideoSource:
            state.enabled = facts.GrabberVisible() && !facts.VideoSourceDialogOpen();
            break;
        case cmd::kOptions:
            state.enabled = !facts.OptionsDialogOpen();
            break;
        case cmd::kStoreSettings:
        case cmd::kRestoreSettings:
            state.enabled = facts.Settings().IsChanged();
            break;
        case cmd::kMediaAdd:
        case cmd::kMediaRename:
        case cmd::kMediaRemoveSelected:
            state.enabled = facts.Media().Totals().selected > 0;
            break;
        case cmd::kGrabLevel:
            state.enabled = facts.GrabberVisible();
            break;
        case cmd::kGrab:
            state.enabled = facts.GrabberVisible() && facts.LiveVideoRuns();
            state.text = GrabMenuText(swapped);
            break;
        case cmd::kRegrab:
            state.enabled =
                facts.GrabberVisible() && facts.LiveVideoRuns() && SelectedImages(facts) == 1;
            break;
        case cmd::kShowPrev:
        case cmd::kShowNext:
            state.enabled = facts.GrabberVisible() && !facts.GrabberLooping() && HasImages(facts);
            break;
        case cmd::kLoopSelected:
            state.enabled = facts.GrabberVisible() && HasImages(facts);
            break;
        case cmd::kDuplicate:
        case cmd::kRemove:
            state.enabled = facts.EditorVisible() && facts.Sheet().Totals().selected > 0;
            break;
        case cmd::kEditRange:
            state.enabled = facts.EditorVisible() && facts.Sheet().Totals().selected > 0 &&
                            facts.Sheet().rangeFlag != 0;
            break;
        case cmd::kPlay:
            state.enabled = SheetHasFrames(facts);
            state.text = PlayMenuText(swapped, facts.PlayerRunning());
            break;
        case cmd::kPlayOnce:
        case cmd::kViewPlayer:
            state.enabled = SheetHasFrames(facts);
            break;
        case cmd::kStepBackButton:
        case cmd::kStepForwButton:
        case cmd::kStepBack:
        case cmd::kStepForw:
            state.enabled = CanStep(facts);
            break;
        default:
            if (id >= cmd::kMonitorAutoDetect && id <= cmd::kMonitorWide169) {
                state.checked = facts.Settings().Get(MonitorAspect) == MonitorTypeAspect(id);
            }
            break;
    }
    return state;
}

QString PlayButtonText(bool running) {
    return StringText(running ? kStopText : cmd::kPlay);
}

}  // namespace kolvane
