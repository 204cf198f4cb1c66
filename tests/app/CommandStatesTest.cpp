#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/CommandStates.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

// A program state: real scene objects, and what the frame would know.
struct Facts : ICommandFacts {
    CSettings settings{160};
    CMdiaList media;
    CXshtList sheet{settings};
    bool grabber = false, editor = false, player = false;
    bool backup = false, undo = false, redo = false;
    bool live = false, looping = false;
    bool running = false, stepRun = false;
    bool cameraOpen = false, sourceOpen = false, optionsOpen = false;

    const CSettings& Settings() const override { return settings; }
    const CMdiaList& Media() const override { return media; }
    const CXshtList& Sheet() const override { return sheet; }
    bool GrabberVisible() const override { return grabber; }
    bool EditorVisible() const override { return editor; }
    bool PlayerVisible() const override { return player; }
    bool GrabBackupExists() const override { return backup; }
    bool CanUndo() const override { return undo; }
    bool CanRedo() const override { return redo; }
    bool LiveVideoRuns() const override { return live; }
    bool GrabberLooping() const override { return looping; }
    bool PlayerRunning() const override { return running; }
    bool PlayerStepRun() const override { return stepRun; }
    bool CameraDialogOpen() const override { return cameraOpen; }
    bool VideoSourceDialogOpen() const override { return sourceOpen; }
    bool OptionsDialogOpen() const override { return optionsOpen; }

    CNode* AddImage(const char* name) {
        CNode* item = media.AddMediaFile(kTypeImage, QStringLiteral("/scene/%1.png").arg(name));
        media.RecomputeSummaries();
        return item;
    }
    CNode* PlaceOnSheet() {
        CNode* cell = sheet.PlaceImage(AddImage("walk 0001"));
        sheet.Normalise();
        sheet.RecomputeSummaries();
        return cell;
    }
};

// One condition of a rule, made to hold or not.
using Condition = std::function<void(Facts&, bool holds)>;

const Condition kSheetHasFrames = [](Facts& f, bool holds) {
    if (holds) f.PlaceOnSheet();
};
// A sound level is a level too.
const Condition kMediaHasLevel = [](Facts& f, bool holds) {
    if (holds) f.media.AddMediaFile(kTypeSound, QStringLiteral("/scene/hum.wav"));
};
const Condition kImagesInLevel = [](Facts& f, bool holds) {
    if (holds) f.AddImage("a 0001");
};
const Condition kMediaSelected = [](Facts& f, bool holds) {
    CNode* item = f.AddImage("b 0001");
    if (holds) item->Select();
    f.media.RecomputeSummaries();
};
// Two images, one or both of them selected.
const Condition kOneImageSelected = [](Facts& f, bool holds) {
    f.AddImage("c 0001")->Select();
    CNode* second = f.AddImage("c 0002");
    if (!holds) second->Select();
    f.media.RecomputeSummaries();
};
const Condition kCellSelected = [](Facts& f, bool holds) {
    CNode* cell = f.PlaceOnSheet();
    if (holds) cell->Select();
    f.sheet.RecomputeSummaries();
};
const Condition kRangeFlag = [](Facts& f, bool holds) { f.sheet.rangeFlag = holds ? 1 : 0; };
const Condition kGrabber = [](Facts& f, bool holds) { f.grabber = holds; };
const Condition kEditor = [](Facts& f, bool holds) { f.editor = holds; };
const Condition kPlayer = [](Facts& f, bool holds) { f.player = holds; };
const Condition kBackup = [](Facts& f, bool holds) { f.backup = holds; };
const Condition kUndoPossible = [](Facts& f, bool holds) { f.undo = holds; };
const Condition kRedoPossible = [](Facts& f, bool holds) { f.redo = holds; };
const Condition kLiveVideo = [](Facts& f, bool holds) { f.live = holds; };
const Condition kNotLooping = [](Facts& f, bool holds) { f.looping = !holds; };
const Condition kCameraInput = [](Facts& f, bool holds) {
    f.settings.Set(VideoInput, holds ? 6 : 1);
};
const Condition kCameraClosed = [](Facts& f, bool holds) { f.cameraOpen = !holds; };
const Condition kSourceClosed = [](Facts& f, bool holds) { f.sourceOpen = !holds; };
const Condition kOptionsClosed = [](Facts& f, bool holds) { f.optionsOpen = !holds; };
// A first run has nothing stored yet: its settings count as changed.
const Condition kSettingsChanged = [](Facts& f, bool holds) {
    f.settings.Store();
    if (holds) f.settings.Set(DefTiming, f.settings.Get(DefTiming) + 1);
};
const Condition kNotPlaying = [](Facts& f, bool holds) { f.running = !holds; };

