#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "tests/player/fixtures/PlayFixtures.h"
#include "tests/ui/PanelFixtures.h"
#include "ui/PlayMainPanel.h"
#include "ui/PlayStatsDialog.h"
#include "ui/StripBar.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

using namespace std::chrono_literals;
using test::FrameColour;
using RecordingSink = test::CCommandRecorder;

// A sheet of three coloured images and the player view over it, on its own
// timer thread and a clock the test moves.
class PlayMainPanelTest : public ::testing::Test {
  protected:
    PlayMainPanelTest() {
        scene.AddImageColumn(QStringLiteral("walk"), 3);
        scene.Settle();
        scene.sheet.SetCurrentFrame(0);
        CPlayEngine::Links links = scene.PlayLinks();
        links.clock = &clock;
        panel = std::make_unique<CPlayMainPanel>(sink, links, nullptr);
        panel->resize(64, 48);
    }
    ~PlayMainPanelTest() override { panel.reset(); }

    QRgb Centre() { return panel->grab().toImage().pixel(32, 24); }

    test::CPlayScene scene;
    CXshtList& sheet = scene.sheet;
    test::CManualPlayClock clock;
    RecordingSink sink;
    std::unique_ptr<CPlayMainPanel> panel;
};

TEST_F(PlayMainPanelTest, ShowsTheCurrentFrameAndFollowsTheStepCommands) {
    panel->show();
    EXPECT_EQ(Centre(), FrameColour(0));
    EXPECT_TRUE(panel->OnCommand(cmd::kStepForw));
    EXPECT_EQ(Centre(), FrameColour(1));
    panel->OnCommand(cmd::kStepBack);
    panel->OnCommand(cmd::kStepBack);
    EXPECT_EQ(sheet.CurrentFrame(), 2);
    EXPECT_EQ(Centre(), FrameColour(2));
    EXPECT_TRUE(panel->OnCommand(cmd::kPlayerRefresh));
    EXPECT_TRUE(panel->OnCommand(cmd::kPlayerDisplaySettings));
    EXPECT_TRUE(panel->InfoShown());
    EXPECT_FALSE(panel->OnCommand(cmd::kViewEditor));
}

