#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "tests/app/FrameFixture.h"
#include "ui/CounterBar.h"
#include "ui/PlayMainPanel.h"
#include "ui/UiMetrics.h"
#include "ui/XshtMainPanel.h"
#include "ui/XshtView.h"

namespace kolvane {
namespace {

class PlayerWiringTest : public ::testing::Test {
  protected:
    PlayerWiringTest() : objects(CEngine::Program{133}) {
        objects.settings.Set(FrameRate, 25);
        objects.settings.Set(PlayOnce, 25);
        test::FillWalkColumn(objects, 30);
        frame.resize(1024, 768);
        frame.show();
        QApplication::processEvents();
        frame.SendCommand(cmd::kSheetChanged);
        objects.sheet.SetCurrentFrame(12);
    }

    CPlayEngine& Engine() { return frame.PlayerView().Engine(); }

    CEngine objects;
    CMainFrame frame{objects};
};

TEST_F(PlayerWiringTest, PlayOnceFromTheGrabberBringsThePlayerUpAndKnowsItsWayBack) {
    frame.SendCommand(cmd::kViewGrabber);  // a sheet with columns starts in the editor
    ASSERT_EQ(frame.ActiveArea(), CMainFrame::Area::Grabber);
    frame.SendCommand(cmd::kPlayOnce);
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Player);
    EXPECT_TRUE(Engine().IsPlaying());
    EXPECT_EQ(Engine().ReturnCommand(), cmd::kViewGrabber);
    EXPECT_EQ(objects.sheet.CurrentFrame(), 29 - 25);  // 30 frames: the last is 29

    frame.SendCommand(cmd::kViewEditor);  // leaving the player ends the run
    EXPECT_FALSE(Engine().IsPlaying());
    EXPECT_EQ(Engine().ReturnCommand(), 0);
}

TEST_F(PlayerWiringTest, PlayOnceInTheEditorEndsAtItsCurrentFrame) {
    frame.SendCommand(cmd::kViewEditor);
    frame.SendCommand(cmd::kPlayOnce);
    EXPECT_EQ(Engine().ReturnCommand(), cmd::kViewEditor);
    EXPECT_EQ(objects.sheet.CurrentFrame(), 0);
    frame.SendCommand(cmd::kPlay);
    EXPECT_FALSE(Engine().IsPlaying());
}

TEST_F(PlayerWiringTest, TheFrameClosesWithARunGoing) {
    frame.SendCommand(cmd::kViewPlayer);
    frame.SendCommand(cmd::kPlay);
    EXPECT_TRUE(Engine().IsPlaying());
}

TEST_F(PlayerWiringTest, TheInfoStripStandsUnderTheEditorsColumns) {
    objects.settings.Set(ColumnCount, 3);
    frame.SendCommand(cmd::kEditorColumnCount);
    frame.SendCommand(cmd::kViewPlayer);
    frame.SendCommand(cmd::kPlayerRefresh);
    auto& editor = *static_cast<CXshtMainPanel*>(frame.MainPanel(CMainFrame::Area::Editor));
    const auto& boxes = frame.PlayerView().StripBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.front().rect.left(), editor.Counter().width() + 2);
    EXPECT_EQ(boxes.front().text, QStringLiteral("walk 0012 (1)"));
    // The walk column and the sheet's trailing blank one, of three the editor shows.
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(editor.View().VisibleColumns(), 3);
}

// A click on the editor's counter moves the current frame: the pictures of
// the next frames that way are asked of the workers.
TEST_F(PlayerWiringTest, TheEditorMovingTheFrameReadsThePicturesAhead) {
    frame.SendCommand(cmd::kViewEditor);
    objects.sheet.SetCurrentFrame(0);  // the click moves forwards
    const CNode* column = objects.sheet.Levels().at(0);
    for (int k = 0; k < 30; ++k)
        column->children->at(k)->item->texture = QImage();
    auto& editor = *static_cast<CXshtMainPanel*>(frame.MainPanel(CMainFrame::Area::Editor));
    const int line = LineHeight();
    const QPoint row(5, editor.View().HeaderHeight() + 3 * line + line / 2);
    const int clicked = editor.Counter().FrameAt(row);
    ASSERT_GT(clicked, 0);
    ASSERT_LT(clicked, 25);
    QTest::mouseClick(&editor.Counter(), Qt::LeftButton, {}, row);
    ASSERT_EQ(objects.sheet.CurrentFrame(), clicked);
    const CImageLoader& loader = objects.display.Loader();
    EXPECT_TRUE(loader.HasJob(*column->children->at(clicked + 1)->item));
    EXPECT_TRUE(loader.HasJob(*column->children->at(clicked + 3)->item));
    EXPECT_FALSE(loader.HasJob(*column->children->at(clicked - 1)->item));
}

}  // namespace
}  // namespace kolvane
