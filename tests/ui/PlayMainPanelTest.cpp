#include <gtest/gtest.h>

#include <QApplication>

#include "tests/player/fixtures/PlayFixtures.h"
#include "ui/PlayMainPanel.h"

namespace kolvane {
namespace {

using namespace std::chrono_literals;
using test::FrameColour;

class RecordingSink final : public ICommandSink {
  public:
    void SendCommand(int id) override { sent.push_back(id); }
    void PostCommand(int id) override { posted.push_back(id); }
    std::vector<int> sent;
    std::vector<int> posted;
};

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

}  // namespace
}  // namespace kolvane
