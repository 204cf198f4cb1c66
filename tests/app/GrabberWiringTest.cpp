#include <gtest/gtest.h>

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "ui/GrabMainPanel.h"

namespace kolvane {
namespace {

// The program's grabber: the frame's panel over the engine's capture graph,
// on the test pattern.
TEST(GrabberWiringTest, TheGrabberShowsTheTestPatternAndEnablesGrab) {
    CEngine objects(CEngine::Program{133, VideoDeviceMode::TestPattern});
    objects.settings.Set(VideoQuality, 0);
    CMainFrame frame(objects);
    frame.resize(1024, 768);
    frame.show();
    ASSERT_EQ(frame.ActiveArea(), CMainFrame::Area::Grabber);
    auto* panel = dynamic_cast<CGrabMainPanel*>(frame.MainPanel(CMainFrame::Area::Grabber));
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(frame.QueryCommand(cmd::kGrab).enabled);

    ASSERT_TRUE(QTest::qWaitFor([&] { return objects.capture.IsReadyToGrab(); }, 30000));
    EXPECT_TRUE(frame.QueryCommand(cmd::kGrab).enabled);
    EXPECT_EQ(panel->StatusTexts().value(0), QStringLiteral("image source: webcam video"));
    // The estimate reaches the status line: a number of images, not "unknown".
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^image memory: \\d+ free$"))
                    .match(panel->StatusTexts().value(2))
                    .hasMatch())
        << panel->StatusTexts().value(2).toStdString();
    EXPECT_FALSE(objects.capture.GetVideoRect().isEmpty());

    // Another area hides the grabber: the preview pauses, and runs again
    // when the grabber comes back.
    frame.SendCommand(cmd::kViewEditor);
    EXPECT_FALSE(frame.QueryCommand(cmd::kGrab).enabled);
    GstState state = GST_STATE_NULL;
    gst_element_get_state(objects.capture.Pipeline(), &state, nullptr, GST_CLOCK_TIME_NONE);
    EXPECT_EQ(state, GST_STATE_PAUSED);
    frame.SendCommand(cmd::kViewGrabber);
    gst_element_get_state(objects.capture.Pipeline(), &state, nullptr, GST_CLOCK_TIME_NONE);
    EXPECT_EQ(state, GST_STATE_PLAYING);
}

}  // namespace
}  // namespace kolvane