TEST_F(PlayMainPanelTest, PlaysOnItsTimerThreadAndStopsWhenHidden) {
    panel->show();
    ASSERT_TRUE(panel->OnCommand(cmd::kPlay));
    ASSERT_TRUE(panel->Engine().IsPlaying());
    clock.Advance(40ms);  // the first tick falls due
    while (sheet.CurrentFrame() == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(sheet.CurrentFrame(), 1);
    EXPECT_EQ(Centre(), FrameColour(1));  // a paint during the run shows the frame as it is

    panel->hide();
    EXPECT_FALSE(panel->Engine().IsPlaying());
    EXPECT_EQ(sink.sent.back(), cmd::kEditorGoToCurrent);
    clock.Advance(1s);
    QCoreApplication::processEvents();
    EXPECT_EQ(sheet.CurrentFrame(), 1);
}

// The view at 800 x 600 over a back buffer of the same size, on manual ticks,
// with a ten-frame column "walk" (its first image held three frames) and a
// second column "sky".
class PlayerOverlayTest : public ::testing::Test {
  protected:
    PlayerOverlayTest() {
        scene.display.Release();
        scene.display.CreateDevice(QSize(800, 600));
        walk = scene.AddImageColumn(QStringLiteral("walk"), 8);
        CXshtList::SetRunLength(*walk, 0, 3);
        sky = scene.AddImageColumn(QStringLiteral("sky"), 10);
        scene.Settle();
        sheet.SetCurrentFrame(0);
        CPlayEngine::Links links = scene.PlayLinks();
        links.clock = &clock;
        links.ticks = &ticks;
        panel = std::make_unique<CPlayMainPanel>(sink, links, nullptr);
        panel->SetEditorColumns([this] { return columns; });
        panel->resize(800, 600);
        panel->show();
    }
    ~PlayerOverlayTest() override { panel.reset(); }

    void Redraw() { panel->OnCommand(cmd::kPlayerRefresh); }
    void Mouse(QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(x, 300), panel->mapToGlobal(QPointF(x, 300)), button,
                          buttons, modifiers);
        QApplication::sendEvent(panel.get(), &event);
    }
    void RightClick() {
        Mouse(QEvent::MouseButtonPress, 400, Qt::RightButton, Qt::RightButton);
        Mouse(QEvent::MouseButtonRelease, 400, Qt::RightButton, Qt::NoButton);
    }
    void Wheel(int delta) {
        QWheelEvent event(QPointF(400, 300), panel->mapToGlobal(QPointF(400, 300)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(panel.get(), &event);
    }
    bool Shown(QWidget* w) const { return !w->isHidden(); }

    test::CPlayScene scene;
    CXshtList& sheet = scene.sheet;
    CSettings& settings = scene.settings;
    CNode* walk = nullptr;
    CNode* sky = nullptr;
    test::CManualPlayClock clock;
    test::CManualTicks ticks{clock};
    RecordingSink sink;
    CPlayMainPanel::EditorColumns columns{60, 0, 2};
    std::unique_ptr<CPlayMainPanel> panel;
};

TEST_F(PlayerOverlayTest, LetterboxBarsLeaveTheChosenAspectOfTheFullPicture) {
    ASSERT_EQ(panel->PictureRect(), QRect(0, 0, 800, 600));
    struct Case {
        int letterbox;
        int bar;  // 0: no bars
        const char* text;
    };
    // b = (-800 x 100 / a + 600) / 2 in integers.
    for (const Case& c : {Case{185, 84, "1.85:1"}, Case{235, 130, "2.35:1"},
                          Case{166, 59, "1.66:1"}, Case{133, 0, ""}, Case{255, 0, ""}}) {
        SCOPED_TRACE(c.letterbox);
        settings.Set(PlayLetterbox, c.letterbox);
        Redraw();
        EXPECT_EQ(Shown(panel->TopBar()), c.bar != 0);
        EXPECT_EQ(Shown(panel->BottomBar()), c.bar != 0);
        if (c.bar == 0) continue;
        EXPECT_EQ(panel->BarHeight(), c.bar);
        EXPECT_EQ(panel->TopBar()->geometry(), QRect(0, 0, 800, c.bar));
        EXPECT_EQ(panel->BottomBar()->geometry(), QRect(0, 600 - c.bar, 800, c.bar));
        EXPECT_EQ(panel->AspectText(), QString::fromLatin1(c.text));
        // The bars cover the picture: black where the frame's colour was.
        const QImage shot = panel->grab().toImage();
        EXPECT_EQ(shot.pixel(10, c.bar - 2), qRgb(0, 0, 0));
        EXPECT_NE(shot.pixel(10, c.bar + 2), qRgb(0, 0, 0));
    }
}

TEST_F(PlayerOverlayTest, CounterSitsAboveTheBottomBarAndALineClearOfTheStrip) {
    settings.Set(Overlay, 1);
    settings.Set(FrameStart, 1);
    const int line = LineHeight();
    const auto bottomOf = [this] {
        const QRect r = panel->CounterRect();
        return r.top() + r.height();
    };
    // No bars, strip shown: one line clear of the picture's bottom.
    Redraw();
    EXPECT_EQ(bottomOf(), 600 - line - line / 2);
    EXPECT_EQ(panel->CounterRect().width(), 2 * line);
    EXPECT_EQ(panel->CounterRect().right() + 1, 800 - line / 2);
    // A bar taller than a line: above the bar.
    settings.Set(PlayLetterbox, 185);
    Redraw();
    EXPECT_EQ(bottomOf(), 600 - 84 - line / 2);
    // Bars and strip hidden: near the picture's bottom.
    RightClick();
    Redraw();
    EXPECT_EQ(bottomOf(), 600 - line / 2);
    // The box is white around the black number.
    const QImage shot = panel->grab().toImage();
    EXPECT_EQ(shot.pixel(panel->CounterRect().topLeft() + QPoint(1, 1)), qRgb(255, 255, 255));
}

TEST_F(PlayerOverlayTest, InfoStripNamesEachShownColumnsCellAndItsRun) {
    settings.Set(FrameStart, 1);
    sky->flags &= ~kFlagOn;
    Redraw();
    const int line = LineHeight();
    EXPECT_EQ(panel->InfoStrip()->geometry(), QRect(0, 600 - line - 1, 800, line + 1));
    EXPECT_EQ(panel->StripFrameText(), QStringLiteral("1"));
    const auto& boxes = panel->StripBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    // (800 - 60) / 2 = 370 a box, 2 pixels apart, the last to the right end.
    EXPECT_EQ(boxes[0].rect, QRect(62, 0, 368, line + 1));
    EXPECT_EQ(boxes[1].rect, QRect(432, 0, 368, line + 1));
    EXPECT_EQ(boxes[0].text, QStringLiteral("walk 0001 (3)"));
    EXPECT_TRUE(boxes[1].text.isEmpty());  // the column is off
    EXPECT_EQ(boxes[0].fill, panel->Colors().Fill(CColors::kField));
    EXPECT_EQ(boxes[1].fill, panel->Colors().Fill(CColors::kField, CColors::kOff));
    EXPECT_TRUE(boxes[0].flags & Qt::AlignHCenter);

    // Further on, a run of one; a selected cell has the selected text colour.
    sky->flags |= kFlagOn;
    sky->children->at(3)->Select();
    scene.Settle();
    panel->Engine().GoToFrame(3);
    EXPECT_EQ(panel->StripFrameText(), QStringLiteral("4"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("walk 0002 (1)"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("sky 0004 (1)"));
    EXPECT_EQ(boxes[1].textColour, panel->Colors().Text(CColors::kField, CColors::kSelected));
    EXPECT_EQ(boxes[0].textColour, panel->Colors().Text(CColors::kField));

    // The editor scrolled one column on, and showing more than there are
    // (the sheet's trailing blank column shows empty); a narrow box
    // right-aligns its text.
    columns = {60, 1, 4};
    Redraw();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("sky 0004 (1)"));
    EXPECT_TRUE(boxes[1].text.isEmpty());
    columns = {790, 0, 1};
    Redraw();
    EXPECT_TRUE(boxes[0].flags & Qt::AlignRight);
}

TEST_F(PlayerOverlayTest, ScrubMovesAFrameAPixelOrThreeWithAltWithinTheSheet) {
    struct Case {
        int dx;
        bool alt;
        int frame;
    };
    // From frame 4 of frames 0..9.
    for (const Case& c :
         {Case{3, false, 7}, Case{-2, false, 2}, Case{7, true, 6}, Case{-7, true, 2},
          Case{-50, false, 0}, Case{50, false, 9}, Case{200, true, 9}}) {
        SCOPED_TRACE(testing::Message() << c.dx << (c.alt ? " alt" : ""));
        panel->Engine().GoToFrame(4);
        const Qt::MouseButtons held = Qt::LeftButton | Qt::MiddleButton;
        const Qt::KeyboardModifiers mods = c.alt ? Qt::AltModifier : Qt::NoModifier;
        Mouse(QEvent::MouseButtonPress, 400, Qt::LeftButton, held);
        EXPECT_EQ(panel->cursor().shape(), Qt::SizeHorCursor);
        Mouse(QEvent::MouseMove, 400 + c.dx / 2, Qt::NoButton, held, mods);
        Mouse(QEvent::MouseMove, 400 + c.dx, Qt::NoButton, held, mods);
        EXPECT_EQ(sheet.CurrentFrame(), c.frame);
        Mouse(QEvent::MouseButtonRelease, 400 + c.dx, Qt::LeftButton, Qt::MiddleButton);
        // After the release moving scrubs no more.
        Mouse(QEvent::MouseMove, 0, Qt::NoButton, Qt::MiddleButton);
        EXPECT_EQ(sheet.CurrentFrame(), c.frame);
    }
}

// Records the keys posted to the view's window.
class KeySpy : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            keys.push_back((event->type() == QEvent::KeyPress ? 1 : -1) * key->key());
            return true;
        }
        return false;
    }
    std::vector<int> keys;
};

