#include <gtest/gtest.h>

#include <vector>

#include "model/MediaInfo.h"
#include "tests/player/fixtures/PlayFixtures.h"

namespace kolvane {
namespace {

using namespace std::chrono_literals;
using test::CPlayRig;
using test::CPlayScene;
using Frames = std::vector<int>;
constexpr int kWhite = -1;  // TakeFrames' codes for a white or black picture
constexpr int kBlack = -2;

Frames Range(int first, int last) {
    Frames frames;
    for (int k = first; k <= last; ++k)
        frames.push_back(k);
    return frames;
}

Frames Repeat(int value, int times) {
    return Frames(static_cast<std::size_t>(times), value);
}

Frames Join(Frames a, const Frames& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Ten frames of images over ten frames of sound, played from frame 0 for
// `ticks` ticks; the sound column.
CNode* PlayWithSound(CPlayRig& rig, int ticks) {
    rig.AddImageColumn(QStringLiteral("walk"), 10);
    CNode* beat = rig.AddSoundColumn(QStringLiteral("beat"), 10);
    rig.Settle();
    rig.engine->GoToFrame(0);
    rig.engine->TogglePlay();
    rig.Ticks(ticks);
    rig.view.TakeFrames();
    return beat;
}

TEST(PlayEngineTest, TenFrameSheetPlaysZeroToNineAndWraps) {
    CPlayRig rig;
    CNode* walk = rig.AddImageColumn(QStringLiteral("walk"), 10);
    rig.Settle();
    ASSERT_EQ(rig.sheet.SheetLength(), 11);
    rig.engine->GoToFrame(0);
    rig.engine->OnCommand(cmd::kPlay);
    ASSERT_TRUE(rig.engine->IsPlaying());
    EXPECT_EQ(rig.ticks.Period(), FramePeriod(25, false));
    EXPECT_EQ(rig.view.TakeFrames(), Frames({0, 0}));  // the frame before and at the start

    rig.Ticks(12);
    EXPECT_EQ(rig.view.TakeFrames(), Join(Range(1, 9), Range(0, 2)));
    for (const CNode* column : rig.sheet.Levels())
        EXPECT_EQ(column->summary->currentCell, 2) << column->name.toStdString();
    EXPECT_EQ(rig.engine->Statistics().skippedFrames, 0u);

    rig.engine->OnCommand(cmd::kPlay);
    EXPECT_FALSE(rig.engine->IsPlaying());
    EXPECT_FALSE(rig.ticks.IsRunning());
    EXPECT_TRUE(rig.view.statistics.empty());
    EXPECT_EQ(walk->summary->currentCell, 2);
}

TEST(PlayEngineTest, StepsAndJumpsComeRoundAtBothEnds) {
    struct Case {
        const char* what;
        int from;
        std::function<void(CPlayEngine&, int)> move;
        int expected;
    };
    auto jump = [](int by) {
        return [by](CPlayEngine& engine, int from) {
            engine.GoToFrame(static_cast<std::uint32_t>(from + by));
        };
    };
    const Case cases[] = {
        {"one second back from frame 3", 3, jump(-25), 9},
        {"one second on from frame 8", 8, jump(25), 9},
        {"a jump inside the sheet", 0, jump(5), 5},
        {"to the sheet length", 0, jump(11), 9},
        {"one past the sheet length", 0, jump(12), 1},
        {"step back from the first frame", 0, [](CPlayEngine& e, int) { e.StepBack(); }, 9},
        {"step forward from the last frame", 9, [](CPlayEngine& e, int) { e.StepForward(); }, 0},
    };
    for (const Case& c : cases) {
        CPlayRig rig;
        rig.AddImageColumn(QStringLiteral("walk"), 10);
        rig.Settle();
        rig.engine->GoToFrame(static_cast<std::uint32_t>(c.from));
        rig.view.TakeFrames();
        c.move(*rig.engine, c.from);
        EXPECT_EQ(rig.Current(), c.expected) << c.what;
        EXPECT_EQ(rig.view.TakeFrames(), Frames({c.expected})) << c.what;
        for (const CNode* column : rig.sheet.Levels())
            EXPECT_EQ(column->summary->currentCell, c.expected) << c.what;
        // Not playing: a wrap makes no pause.
        EXPECT_EQ(rig.engine->ExtraFrames(), 0u) << c.what;
    }
}

TEST(PlayEngineTest, LoopModesPauseOneSecondBeforeFrameZero) {
    struct Case {
        int loopMode;
        Frames pause;  // what the 25 ticks after frame 9 present
    };
    const Case cases[] = {
        {0, {}},
        {1, Repeat(kWhite, 25)},
        {2, Repeat(kBlack, 25)},
        {3, {}},  // hold last: nothing new is presented
    };
    for (const Case& c : cases) {
        CPlayRig rig;
        rig.settings.Set(LoopMode, c.loopMode);
        rig.AddImageColumn(QStringLiteral("walk"), 10);
        rig.Settle();
        rig.engine->GoToFrame(0);
        rig.engine->TogglePlay();
        rig.view.TakeFrames();
        rig.Ticks(9);
        ASSERT_EQ(rig.view.TakeFrames(), Range(1, 9)) << c.loopMode;
        if (c.loopMode == 0) {
            rig.Ticks(2);
            EXPECT_EQ(rig.view.TakeFrames(), Frames({0, 1}));
            continue;
        }
        rig.Ticks(25);
        EXPECT_EQ(rig.view.TakeFrames(), c.pause) << c.loopMode;
        if (c.loopMode == 3) {
            rig.view.PresentFrame();  // what the window still shows
            EXPECT_EQ(rig.view.LastCentre(), test::FrameColour(9));
            rig.view.TakeFrames();
        }
        rig.Ticks(2);
        EXPECT_EQ(rig.view.TakeFrames(), Frames({0, 1})) << c.loopMode;
        EXPECT_EQ(rig.engine->Statistics().skippedFrames, 0u);
    }
}

TEST(PlayEngineTest, ExtraBlackIsSilentAndTheSoundRestartsAtFrameZero) {
    CPlayRig rig;
    rig.settings.Set(LoopMode, 2);
    rig.AddImageColumn(QStringLiteral("walk"), 10);
    CNode* beat = rig.AddSoundColumn(QStringLiteral("beat"), 10);
    rig.Settle();
    ASSERT_NE(beat, nullptr);
    ASSERT_EQ(beat->children->size(), 11);
    rig.engine->GoToFrame(0);
    rig.engine->TogglePlay();
    rig.view.TakeFrames();

    rig.Tick();
    // One second (25 frames, round the 10 cells) written ahead of frame 1.
    EXPECT_TRUE(rig.engine->SoundStarted());
    EXPECT_TRUE(CPlayScene::RingPlaying(*beat));
    EXPECT_EQ(CPlayScene::SoundRow(*beat), (1 + 25) % 10);
    EXPECT_EQ(rig.LastSoundValue(*beat), (1 + 25) % 10 + 1);
    EXPECT_EQ(beat->summary->writeCursor, 26u * 7680u);

    rig.Ticks(8);
    rig.Tick();  // the wrap: the pause begins
    EXPECT_FALSE(CPlayScene::RingPlaying(*beat));
    const std::uint32_t cursor = beat->summary->writeCursor;
    rig.Ticks(24);
    EXPECT_EQ(rig.view.TakeFrames(), Join(Range(1, 9), Repeat(kBlack, 25)));
    EXPECT_FALSE(rig.engine->SoundStarted());
    EXPECT_FALSE(CPlayScene::RingPlaying(*beat));
    EXPECT_EQ(beat->summary->writeCursor, cursor);  // nothing written in the pause

    rig.Tick();
    EXPECT_EQ(rig.view.TakeFrames(), Frames({0}));
    EXPECT_TRUE(rig.engine->SoundStarted());
    EXPECT_TRUE(CPlayScene::RingPlaying(*beat));
    EXPECT_EQ(CPlayScene::SoundRow(*beat), 25 % 10);
    EXPECT_EQ(rig.LastSoundValue(*beat), 25 % 10 + 1);
}

TEST(PlayEngineTest, PlayOnceRunsToItsEndFrameAndReturns) {
    struct Case {
        const char* what;
        int returnCommand;
        int frames;
        int current;
        int length;
        int first;
        int end;
    };
    const Case cases[] = {
        {"from the grabber", cmd::kViewGrabber, 99, 40, 25, 73, 98},
        {"from the grabber, longer than the sheet", cmd::kViewGrabber, 99, 40, 100, 0, 98},
        {"from the editor", cmd::kViewEditor, 99, 10, 25, 0, 10},
        {"from the editor, a later frame", cmd::kViewEditor, 99, 60, 25, 35, 60},
        {"all frames", cmd::kViewEditor, 30, 10, 0, 0, 29},
    };
    for (const Case& c : cases) {
        CPlayRig rig;
        rig.settings.Set(PlayOnce, c.length);
        rig.AddImageColumn(QStringLiteral("walk"), c.frames);
        rig.Settle();
        rig.sheet.SetCurrentFrame(c.current);
        rig.view.shown = false;  // another view is up

        rig.engine->PlayOnce(c.returnCommand);
        EXPECT_EQ(rig.sink.sent, std::vector<int>({cmd::kViewPlayer})) << c.what;
        ASSERT_TRUE(rig.engine->IsPlaying()) << c.what;
        for (int guard = 0; guard < 200 && rig.engine->IsPlaying(); ++guard)
            rig.Tick();
        EXPECT_FALSE(rig.engine->IsPlaying()) << c.what;
        EXPECT_EQ(rig.view.TakeFrames(), Range(c.first, c.end)) << c.what;
        EXPECT_EQ(rig.sink.posted, std::vector<int>({c.returnCommand})) << c.what;
        EXPECT_EQ(rig.engine->ReturnCommand(), 0) << c.what;
    }
}

TEST(PlayEngineTest, PlayOnceInThePlayerStopsThroughItsPostedPlayCommand) {
    CPlayRig rig;
    rig.settings.Set(PlayOnce, 25);
    rig.AddImageColumn(QStringLiteral("walk"), 40);
    rig.Settle();
    rig.engine->GoToFrame(30);
    rig.engine->PlayOnce(cmd::kPlay);
    rig.view.TakeFrames();
    rig.Ticks(25);
    EXPECT_EQ(rig.view.TakeFrames(), Range(6, 30));
    rig.Tick();
    EXPECT_EQ(rig.sink.posted, std::vector<int>({cmd::kPlay}));
    EXPECT_TRUE(rig.engine->IsPlaying());  // until the posted command arrives
    rig.engine->OnCommand(rig.sink.posted.back());
    EXPECT_FALSE(rig.engine->IsPlaying());
    EXPECT_EQ(rig.Current(), 30);
}

TEST(PlayEngineTest, AStoppedOnceRunLeavesTheNextRunContinuous) {
    CPlayRig rig;
    rig.AddImageColumn(QStringLiteral("walk"), 20);
    rig.Settle();
    rig.sheet.SetCurrentFrame(10);
    rig.engine->PlayOnce(cmd::kViewEditor);
    rig.Ticks(3);
    rig.engine->TogglePlay();  // stopped early by the user
    EXPECT_EQ(rig.engine->ReturnCommand(), 0);

    rig.engine->TogglePlay();
    rig.Ticks(30);
    EXPECT_TRUE(rig.engine->IsPlaying());
    EXPECT_TRUE(rig.sink.posted.empty());
}

TEST(PlayEngineTest, HalfSpeedButtonsPlayWhileHeldAndSoundFollowsBackwards) {
    CPlayRig rig;
    rig.AddImageColumn(QStringLiteral("walk"), 10);
    CNode* beat = rig.AddSoundColumn(QStringLiteral("beat"), 10);
    rig.Settle();
    rig.engine->GoToFrame(3);
    rig.view.TakeFrames();

    rig.engine->OnCommand(cmd::kStepBackButton);  // pressed
    ASSERT_TRUE(rig.engine->IsPlaying());
    EXPECT_TRUE(rig.engine->IsBackwards());
    EXPECT_EQ(rig.ticks.Period(), FramePeriod(25, true));
    EXPECT_TRUE(rig.view.infoStripShown);  // only normal speed hides it
    rig.view.TakeFrames();
    std::vector<int> rows;
    for (int k = 0; k < 12; ++k) {
        rig.Tick();
        rows.push_back(CPlayScene::SoundRow(*beat));
        EXPECT_EQ(rig.LastSoundValue(*beat), rows.back() + 1);
    }
    EXPECT_EQ(rig.view.TakeFrames(), Frames({2, 1, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
    // The sound runs a second ahead backwards, through frame 0's cell and
    // never through the trailing cell.
    const int first = (2 - 25 + 50) % 10;
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(rows[static_cast<std::size_t>(k)], (first - k + 20) % 10) << k;

    rig.engine->OnCommand(cmd::kStepBackButton);  // released
    EXPECT_FALSE(rig.engine->IsPlaying());
    EXPECT_FALSE(rig.engine->IsBackwards());
    EXPECT_FALSE(CPlayScene::RingPlaying(*beat));

    rig.engine->OnCommand(cmd::kStepForwButton);
    EXPECT_TRUE(rig.engine->IsSlow());
    EXPECT_EQ(rig.ticks.Period(), FramePeriod(25, true));
    rig.view.TakeFrames();
    rig.Ticks(2);
    EXPECT_EQ(rig.view.TakeFrames(), Frames({2, 3}));
    rig.engine->OnCommand(cmd::kStepForwButton);
    EXPECT_FALSE(rig.engine->IsPlaying());
    EXPECT_FALSE(rig.engine->IsSlow());

    rig.engine->TogglePlay();
    EXPECT_FALSE(rig.view.infoStripShown);
    rig.engine->TogglePlay();
    EXPECT_TRUE(rig.view.infoStripShown);
}

TEST(PlayEngineTest, StartingFromAnotherViewBringsThePlayerUpAtFrameZero) {
    CPlayRig rig;
    rig.AddImageColumn(QStringLiteral("walk"), 10);
    rig.Settle();
    rig.sheet.SetCurrentFrame(5);
    rig.view.shown = false;
    rig.engine->OnCommand(cmd::kStepForwButton);
    EXPECT_EQ(rig.sink.sent, std::vector<int>({cmd::kViewPlayer}));
    EXPECT_TRUE(rig.engine->IsPlaying());
    // Showing the view on the way does not undo the half speed asked for.
    EXPECT_TRUE(rig.engine->IsSlow());
    EXPECT_EQ(rig.ticks.Period(), FramePeriod(25, true));
    EXPECT_EQ(rig.view.TakeFrames(), Frames({0}));
    rig.Tick();
    EXPECT_EQ(rig.view.TakeFrames(), Frames({1}));

    rig.engine->ViewShown(false);  // another view comes up
    EXPECT_FALSE(rig.engine->IsPlaying());
    EXPECT_EQ(rig.sink.sent.back(), cmd::kEditorGoToCurrent);
}

TEST(PlayEngineTest, WithTwoCellsSelectedOnlyTheirFramesPlay) {
    CPlayRig rig;
    CNode* walk = rig.AddImageColumn(QStringLiteral("walk"), 10);
    walk->children->at(2)->Select();
    walk->children->at(6)->Select();
    rig.Settle();
    rig.engine->GoToFrame(0);  // not selected: goes on to the next selected frame
    EXPECT_EQ(rig.view.TakeFrames(), Frames({2}));
    rig.engine->TogglePlay();
    rig.view.TakeFrames();
    rig.Ticks(4);
    EXPECT_EQ(rig.view.TakeFrames(), Frames({6, 2, 6, 2}));
}

TEST(PlayEngineTest, SteppingWhereNothingShowsEndsAfterOnePass) {
    struct Case {
        const char* what;
        std::function<void(CPlayRig&)> hide;
    };
    const Case cases[] = {
        {"every column off",
         [](CPlayRig& rig) {
             for (CNode* column : rig.sheet.Levels())
                 column->flags &= ~kFlagOn;
             rig.sheet.RecomputeSummaries();
         }},
        {"a selection count whose cells are gone",
         [](CPlayRig& rig) { rig.sheet.Totals().selected = 2; }},
    };
    for (const Case& c : cases) {
        CPlayRig rig;
        rig.AddImageColumn(QStringLiteral("walk"), 10);
        rig.Settle();
        rig.engine->GoToFrame(4);
        c.hide(rig);
        rig.view.TakeFrames();

        rig.engine->StepForward();
        rig.engine->StepBack();
        rig.engine->GoToFrame(7);
        EXPECT_EQ(rig.Current(), 7) << c.what;
        rig.engine->TogglePlay();
        rig.Ticks(2);
        EXPECT_EQ(rig.Current(), 7) << c.what;
        EXPECT_EQ(rig.view.TakeFrames(), Repeat(kWhite, 6)) << c.what;
    }
}

TEST(PlayEngineTest, ALateFrameIsDroppedButItsSoundIsWritten) {
    CPlayRig rig;
    CNode* beat = PlayWithSound(rig, 3);
    const int row = CPlayScene::SoundRow(*beat);
    const std::uint32_t cursor = beat->summary->writeCursor;

    rig.Tick(40ms);  // exactly one period behind: still on schedule
    rig.Tick(40ms + 1ns);
    EXPECT_EQ(rig.view.TakeFrames(), Frames({4}));
    EXPECT_EQ(rig.engine->Statistics().skippedFrames, 1u);
    EXPECT_EQ(rig.Current(), 5);
    EXPECT_EQ(CPlayScene::SoundRow(*beat), (row + 2) % 10);
    EXPECT_EQ(rig.LastSoundValue(*beat), (row + 2) % 10 + 1);
    EXPECT_EQ(beat->summary->writeCursor, cursor + 2 * 7680u);

    rig.Tick();
    EXPECT_EQ(rig.view.TakeFrames(), Frames({6}));
    EXPECT_EQ(CPlayScene::SoundRow(*beat), (row + 3) % 10);
}

TEST(PlayEngineTest, StatisticsOnlyForSkippedFramesOnScenesLongerThanEight) {
    struct Case {
        int frames;
        bool late;
        bool reported;
    };
    const Case cases[] = {{9, true, true}, {9, false, false}, {8, true, false}};
    for (const Case& c : cases) {
        CPlayRig rig;
        rig.AddImageColumn(QStringLiteral("walk"), c.frames);
        rig.Settle();
        rig.engine->TogglePlay();
        rig.Ticks(3);
        if (c.late) rig.Tick(200ms);
        rig.Ticks(2);
        rig.engine->TogglePlay();
        ASSERT_EQ(rig.view.statistics.size(), c.reported ? 1u : 0u) << c.frames;
        if (c.reported) {
            EXPECT_EQ(rig.view.statistics[0].skippedFrames, 1u);
            EXPECT_EQ(rig.view.statistics[0].lowestRate, 25u);
            EXPECT_EQ(rig.view.statistics[0].highestRate, 25u);
        }
        // The next start closes the dialog and counts afresh.
        rig.engine->TogglePlay();
        EXPECT_EQ(rig.view.statisticsClosed, 2);
        EXPECT_EQ(rig.engine->Statistics().skippedFrames, 0u);
    }
}

TEST(PlayEngineTest, RatesAreMeasuredOverOneSecondWindows) {
    CPlayRig rig;
    rig.AddImageColumn(QStringLiteral("walk"), 30);
    rig.Settle();
    rig.engine->TogglePlay();
    rig.Ticks(60);
    EXPECT_EQ(rig.engine->Statistics().lowestRate, 25u);
    EXPECT_EQ(rig.engine->Statistics().highestRate, 25u);
    // A stall of a second: the window it falls in counts fewer ticks.
    rig.Tick(1s);
    rig.Ticks(60);
    EXPECT_LT(rig.engine->Statistics().lowestRate, 20u);
    EXPECT_GT(rig.engine->Statistics().skippedFrames, 0u);
}

TEST(PlayEngineTest, TheScheduleKeepsTheExactFramePeriodOverALongRun) {
    EXPECT_EQ(FramePeriod(24, false).One(), 41'666'666ns);
    EXPECT_EQ(FramePeriod(24, false).Ticks(24'000), 1000s);
    EXPECT_EQ(FramePeriod(15, true).Ticks(15), 2s);
    EXPECT_EQ(FramePeriod(30, false).Ticks(30 * 3600), 1h);

    CPlayRig rig;
    rig.settings.Set(FrameRate, 24);
    rig.AddImageColumn(QStringLiteral("walk"), 48);
    rig.Settle();
    rig.engine->TogglePlay();
    ASSERT_EQ(rig.ticks.Period(), FramePeriod(24, false));
    rig.Ticks(24 * 100);  // a hundred seconds, each tick on time
    EXPECT_EQ(rig.engine->Statistics().skippedFrames, 0u);
    EXPECT_EQ(rig.Current(), (24 * 100) % 48);
}

TEST(PlayEngineTest, ARefreshDuringARunWritesNoExtraSound) {
    CPlayRig rig;
    CNode* beat = PlayWithSound(rig, 3);
    const int row = CPlayScene::SoundRow(*beat);
    const std::uint32_t cursor = beat->summary->writeCursor;
    rig.engine->OnCommand(cmd::kPlayerRefresh);
    EXPECT_EQ(CPlayScene::SoundRow(*beat), row);
    EXPECT_EQ(beat->summary->writeCursor, cursor);
    EXPECT_EQ(rig.Current(), 3);

    rig.engine->TogglePlay();
    rig.engine->OnCommand(cmd::kPlayerRefresh);
    EXPECT_EQ(rig.view.TakeFrames(), Frames({3}));
}

TEST(PlayEngineTest, AFrameRateChangeRefitsTheSoundAndRestartsTheRun) {
    CPlayRig rig;
    rig.AddImageColumn(QStringLiteral("walk"), 10);
    CNode* beat = rig.AddSoundColumn(QStringLiteral("beat"), 10);
    rig.Settle();
    rig.engine->TogglePlay();
    rig.Ticks(2);
    rig.settings.Set(FrameRate, 30);
    EXPECT_TRUE(rig.engine->OnCommand(cmd::kFrameRateChanged));
    EXPECT_TRUE(rig.engine->IsPlaying());
    EXPECT_EQ(rig.ticks.starts, 2);
    EXPECT_EQ(rig.ticks.Period(), FramePeriod(30, false));
    EXPECT_EQ(beat->children->size(), 13);  // 12 cells of the clip and the trailing one
    EXPECT_NE(std::find(rig.sink.sent.begin(), rig.sink.sent.end(), cmd::kSheetChanged),
              rig.sink.sent.end());
}

TEST(PlayEngineTest, ARefusedTimerLeavesThePlayerStopped) {
    CPlayRig rig;
    rig.AddImageColumn(QStringLiteral("walk"), 10);
    rig.Settle();
    rig.ticks.refuse = true;
    rig.engine->TogglePlay();
    EXPECT_FALSE(rig.engine->IsPlaying());
    EXPECT_TRUE(rig.view.tooltipsActive);
    EXPECT_TRUE(rig.view.infoStripShown);
}

TEST(PlayEngineTest, EmptySheetsAndEmptyFramesShowAWhitePicture) {
    CPlayRig rig;
    rig.engine->ShowFrame();
    EXPECT_EQ(rig.view.TakeFrames(), Frames({kWhite}));
    rig.engine->TogglePlay();
    rig.view.TakeFrames();
    rig.Ticks(3);  // nothing to step through
    EXPECT_TRUE(rig.view.TakeFrames().empty());
    rig.engine->TogglePlay();

    CNode* walk = rig.AddImageColumn(QStringLiteral("walk"), 3);
    rig.AddImageColumn(QStringLiteral("pan"), 6);
    walk->flags = kFlagOn;
    rig.sheet.FindLevelByName(QStringLiteral("pan"))->flags = 0;
    rig.Settle();
    rig.engine->GoToFrame(4);  // walk has a blank cell here, pan is off
    EXPECT_EQ(rig.view.TakeFrames(), Frames({kWhite}));
}

}  // namespace
}  // namespace kolvane