struct Rule {
    std::vector<int> commands;
    std::vector<Condition> conditions;
};

// The enable table, row by row: enabled with every condition, disabled
// without any one of them.
const std::vector<Rule>& EnableRules() {
    static const std::vector<Rule> rules = {
        {{cmd::kSaveScene, cmd::kClearSceneTiming, cmd::kSaveMovie}, {kSheetHasFrames}},
        {{cmd::kRestoreLastScene}, {kBackup}},
        {{cmd::kOpenSceneTiming, cmd::kMediaRemoveDuplicates, cmd::kViewMedia, cmd::kViewEditor},
         {kMediaHasLevel}},
        {{cmd::kUndo}, {kUndoPossible}},
        {{cmd::kRedo}, {kRedoPossible}},
        {{cmd::kCameraSetup}, {kGrabber, kCameraInput, kCameraClosed}},
        {{cmd::kVideoSource}, {kGrabber, kSourceClosed}},
        {{cmd::kOptions}, {kOptionsClosed}},
        {{cmd::kStoreSettings, cmd::kRestoreSettings}, {kSettingsChanged}},
        {{cmd::kMediaAdd, cmd::kMediaRename, cmd::kMediaRemoveSelected}, {kMediaSelected}},
        {{cmd::kGrabLevel}, {kGrabber}},
        {{cmd::kGrab}, {kGrabber, kLiveVideo}},
        {{cmd::kRegrab}, {kGrabber, kLiveVideo, kOneImageSelected}},
        {{cmd::kShowPrev, cmd::kShowNext}, {kGrabber, kNotLooping, kImagesInLevel}},
        {{cmd::kLoopSelected}, {kGrabber, kImagesInLevel}},
        {{cmd::kDuplicate, cmd::kRemove}, {kEditor, kCellSelected}},
        {{cmd::kEditRange}, {kEditor, kCellSelected, kRangeFlag}},
        {{cmd::kPlay, cmd::kPlayOnce, cmd::kViewPlayer}, {kSheetHasFrames}},
        // The menu's Step Back and Step Forw follow the step buttons.
        {{cmd::kStepBackButton, cmd::kStepForwButton, cmd::kStepBack, cmd::kStepForw},
         {kSheetHasFrames, kPlayer, kNotPlaying}},
    };
    return rules;
}

bool EnabledWith(const Rule& rule, int command, int without) {
    Facts facts;
    for (int i = 0; i < static_cast<int>(rule.conditions.size()); ++i) {
        rule.conditions[static_cast<std::size_t>(i)](facts, i != without);
    }
    return DecideCommandState(command, facts).enabled;
}

TEST(CommandStatesTest, EachCommandIsEnabledExactlyWhenAllItsConditionsHold) {
    for (const Rule& rule : EnableRules()) {
        for (int command : rule.commands) {
            EXPECT_TRUE(EnabledWith(rule, command, -1)) << command;
            for (int without = 0; without < static_cast<int>(rule.conditions.size()); ++without) {
                EXPECT_FALSE(EnabledWith(rule, command, without))
                    << command << " without condition " << without;
            }
        }
    }
}

