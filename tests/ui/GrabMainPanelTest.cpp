#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <deque>

#include "capture/CaptureGraph.h"
#include "display/Direct3D.h"
#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "tests/support/SheetPatterns.h"
#include "tests/ui/PanelFixtures.h"
#include "ui/AnimDialog.h"
#include "ui/ComboBar.h"
#include "ui/GrabMainPanel.h"
#include "ui/StripBar.h"

namespace kolvane {
namespace {

// Hands the panel's posted commands back to it, as the frame's routing does,
// and keeps a record of them.
class LoopbackSink final : public ICommandSink {
  public:
    void SendCommand(int id) override { PostCommand(id); }
    void PostCommand(int id) override {
        queued.push_back(id);
        seen.push_back(id);
    }
    void Deliver(CGrabMainPanel& panel) {
        while (!queued.empty()) {
            const int id = queued.front();
            queued.pop_front();
            panel.OnCommand(id);
        }
    }
    std::deque<int> queued;
    std::vector<int> seen;
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

using Key = std::pair<QEvent::Type, int>;
const std::vector<Key> kReturnClick{{QEvent::KeyPress, Qt::Key_Return},
                                    {QEvent::KeyRelease, Qt::Key_Return}};

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
        panel->SetStatusHooks({[] { return QStringLiteral("walk 0007"); },
                               [this](const QRect& video) {
                                   estimatedFor = video;
                                   return 12;
                               }});
        panel->SetShownImage([this] { return shown; });
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
    // Clicks `widget` and lets the posted keys arrive; answers them.
    std::vector<Key> Click(QWidget* widget, QPoint at) {
        window.keys.clear();
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        QCoreApplication::processEvents();
        return window.keys;
    }
    // An image whose picture is loaded, in one colour.
    CNode* LoadedImage(const QString& name, QSize size, QColor colour) {
        CNode* item = test::ImageItem(media, name);
        item->texture = QImage(size, QImage::Format_RGB32);
        item->texture.fill(colour);
        item->imageInfo->imageWidth = size.width();
        item->imageInfo->imageHeight = size.height();
        return item;
    }
    QColor Pixel(int x, int y) { return QColor(panel->grab().toImage().pixel(x, y)); }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    LoopbackSink sink;
    std::unique_ptr<CCaptureGraph> graph;
    KeyWindow window;
    CGrabMainPanel* panel = nullptr;
    const CNode* shown = nullptr;
    QRect estimatedFor;
};

TEST_F(GrabMainPanelTest, ShowsTheLiveVideoAndTheStatusLine) {
    ASSERT_TRUE(WaitLive());
    EXPECT_EQ(graph->GetVideoRect(), QRect(0, 0, 640, 480));
    const QStringList status = panel->StatusTexts();
    ASSERT_EQ(status.size(), 4);
    EXPECT_EQ(status[0], QStringLiteral("image source: webcam video"));
    EXPECT_EQ(status[1], QStringLiteral("image resolution: 640 x 480 pixels"));
    EXPECT_EQ(status[2], QStringLiteral("image memory: 12 free"));
    EXPECT_EQ(estimatedFor, QRect(0, 0, 640, 480)) << "the estimate is for the video's place";
    EXPECT_EQ(status[3], QStringLiteral("next image name: walk 0007"));

    // The bars of the test pattern reach the screen (not the black of an
    // empty panel), and the status line lies over their foot, one line high.
    const QImage shot = panel->grab().toImage();
    int coloured = 0;
    for (int x = 10; x < 640; x += 40) {
        if (QColor(shot.pixel(x, 100)).value() > 60) ++coloured;
    }
    EXPECT_GT(coloured, 8);
    const QRect line = panel->StatusLine()->geometry();
    EXPECT_TRUE(panel->StatusLine()->isVisible());
    EXPECT_EQ(line.bottom(), 479);
    EXPECT_EQ(line.width(), 640);
    EXPECT_EQ(QColor(shot.pixel(500, line.top() + 1)), QColor(Qt::black));
    EXPECT_FALSE(panel->ImageWindow()->isVisible());
}

// The onion skin is faded once for its opacity, not at every frame: what
// reaches the screen is still the frame with the skin blended over it at
// that opacity, pixel for pixel, where the skin is opaque, partly
// transparent and transparent.
TEST_F(GrabMainPanelTest, TheOnionSkinIsBlendedOverTheFrameAtItsOpacity) {
    ASSERT_TRUE(WaitLive());
    const QRect video = graph->GetVideoRect();
    // Wider than the frame: placed across its width, centred.
    QImage skin(400, 200, QImage::Format_ARGB32);
    for (int y = 0; y < skin.height(); ++y) {
        for (int x = 0; x < skin.width(); ++x) {
            const int alpha = x < 100 ? 0 : x < 250 ? (x * 7 + y) % 256 : 255;
            skin.setPixel(x, y, qRgba((x * 3) % 256, (y * 5) % 256, (x + y) % 256, alpha));
        }
    }
    CVideoFrame painted;
    panel->SetPaintObserver([&](const CVideoFrame& frame) { painted = frame; });
    for (const int percent : {50, 37, 100, 1, 0}) {
        SCOPED_TRACE(percent);
        settings.Set(Opacity, percent);
        graph->SetOverlay(skin);
        const QImage shot = panel->grab().toImage();
        ASSERT_FALSE(painted.IsEmpty());
        ASSERT_EQ(painted.image.size(), video.size());

        // The skin as drawn before it was faded ahead: blended at each frame.
        QImage expected = shot.copy();
        {
            QPainter painter(&expected);
            painter.setClipRect(QRect(0, 0, 640, panel->StatusLine()->geometry().top()));
            painter.drawImage(video, painted.image);
            const QRectF place = graph->OverlayPlacement();
            const QRect spot =
                QRectF(video.left() + place.left() * video.width(),
                       video.top() + place.top() * video.height(), place.width() * video.width(),
                       place.height() * video.height())
                    .toAlignedRect();
            painter.setOpacity(graph->OverlayOpacity());
            painter.drawImage(
                spot.topLeft(),
                skin.scaled(spot.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
        EXPECT_TRUE(shot == expected);
        if (percent == 50) {
            EXPECT_NE(shot.pixel(320, 240), painted.image.pixel(320, 240))
                << "the skin shows over the frame";
        }
    }
    panel->SetPaintObserver(nullptr);
}

// Bar heights: h = ((x1 - x2) * 100 / a + y2 - y1) / 2, truncated.
TEST(LetterboxTest, BarsCoverThePictureDownToTheAspect) {
    struct Case {
        const char* what;
        QRect video;
        int letterbox;
        QRect top, bottom;
        const char* text;
    } cases[] = {
        {"4:3 at 2.35", {0, 0, 640, 480}, 235, {0, 0, 640, 104}, {0, 376, 640, 104}, "2.35:1"},
        {"4:3 at 1.85", {0, 0, 640, 480}, 185, {0, 0, 640, 67}, {0, 413, 640, 67}, "1.85:1"},
        {"4:3 at 1.66", {0, 0, 640, 480}, 166, {0, 0, 640, 47}, {0, 433, 640, 47}, "1.66:1"},
        // A wide picture letterboxed on screen already: the bars take the
        // black above and below it too.
        {"16:9 at 2.35", {0, 60, 640, 360}, 235, {0, 0, 640, 104}, {0, 376, 640, 104}, "2.35:1"},
        // A tall picture, pillarboxed: the bars still span the client.
        {"9:16 at 1.77", {185, 0, 270, 480}, 177, {0, 0, 640, 164}, {0, 316, 640, 164}, "1.78:1"},
        // Wider than the aspect asks: nothing to cover.
        {"16:9 at 1.66", {0, 60, 640, 360}, 166, {}, {}, ""},
        {"off", {0, 0, 640, 480}, 133, {}, {}, ""},
        {"stretch", {0, 0, 640, 480}, 255, {}, {}, ""},
        {"no video", {}, 235, {}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const LetterboxBars bars = PlaceLetterbox(c.video, QSize(640, 480), c.letterbox);
        EXPECT_EQ(bars.top, c.top);
        EXPECT_EQ(bars.bottom, c.bottom);
        EXPECT_EQ(bars.text, QString::fromLatin1(c.text));
    }
}

TEST_F(GrabMainPanelTest, TheRightButtonTogglesBarsAndStatusLine) {
    ASSERT_TRUE(WaitLive());
    settings.Set(GrabLetterbox, 235);
    panel->OnCommand(cmd::kGrabberDisplaySettings);
    EXPECT_EQ(panel->TopBar()->geometry(), QRect(0, 0, 640, 104));
    EXPECT_EQ(panel->BottomBar()->geometry(), QRect(0, 376, 640, 104));
    EXPECT_EQ(panel->LetterboxText(), QStringLiteral("2.35:1"));
    EXPECT_EQ(Pixel(320, 50), QColor(Qt::black));
    const QRect video = graph->GetVideoRect();

    // On the video, and on a bar (which hands its presses to the panel).
    for (QWidget* target : {static_cast<QWidget*>(panel), static_cast<QWidget*>(panel->TopBar())}) {
        SCOPED_TRACE(target == panel ? "video" : "bar");
        QTest::mouseClick(target, Qt::RightButton, {}, QPoint(320, 50));
        EXPECT_FALSE(panel->CompanionsShown());
        EXPECT_FALSE(panel->TopBar()->isVisible());
        EXPECT_FALSE(panel->BottomBar()->isVisible());
        EXPECT_FALSE(panel->StatusLine()->isVisible());
        EXPECT_NE(Pixel(320, 50), QColor(Qt::black)) << "the video shows where the bar was";
        QTest::mouseClick(panel, Qt::RightButton, {}, QPoint(320, 240));
        EXPECT_TRUE(panel->CompanionsShown());
        EXPECT_TRUE(panel->TopBar()->isVisible());
        EXPECT_TRUE(panel->StatusLine()->isVisible());
        EXPECT_EQ(graph->GetVideoRect(), video);
    }

    // Hidden, then forced back by a change of the display settings.
    QTest::mouseClick(panel, Qt::RightButton, {}, QPoint(320, 240));
    panel->OnCommand(cmd::kGrabberDisplaySettings);
    EXPECT_TRUE(panel->StatusLine()->isVisible());
    EXPECT_EQ(panel->BottomBarRect(), QRect(0, 376, 640, 104));

    settings.Set(GrabLetterbox, 255);
    panel->OnCommand(cmd::kGrabberDisplaySettings);
    EXPECT_FALSE(panel->TopBar()->isVisible());
    EXPECT_TRUE(panel->LetterboxText().isEmpty());
}

TEST_F(GrabMainPanelTest, AClickGrabsUnlessSwitchedOff) {
    ASSERT_TRUE(WaitLive());
    settings.Set(GrabLetterbox, 235);
    panel->OnCommand(cmd::kGrabberDisplaySettings);
    EXPECT_EQ(Click(panel, {320, 240}), kReturnClick);
    EXPECT_EQ(Click(panel->TopBar(), {10, 10}), kReturnClick) << "a bar is part of the picture";
    EXPECT_EQ(Click(panel->StatusLine(), {10, 5}), kReturnClick);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

    settings.Set(SwapGrabPlayKeys, 1);
    const std::vector<Key> swapped = Click(panel, {320, 240});
    ASSERT_EQ(swapped.size(), 2u);
    EXPECT_EQ(swapped[0], Key(QEvent::KeyPress, Qt::Key_Space));
    EXPECT_EQ(swapped[1], Key(QEvent::KeyRelease, Qt::Key_Space));

    settings.SetNoClickGrab(true);
    for (QWidget* target : {static_cast<QWidget*>(panel), static_cast<QWidget*>(panel->TopBar())}) {
        window.keys.clear();
        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(320, 20));
        EXPECT_EQ(QWidget::mouseGrabber(), nullptr) << "no capture of the mouse";
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(320, 20));
        QCoreApplication::processEvents();
        EXPECT_TRUE(window.keys.empty());
    }

    // The option changing while the button is down still lets the key go.
    settings.SetNoClickGrab(false);
    window.keys.clear();
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(320, 240));
    EXPECT_EQ(QWidget::mouseGrabber(), panel);
    settings.SetNoClickGrab(true);
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(320, 240));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.keys.size(), 2u);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST_F(GrabMainPanelTest, ABrowsedImageIsDrawnInPlaceOfTheVideo) {
    ASSERT_TRUE(WaitLive());
    CDirect3D display(settings, media);
    ASSERT_EQ(display.CreateDevice(QSize(640, 480)), kOk);
    panel->SetDisplay(&display);
    // A 16:9 picture on the 4:3 monitor: the renderer letterboxes it.
    CNode* image = LoadedImage(QStringLiteral("walk 0003"), QSize(320, 180), Qt::red);
    shown = image;
    panel->Refresh();
    EXPECT_TRUE(panel->ImageWindow()->isVisible());
    EXPECT_EQ(panel->ImageWindow()->geometry(), panel->rect());
    EXPECT_EQ(Pixel(320, 240), QColor(Qt::red));
    EXPECT_EQ(Pixel(320, 30), QColor(Qt::black)) << "above the picture";
    EXPECT_EQ(panel->StatusTexts().value(3), QStringLiteral("showing image: walk 0003"));

    // The status line and the bars stay over the image, and its buttons act.
    settings.Set(GrabLetterbox, 235);
    panel->OnCommand(cmd::kGrabberDisplaySettings);
    EXPECT_TRUE(panel->TopBar()->isVisible());
    EXPECT_TRUE(panel->StatusLine()->isVisible());
    EXPECT_EQ(Click(panel->ImageWindow(), {320, 240}), kReturnClick);
    QTest::mouseClick(panel->ImageWindow(), Qt::RightButton, {}, QPoint(320, 240));
    EXPECT_FALSE(panel->StatusLine()->isVisible());
    QTest::mouseClick(panel->ImageWindow(), Qt::RightButton, {}, QPoint(320, 240));

    // Without the renderer the picture is still scaled into the panel.
    panel->SetDisplay(nullptr);
    panel->ImageWindow()->update();
    EXPECT_EQ(Pixel(320, 240), QColor(Qt::red));

    // A picture not loaded (a regrab releases it) leaves the live video.
    image->texture = QImage();
    panel->Refresh();
    EXPECT_FALSE(panel->ImageWindow()->isVisible());
    EXPECT_EQ(panel->StatusTexts().value(3), QStringLiteral("next image name: walk 0007"));

    shown = nullptr;
    panel->Refresh();
    EXPECT_FALSE(panel->ImageWindow()->isVisible());
    EXPECT_NE(Pixel(100, 240), QColor(Qt::black));
}

TEST_F(GrabMainPanelTest, SetGrabLevelRunsTheDialogOnTheLevelAndTellsTheOthers) {
    CXshtList sheet{settings};
    test::CSnapshotCounter history;
    test::ImageItem(media, QStringLiteral("walk 0001"));
    test::ImageItem(media, QStringLiteral("walk 0002"));
    CAnim level(media);
    level.TakeLevel(QStringLiteral("walk"));
    panel->SetGrabLevel(&level, sheet, history);
    CAnimDialog* dialog = panel->GrabLevelDialog();
    ASSERT_NE(dialog, nullptr);
    sink.Deliver(*panel);
    sink.seen.clear();

    bool hiddenWithPanel = false;
    bool shownAgain = false;
    QTimer::singleShot(0, dialog, [&] {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Set grab level"));
        EXPECT_EQ(dialog->Row(CAnimDialog::kName)->Text(), QStringLiteral("walk"));
        EXPECT_EQ(dialog->Row(CAnimDialog::kNext)->Text(), QStringLiteral("3"));
        // A second 32852 while it is open opens nothing more.
        EXPECT_TRUE(panel->OnCommand(cmd::kGrabLevel));
        panel->hide();
        hiddenWithPanel = !dialog->isVisible() && dialog->IsOpen();
        panel->show();
        shownAgain = dialog->isVisible();
        dialog->SendDialogCommand(CBasicDialog::kOk);
    });
    EXPECT_TRUE(panel->OnCommand(cmd::kGrabLevel));
    EXPECT_FALSE(dialog->IsOpen());
    EXPECT_TRUE(hiddenWithPanel);
    EXPECT_TRUE(shownAgain);
    const std::vector<int> after(sink.seen.end() - 3, sink.seen.end());
    EXPECT_EQ(after, (std::vector<int>{cmd::kMediaChanged, cmd::kGrabberRefresh,
                                       cmd::kMediaNamesChanged}));
}

TEST_F(GrabMainPanelTest, WithoutDevicesThePanelIsBlackAndSaysSo) {
    delete panel;
    CCaptureGraph::Options options;
    options.devices = VideoDeviceMode::None;
    graph = std::make_unique<CCaptureGraph>(settings, options);
    panel = new CGrabMainPanel(sink, *graph, settings, &window);
    panel->SetStatusHooks({{}, [](const QRect&) { return 12; }});
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
