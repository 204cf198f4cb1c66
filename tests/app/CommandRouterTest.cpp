#include <gtest/gtest.h>

#include <set>
#include <vector>

#include <QApplication>

#include "app/CommandRouter.h"
#include "app/MainFrame.h"
#include "app/OptionsDialog.h"
#include "engine/Engine.h"
#include "ui/CameraDialog.h"
#include "ui/ToolPanel.h"
#include "ui/VSourceDialog.h"

namespace kolvane {
namespace {

// A route target that records what it was offered and takes some commands.
struct Target : ICommandTarget {
    Target(std::vector<int>& log, int name, std::set<int> takes, std::set<int> decides = {})
        : log(log), name(name), takes(std::move(takes)), decides(std::move(decides)) {}
    bool OnCommand(int id) override {
        log.push_back(name * 100000 + id);
        return takes.contains(id);
    }
    bool OnCommandState(int id, CommandState& state) override {
        if (!decides.contains(id)) return false;
        state.enabled = false;
        state.text = QString::number(name);
        return true;
    }
    std::vector<int>& log;
    int name;
    std::set<int> takes;
    std::set<int> decides;
};

class CommandRouterTest : public ::testing::Test {
  protected:
    CommandRouterTest()
        : router(
              [this](int id) {
                  frameLog.push_back(id);
                  return true;
              },
              [](int id) {
                  CommandState state;
                  state.checked = id == 7;
                  return state;
              }) {
        router.SetTargets({&first, &second, &third});
    }

    std::vector<int> log;
    std::vector<int> frameLog;
    Target first{log, 1, {10}};
    Target second{log, 2, {20, 10}, {7}};
    Target third{log, 3, {30}};
    CCommandRouter router;
};

TEST_F(CommandRouterTest, TheFirstTargetThatTakesACommandEndsItsRoute) {
    router.Send(20);
    EXPECT_EQ(log, (std::vector<int>{100020, 200020}));
    EXPECT_TRUE(frameLog.empty());

    log.clear();
    router.Send(10);  // the second would take it too, but is never asked
    EXPECT_EQ(log, (std::vector<int>{100010}));

    log.clear();
    router.Send(99);  // nobody takes it: the frame handles it last
    EXPECT_EQ(log, (std::vector<int>{100099, 200099, 300099}));
    EXPECT_EQ(frameLog, (std::vector<int>{99}));
}

TEST_F(CommandRouterTest, PostedCommandsWaitForTheEventLoopInOrder) {
    int afterPosted = 0;
    router.SetAfterPosted([&] { ++afterPosted; });
    router.Post(30);
    router.Post(99);
    EXPECT_TRUE(log.empty());
    QApplication::processEvents();
    EXPECT_EQ(log, (std::vector<int>{100030, 200030, 300030, 100099, 200099, 300099}));
    EXPECT_EQ(frameLog, (std::vector<int>{99}));
    EXPECT_EQ(afterPosted, 2);
}

TEST_F(CommandRouterTest, StatesComeFromTheFirstTargetThatDecidesElseFromTheRules) {
    const CommandState decided = router.Query(7);
    EXPECT_FALSE(decided.enabled);
    EXPECT_FALSE(decided.checked);
    EXPECT_EQ(decided.text, QStringLiteral("2"));
    const CommandState ruled = router.Query(8);
    EXPECT_TRUE(ruled.enabled);
    EXPECT_FALSE(ruled.text.has_value());
    router.SetTargets({});
    EXPECT_TRUE(router.Query(7).checked);
}

TEST(FrameRoutingTest, PanelsThenDialogsInTheirFixedOrder) {
    CEngine objects(CEngine::Program{133});
    CMainFrame frame(objects);
    const auto target = [](QWidget* widget) { return dynamic_cast<ICommandTarget*>(widget); };
    const std::vector<ICommandTarget*> expected = {
        target(frame.MediaListPanel()),
        target(frame.ToolPanel(cmd::kViewMedia)),
        target(frame.MainPanel(CMainFrame::Area::Grabber)),
        target(frame.ToolPanel(cmd::kViewGrabber)),
        target(frame.MainPanel(CMainFrame::Area::Editor)),
        target(frame.ToolPanel(cmd::kViewEditor)),
        target(frame.MainPanel(CMainFrame::Area::Player)),
        target(frame.ToolPanel(cmd::kViewPlayer)),
        target(&frame.CameraDialog()),
        target(&frame.VideoSourceDialog()),
        target(&frame.OptionsDialog()),
    };
    for (ICommandTarget* t : expected)
        ASSERT_NE(t, nullptr);
    EXPECT_EQ(frame.RouteOrder(), expected);
}

}  // namespace
}  // namespace kolvane