TEST(CommandStatesTest, CommandsWithoutConditionsAreEnabledOnAnEmptyScene) {
    Facts facts;
    for (int command :
         {cmd::kClearScene, cmd::kOpenScene, cmd::kResetSettings, cmd::kViewGrabber, cmd::kExit,
          cmd::kMonitorAutoDetect, cmd::kLoadLiveView, cmd::kSwapGrabPlayKeys, cmd::kAutoStore}) {
        EXPECT_TRUE(DecideCommandState(command, facts).enabled) << command;
    }
}

TEST(CommandStatesTest, HoldingAStepButtonDoesNotDisableTheStepCommands) {
    Facts facts;
    facts.PlaceOnSheet();
    facts.player = true;
    facts.running = true;
    facts.stepRun = true;
    for (int command :
         {cmd::kStepBackButton, cmd::kStepForwButton, cmd::kStepBack, cmd::kStepForw}) {
        EXPECT_TRUE(DecideCommandState(command, facts).enabled) << command;
    }
}

TEST(CommandStatesTest, ChecksFollowTheSettings) {
    struct Case {
        int command;
        int setting;
    };
    const Case cases[] = {{cmd::kLoadLiveView, LoadLiveView},
                          {cmd::kIgnoreOpacity, IgnoreOpacity},
                          {cmd::kSwapGrabPlayKeys, SwapGrabPlayKeys},
                          {cmd::kAutoStore, AutoStore}};
    for (const Case& c : cases) {
        Facts facts;
        facts.settings.Set(c.setting, 0);
        EXPECT_FALSE(DecideCommandState(c.command, facts).checked) << c.command;
        facts.settings.Set(c.setting, 1);
        EXPECT_TRUE(DecideCommandState(c.command, facts).checked) << c.command;
    }

    Facts facts;
    facts.settings.SetNoClickGrab(true);
    EXPECT_TRUE(DecideCommandState(cmd::kNoClickGrab, facts).checked);
    facts.settings.SetNoClickGrab(false);
    EXPECT_FALSE(DecideCommandState(cmd::kNoClickGrab, facts).checked);
}

TEST(CommandStatesTest, OneMonitorTypeIsCheckedByTheStoredAspect) {
    const int aspects[] = {0, 125, 133, 160, 166, 177};
    for (int shown = 0; shown < 6; ++shown) {
        Facts facts;
        facts.settings.Set(MonitorAspect, aspects[shown]);
        for (int item = 0; item < 6; ++item) {
            EXPECT_EQ(DecideCommandState(cmd::kMonitorAutoDetect + item, facts).checked,
                      item == shown)
                << aspects[shown] << " item " << item;
        }
    }
    Facts odd;
    odd.settings.Set(MonitorAspect, 150);  // no type of its own: none checked
    for (int item = 0; item < 6; ++item) {
        EXPECT_FALSE(DecideCommandState(cmd::kMonitorAutoDetect + item, odd).checked);
    }
}

TEST(CommandStatesTest, GrabAndPlayTextsNameTheirKeyAndStopWhilePlaying) {
    struct Case {
        bool swapped;
        bool running;
        const char* grab;
        const char* play;
    };
    const Case cases[] = {
        {false, false, "&Grab\tEnter/Return", "&Play\tSpacebar"},
        {true, false, "&Grab\tSpacebar", "&Play\tEnter/Return"},
        {false, true, "&Grab\tEnter/Return", "&Stop\tSpacebar"},
        {true, true, "&Grab\tSpacebar", "&Stop\tEnter/Return"},
    };
    for (const Case& c : cases) {
        Facts facts;
        facts.settings.Set(SwapGrabPlayKeys, c.swapped ? 1 : 0);
        facts.running = c.running;
        EXPECT_EQ(DecideCommandState(cmd::kGrab, facts).text, QString::fromLatin1(c.grab));
        EXPECT_EQ(DecideCommandState(cmd::kPlay, facts).text, QString::fromLatin1(c.play));
    }
    EXPECT_EQ(PlayButtonText(true), QStringLiteral("stop"));
    EXPECT_EQ(PlayButtonText(false), QStringLiteral("play"));
}

}  // namespace
}  // namespace kolvane
