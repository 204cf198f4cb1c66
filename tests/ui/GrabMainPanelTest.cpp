#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <deque>

#include "capture/CaptureGraph.h"
#include "settings/Settings.h"
#include "ui/GrabMainPanel.h"

namespace kolvane {
namespace {

// Hands the panel's posted commands back to it, as the frame's routing does.
class LoopbackSink final : public ICommandSink {
  public:
    void SendCommand(int id) override { queued.push_back(id); }
    void PostCommand(int id) override { queued.push_back(id); }
    void Deliver(CGrabMainPanel& panel) {
        while (!queued.empty()) {
            const int id = queued.front();
            queued.pop_front();
            panel.OnCommand(id);
        }
    }
    std::deque<int> queued;
};

// Records the keys that reach the window the panel sits in.
class KeyWindow final : public QWidget {
  public:
    std::vector<std::pair<QEvent::Type, int>> keys;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        keys.emplace_back(event->type(), event->key());
    }
    void keyReleaseEvent(QKeyEvent* event) override {
        keys.emplace_back(event->type(), event->key());
    }
};

// The test pattern at 640 x 480 in a panel of that size on a 4:3 monitor:
// the video fills the panel.
class GrabMainPanelTest : public ::testing::Test {
  protected:
    GrabMainPanelTest() {
        settings.Set(VideoQuality, 0);
        settings.Set(MonitorAspect, 133);
        settings.Set(GrabLetterbox, 133);
        CCaptureGraph::Options options;
        options.devices = VideoDeviceMode::TestPattern;
        graph = std::make_unique<CCaptureGraph>(settings, options);
        panel = new CGrabMainPanel(sink, *graph, settings, &window);
        panel->SetStatusHooks({[] { return QStringLiteral("walk 0007"); }, [] { return 12; }});
        window.resize(640, 480);
        panel->setGeometry(0, 0, 640, 480);
        window.show();
    }
    ~GrabMainPanelTest() override {
        delete panel;
        graph.reset();
    }

    bool WaitLive() {
        return QTest::qWaitFor(
            [&] {
                sink.Deliver(*panel);
                return graph->IsVideoPresent() && !graph->GetVideoRect().isEmpty() &&
                       !graph->LatestFrame().IsEmpty();
            },
            30000);
    }

    CSettings settings{CSettings::Unstored{}};
    LoopbackSink sink;
    std::unique_ptr<CCaptureGraph> graph;
    KeyWindow window;
    CGrabMainPanel* panel = nullptr;
};

TEST_F(GrabMainPanelTest, ShowsTheLiveVideoAndTheStatusLine) {
    ASSERT_TRUE(WaitLive());
    EXPECT_EQ(graph->GetVideoRect(), QRect(0, 0, 640, 480));
    const QStringList status = panel->StatusTexts();
    ASSERT_EQ(status.size(), 4);
    EXPECT_EQ(status[0], QStringLiteral("image source: webcam video"));
    EXPECT_EQ(status[1], QStringLiteral("image resolution: 640 x 480 pixels"));
    EXPECT_EQ(status[2], QStringLiteral("image memory: 12 free"));
    EXPECT_EQ(status[3], QStringLiteral("next image name: walk 0007"));

    // The bars of the test pattern reach the screen (not the black of an
    // empty panel).
    const QImage shot = panel->grab().toImage();
    int coloured = 0;
    for (int x = 10; x < 640; x += 40) {
        if (QColor(shot.pixel(x, 100)).value() > 60) ++coloured;
    }
    EXPECT_GT(coloured, 8);
}

TEST_F(GrabMainPanelTest, LetterboxBarsCoverThePictureToTheAspect) {
    ASSERT_TRUE(WaitLive());
    settings.Set(GrabLetterbox, 235);
    panel->OnCommand(cmd::kGrabberDisplaySettings);
    // 640 x 480 shown at 2.35:1 leaves 272 lines: bars of 104 each.
    EXPECT_EQ(panel->TopBarRect(), QRect(0, 0, 640, 104));
    EXPECT_EQ(panel->BottomBarRect(), QRect(0, 376, 640, 104));
    EXPECT_EQ(panel->LetterboxText(), QStringLiteral("2.35:1"));

    // A right click hides the bars and the status line, a second brings them back.
    QTest::mouseClick(panel, Qt::RightButton, {}, QPoint(320, 240));
    EXPECT_FALSE(panel->CompanionsShown());
    EXPECT_TRUE(panel->TopBarRect().isEmpty());
    QTest::mouseClick(panel, Qt::RightButton, {}, QPoint(320, 240));
    EXPECT_TRUE(panel->CompanionsShown());
    EXPECT_EQ(panel->TopBarRect(), QRect(0, 0, 640, 104));

    for (int off : {133, 255}) {
        settings.Set(GrabLetterbox, off);
        EXPECT_TRUE(panel->TopBarRect().isEmpty()) << off;
        EXPECT_TRUE(panel->BottomBarRect().isEmpty()) << off;
    }
}

TEST_F(GrabMainPanelTest, ClickOnTheVideoPostsTheGrabKeyUnlessSwitchedOff) {
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(320, 240));
    QCoreApplication::processEvents();
    using Key = std::pair<QEvent::Type, int>;
    EXPECT_EQ(window.keys, (std::vector<Key>{{QEvent::KeyPress, Qt::Key_Return},
                                             {QEvent::KeyRelease, Qt::Key_Return}}));

    window.keys.clear();
    settings.Set(SwapGrabPlayKeys, 1);
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(320, 240));
    QCoreApplication::processEvents();
    ASSERT_EQ(window.keys.size(), 2u);
    EXPECT_EQ(window.keys[0].second, Qt::Key_Space);

    window.keys.clear();
    settings.SetNoClickGrab(true);
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(320, 240));
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.keys.empty());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST_F(GrabMainPanelTest, WithoutDevicesThePanelIsBlackAndSaysSo) {
    delete panel;
    CCaptureGraph::Options options;
    options.devices = VideoDeviceMode::None;
    graph = std::make_unique<CCaptureGraph>(settings, options);
    panel = new CGrabMainPanel(sink, *graph, settings, &window);
    panel->setGeometry(0, 0, 640, 480);
    panel->show();
    QTest::qWait(50);
    sink.Deliver(*panel);
    const QStringList status = panel->StatusTexts();
    EXPECT_EQ(status[0], QStringLiteral("image source: no video devices"));
    EXPECT_EQ(status[1], QStringLiteral("image resolution: unknown"));
    EXPECT_EQ(status[2], QStringLiteral("image memory: unknown"));
    EXPECT_EQ(QColor(panel->grab().toImage().pixel(320, 200)), QColor(Qt::black));
}

}  // namespace
}  // namespace kolvane