TEST_F(PlayerOverlayTest, LeftClickPressesThePlayKeyAndScrubStopsARun) {
    KeySpy spy;
    panel->installEventFilter(&spy);
    Mouse(QEvent::MouseButtonPress, 10, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 10, Qt::LeftButton, Qt::NoButton);
    settings.Set(SwapGrabPlayKeys, 1);
    Mouse(QEvent::MouseButtonPress, 10, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, 10, Qt::LeftButton, Qt::NoButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.keys,
              (std::vector<int>{Qt::Key_Space, -Qt::Key_Space, Qt::Key_Return, -Qt::Key_Return}));

    panel->Engine().StartPlayback();
    ASSERT_TRUE(panel->Engine().IsPlaying());
    Mouse(QEvent::MouseButtonPress, 10, Qt::LeftButton, Qt::LeftButton | Qt::MiddleButton);
    EXPECT_FALSE(panel->Engine().IsPlaying());
    Mouse(QEvent::MouseButtonRelease, 10, Qt::LeftButton, Qt::NoButton);
}

TEST_F(PlayerOverlayTest, WheelStepsOnlyWhileStopped) {
    Wheel(-120);
    EXPECT_EQ(sheet.CurrentFrame(), 9);  // back from 0 comes round to the last
    Wheel(120);
    Wheel(120);
    EXPECT_EQ(sheet.CurrentFrame(), 1);
    panel->Engine().StartPlayback();
    Wheel(120);
    Wheel(-120);
    EXPECT_EQ(sheet.CurrentFrame(), 1);
}

