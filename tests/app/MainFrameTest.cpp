#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "ui/BasicButton.h"
#include "ui/ToolPanel.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

class MainFrameTest : public ::testing::Test {
  protected:
    MainFrameTest() : objects(CEngine::Program{160}) {
        frame.SetScreenAspect(1280, 800);
        frame.resize(1280, 800);
        frame.show();
        QApplication::processEvents();
    }
    bool Checked(int view) { return frame.ToolPanel(view)->IndicatorChecked(); }

    CEngine objects;
    CMainFrame frame{objects};
};

TEST_F(MainFrameTest, LaysTheMainAreaOutTopRightAtTheScreenAspect) {
    const QWidget* central = frame.centralWidget();
    const int line = LineHeight();
    const int h = central->height();
    const int mainHeight = (h / 10 * 9) / line * line;
    const int mainWidth = mainHeight * 1280 / 800;
    const QRect mainArea(central->width() - mainWidth, 0, mainWidth, mainHeight);

    EXPECT_EQ(frame.MainPanel(CMainFrame::Area::Editor)->geometry(),
              mainArea.adjusted(1, 1, -1, -1));
    EXPECT_EQ(frame.MainPanel(CMainFrame::Area::Grabber)->geometry(),
              mainArea.adjusted(2, 2, -2, -2));
    EXPECT_EQ(frame.MediaListPanel()->geometry(),
              QRect(0, 0, mainArea.left(), mainHeight).adjusted(1, 1, -1, -1));

    const QRect grabTool = frame.ToolPanel(cmd::kViewGrabber)->geometry();
    const QRect playTool = frame.ToolPanel(cmd::kViewPlayer)->geometry();
    EXPECT_EQ(grabTool.top(), mainHeight + 1);
    EXPECT_EQ(grabTool.left(), mainArea.left() + 1);
    EXPECT_EQ(playTool.right(), central->width() - 2);
    EXPECT_EQ(frame.ToolPanel(cmd::kViewMedia)->geometry().bottom(), h - 2);
}

TEST_F(MainFrameTest, FirstShowingStartsInTheGrabberWithTheTitle) {
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Grabber);
    EXPECT_TRUE(frame.MainPanel(CMainFrame::Area::Grabber)->isVisible());
    EXPECT_TRUE(Checked(cmd::kViewGrabber));
    EXPECT_EQ(frame.windowTitle(),
              QStringLiteral("Kolvane 1.77     Scene: Untitled      0 images     0 frames (0.00 "
                             "seconds at 25 fps)"));
}

TEST_F(MainFrameTest, ViewCommandsSwitchTheWorkAreaAndMediaChangesNone) {
    struct Case {
        int command;
        CMainFrame::Area area;
    };
    const Case cases[] = {{cmd::kViewEditor, CMainFrame::Area::Editor},
                          {cmd::kViewMedia, CMainFrame::Area::Editor},
                          {cmd::kViewPlayer, CMainFrame::Area::Player},
                          {cmd::kViewGrabber, CMainFrame::Area::Grabber}};
    for (const Case& c : cases) {
        frame.SendCommand(c.command);
        EXPECT_EQ(frame.ActiveArea(), c.area) << c.command;
        for (auto area :
             {CMainFrame::Area::Grabber, CMainFrame::Area::Editor, CMainFrame::Area::Player}) {
            EXPECT_EQ(frame.MainPanel(area)->isVisible(), area == c.area) << c.command;
        }
        EXPECT_FALSE(Checked(cmd::kViewMedia));
        EXPECT_EQ(Checked(cmd::kViewEditor), c.area == CMainFrame::Area::Editor);
    }
}

TEST_F(MainFrameTest, ToolPanelButtonsPostTheirCommandsToTheFrame) {
    frame.SendCommand(cmd::kViewEditor);
    CBasicButton* grabber = frame.ToolPanel(cmd::kViewGrabber)->Button(cmd::kViewGrabber);
    ASSERT_NE(grabber, nullptr);
    QTest::mouseClick(grabber, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Editor);  // posted, not sent
    QApplication::processEvents();
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Grabber);
}

TEST_F(MainFrameTest, MonitorTypeAndPreferenceToggles) {
    frame.SendCommand(cmd::kMonitorAutoDetect + 5);
    EXPECT_EQ(objects.settings.Get(MonitorAspect), 177);
    EXPECT_EQ(objects.settings.Get(MonitorAuto), 0);
    EXPECT_TRUE(frame.QueryCommand(cmd::kMonitorAutoDetect + 5).checked);
    EXPECT_FALSE(frame.QueryCommand(cmd::kMonitorAutoDetect).checked);
    frame.SendCommand(cmd::kMonitorAutoDetect);
    EXPECT_EQ(objects.settings.Get(MonitorAspect), 0);
    EXPECT_EQ(objects.settings.Get(MonitorAuto), 1);

    frame.SendCommand(cmd::kSwapGrabPlayKeys);
    EXPECT_EQ(objects.settings.Get(SwapGrabPlayKeys), 1);
    EXPECT_TRUE(frame.QueryCommand(cmd::kSwapGrabPlayKeys).checked);
    frame.SendCommand(cmd::kNoClickGrab);
    EXPECT_TRUE(objects.settings.NoClickGrab());
    EXPECT_TRUE(frame.QueryCommand(cmd::kNoClickGrab).checked);
}

}  // namespace
}  // namespace kolvane