TEST_F(PlayerOverlayTest, RightClickHidesBarsAndStripTogetherWhileStoppedAndOnlyTheStripInARun) {
    settings.Set(PlayLetterbox, 185);
    Redraw();
    ASSERT_TRUE(Shown(panel->TopBar()) && Shown(panel->BottomBar()) && Shown(panel->InfoStrip()));
    RightClick();
    Redraw();
    EXPECT_FALSE(panel->InfoShown());
    EXPECT_FALSE(Shown(panel->TopBar()) || Shown(panel->BottomBar()) || Shown(panel->InfoStrip()));
    RightClick();
    Redraw();
    EXPECT_TRUE(Shown(panel->TopBar()) && Shown(panel->BottomBar()) && Shown(panel->InfoStrip()));

    // A run hides the strip; a right click brings it back, bars untouched.
    panel->Engine().StartPlayback();
    EXPECT_FALSE(Shown(panel->InfoStrip()));
    RightClick();
    EXPECT_TRUE(Shown(panel->InfoStrip()));
    EXPECT_TRUE(panel->InfoShown());
    RightClick();
    EXPECT_FALSE(Shown(panel->InfoStrip()));
    panel->Engine().StopPlayback();
    EXPECT_TRUE(Shown(panel->InfoStrip()));  // the user has it shown

    // The show-info command brings everything back after a hide.
    RightClick();
    panel->OnCommand(cmd::kPlayerDisplaySettings);
    Redraw();
    EXPECT_TRUE(Shown(panel->TopBar()) && Shown(panel->InfoStrip()));
}

TEST_F(PlayerOverlayTest, StatisticsDialogShowsTheFiguresOfARunThatDroppedFrames) {
    scene.display.Loader().SetCacheBudget(5 * 1024 * 1024);
    panel->Engine().StartPlayback();
    ticks.Ticks(30);
    ticks.Tick(200ms);  // late: dropped
    ticks.Tick();
    ticks.Ticks(30);
    const PlayStatistics run = panel->Engine().Statistics();
    ASSERT_GT(run.skippedFrames, 0u);
    ASSERT_GT(run.lowestRate, 0u);
    panel->Engine().StopPlayback();
    CPlayStatsDialog& dialog = panel->StatsDialog();
    ASSERT_TRUE(dialog.IsOpen());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("playback statistics"));
    ASSERT_EQ(dialog.Lines().size(), 5);
    EXPECT_EQ(dialog.Lines().mid(0, 3),
              (QStringList{QString::asprintf("skipped frames: %3u    ", run.skippedFrames),
                           QString::asprintf(" lowest framerate: %3u fps", run.lowestRate),
                           QString::asprintf("highest framerate: %3u fps", run.highestRate)}));
    // Then the picture cache: what it holds of its budget, its hits and misses.
    const PictureCacheStatistics cache = scene.display.CacheStatistics();
    ASSERT_GT(cache.hits, 0u);
    const int heldMb = static_cast<int>((cache.bytes + (1 << 20) - 1) >> 20);
    EXPECT_EQ(dialog.Lines()[3], QStringLiteral("picture cache: %1 of 5 MB").arg(heldMb));
    EXPECT_EQ(dialog.Lines()[4], QString::asprintf("cache hits: %llu, misses: %llu",
                                                   static_cast<unsigned long long>(cache.hits),
                                                   static_cast<unsigned long long>(cache.misses)));
    EXPECT_GE(dialog.height(), 5 * LineHeight());
    EXPECT_EQ(dialog.Button(1), nullptr);
    EXPECT_GE(dialog.width(),
              dialog.fontMetrics().horizontalAdvance(dialog.Lines()[1]) + 2 * LineHeight());

    // The next start closes it.
    panel->Engine().StartPlayback();
    EXPECT_FALSE(dialog.IsOpen());
    ticks.Ticks(5);
    panel->Engine().StopPlayback();
    EXPECT_FALSE(dialog.IsOpen());  // nothing dropped
}

}  // namespace
}  // namespace kolvane
