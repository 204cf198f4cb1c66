#include <gtest/gtest.h>
#include <libyuv/convert_argb.h>
#include <libyuv/scale_argb.h>

#include <QCoreApplication>
#include <QTest>

#include <cstring>
#include <deque>
#include <functional>
#include <random>
#include <thread>

#include "capture/CaptureGraph.h"
#include "platform/Commands.h"
#include "platform/StringTable.h"
#include "settings/Settings.h"
#include "tests/capture/FakeVideoDevices.h"

namespace kolvane {
namespace {

using test::CFakeCamera;
using test::CFakeVideoProvider;
using test::FakeCamera;
using test::FakeDeviceSpec;

// Plays the main frame for the graph: posted commands are queued and the
// capture graph's own ones are handed back to it, as the panel would.
class CFakeFrame final : public ICommandSink {
  public:
    void SendCommand(int id) override { posted.push_back(id); }
    void PostCommand(int id) override { posted.push_back(id); }
    std::deque<int> posted;
    std::vector<int> seen;
};

class CFakeView final : public IVideoView {
  public:
    bool IsShown() const override { return shown; }
    QSize ClientSize() const override { return {640, 480}; }
    void RepaintVideo() override { ++repaints; }
    bool shown = true;
    int repaints = 0;
};

class CaptureGraphTest : public ::testing::Test {
  protected:
    void SetUp() override { settings_.Set(FrameRate, 15); }

    void Start(const std::vector<FakeDeviceSpec>& devices, int videoInput = 0) {
        CFakeVideoProvider::Present(devices);
        settings_.Set(VideoInput, videoInput);
        CCaptureGraph::Options options;
        options.devices = VideoDeviceMode::System;
        options.openNode = test::FakeNodeOpener();
        options.keepAwakeInterval = std::chrono::milliseconds(20);
        options.errorRetryDelay = std::chrono::milliseconds(50);
        Make(options);
    }

    void Make(const CCaptureGraph::Options& options) {
        graph_ = std::make_unique<CCaptureGraph>(settings_, options);
        graph_->SetCommandSink(&frame_);
        if (graph_->AttachWindow(&view_) == kOk) graph_->OnCommand(cmd::kReopenVideoInput);
    }

    // Delivers the posted commands, as the main frame's routing does.
    void Pump() {
        while (!frame_.posted.empty()) {
            const int id = frame_.posted.front();
            frame_.posted.pop_front();
            frame_.seen.push_back(id);
            graph_->OnCommand(id);
        }
    }

    bool WaitFor(const std::function<bool()>& condition, int ms = 30000) {
        return QTest::qWaitFor(
            [&] {
                Pump();
                return condition();
            },
            ms);
    }

    bool WaitLive(int kind) {
        return WaitFor([&] { return graph_->IsVideoPresent() && graph_->SourceKind() == kind; });
    }

    bool Saw(int command) const {
        return std::find(frame_.seen.begin(), frame_.seen.end(), command) != frame_.seen.end();
    }

    CSettings settings_{CSettings::Unstored{}};
    CFakeFrame frame_;
    CFakeView view_;
    std::unique_ptr<CCaptureGraph> graph_;
};

TEST_F(CaptureGraphTest, OneDeviceIsOpenedAgainAfterItsPictureFreezes) {
    Start({test::FakeWebcam()});
    ASSERT_TRUE(WaitLive(1));
    EXPECT_EQ(graph_->StatusText(), QStringLiteral("webcam video"));
    EXPECT_EQ(graph_->DeviceCount(), 1);
    EXPECT_TRUE(graph_->IsReadyToGrab());

    CFakeVideoProvider::Freeze("USB webcam", true);
    ASSERT_TRUE(WaitFor([&] { return CFakeVideoProvider::OpenCount("USB webcam") == 2; }));
    EXPECT_TRUE(Saw(cmd::kGrabberRefresh));
    // The pass has length one: the same device comes back, live again.
    ASSERT_TRUE(WaitLive(1));
    EXPECT_EQ(graph_->DeviceName(), QStringLiteral("USB webcam"));
}

TEST_F(CaptureGraphTest, DvCameraIsChosenOverAWebcam) {
    settings_.Set(VideoQuality, 0);
    Start({test::FakeWebcam(), test::FakeDvCamera()}, 3);
    ASSERT_TRUE(WaitLive(3));
    EXPECT_EQ(graph_->DeviceName(), QStringLiteral("DV camcorder"));
    EXPECT_EQ(settings_.Get(VideoInput), 3);
    // Kinds 3 and 4 take their status texts out of numeric order.
    EXPECT_EQ(graph_->StatusTextId(), 40604);
    EXPECT_EQ(graph_->StatusText(), QStringLiteral("dv video camera"));
    // Standard quality halves the DV picture.
    EXPECT_EQ(graph_->GetFrameRect(), QRect(0, 0, 360, 288));
}

TEST_F(CaptureGraphTest, WithOnlyAWebcamTheInputFallsBackToFirstAny) {
    Start({test::FakeWebcam()}, 3);
    ASSERT_TRUE(WaitLive(1));
    EXPECT_EQ(settings_.Get(VideoInput), 0);
    EXPECT_TRUE(Saw(cmd::kVideoSourceReload));
    EXPECT_EQ(CFakeVideoProvider::OpenCount("USB webcam"), 1);
}

TEST_F(CaptureGraphTest, AnalogInputsAreRoutedInTurnSkippingTheTuner) {
    auto node = test::AddFakeNode("/dev/fake-analog", "Analog capture card",
                                  {{"Composite", false}, {"Television", true}, {"S-Video", false}});
    Start({test::FakeAnalogCard(), test::FakeWebcam()}, 2);
    ASSERT_TRUE(WaitLive(2));
    EXPECT_EQ(node->selected, std::vector<int>({0}));
    EXPECT_EQ(graph_->StatusText(), QStringLiteral("analog video"));
    // A live picture from an accepted source puts the card's own controls
    // back at their defaults.
    EXPECT_EQ(node->resets, 1);

    // Each frozen picture routes the next input that is not a tuner...
    node->dead = {false, false, true};
    CFakeVideoProvider::Freeze("Analog capture card", true);
    ASSERT_TRUE(WaitFor([&] { return node->selected.size() == 2; }));
    EXPECT_EQ(node->selected, std::vector<int>({0, 2}));
    EXPECT_EQ(CFakeVideoProvider::OpenCount("Analog capture card"), 1);

    // ...and after the last one the next device opens; it is the last of
    // the pass, so it stays as "first (any)".
    ASSERT_TRUE(WaitLive(1));
    EXPECT_EQ(graph_->DeviceName(), QStringLiteral("USB webcam"));
    EXPECT_EQ(node->selected, std::vector<int>({0, 2}));
    EXPECT_EQ(settings_.Get(VideoInput), 0);
}

TEST_F(CaptureGraphTest, TvTunerInputIsRoutedForTheTunerChoice) {
    auto node = test::AddFakeNode("/dev/fake-analog", "Analog capture card",
                                  {{"Composite", false}, {"Television", true}, {"S-Video", false}});
    Start({test::FakeAnalogCard(), test::FakeWebcam()}, 4);
    ASSERT_TRUE(WaitLive(4));
    EXPECT_EQ(node->selected, std::vector<int>({0, 1}));
    EXPECT_EQ(graph_->StatusTextId(), 40603);
    EXPECT_EQ(graph_->StatusText(), QStringLiteral("tv-tuner video"));
    EXPECT_EQ(CFakeVideoProvider::OpenCount("USB webcam"), 0);
}

TEST_F(CaptureGraphTest, QualityChoosesTheCaptureSize) {
    // "standard" is the first listed size; "full hd" on a smaller device the
    // size nearest in pixels, among the formats of the first one only.
    settings_.Set(VideoQuality, 0);
    Start({test::FakeWebcam()});
    ASSERT_TRUE(WaitLive(1));
    EXPECT_EQ(graph_->GetFrameRect(), QRect(0, 0, 320, 240));

    settings_.Set(VideoQuality, 5);
    graph_->OnCommand(cmd::kVideoFormatChanged);
    ASSERT_TRUE(WaitFor([&] { return graph_->GetFrameRect() == QRect(0, 0, 640, 360); }));
    EXPECT_EQ(CFakeVideoProvider::OpenCount("USB webcam"), 1);  // the same device
    EXPECT_EQ(graph_->GetGrabSize(), QRect(0, 0, 640, 360));
}

TEST_F(CaptureGraphTest, HdCardRunsAtFullHd) {
    Start({test::FakeWebcam(), test::FakeHdCard()}, 5);
    ASSERT_TRUE(WaitLive(5));
    EXPECT_EQ(graph_->StatusText(), QStringLiteral("hd video camera"));
    EXPECT_EQ(graph_->GetFrameRect(), QRect(0, 0, 1920, 1080));
}

TEST_F(CaptureGraphTest, MissingElementsAreReportedAndLeaveNoGraph) {
    struct Case {
        const char* adjust;
        const char* sink;
        int error;
    };
    for (const Case& c : {Case{"kolvane-no-such-element", "appsink", 60106},
                          Case{"zantho", "kolvane-no-such-sink", 60105}}) {
        CCaptureGraph::Options options;
        options.adjustFactory = c.adjust;
        options.sinkFactory = c.sink;
        options.devices = VideoDeviceMode::TestPattern;
        Make(options);
        EXPECT_EQ(graph_->ConstructionError(), c.error) << c.adjust << " " << c.sink;
        EXPECT_FALSE(graph_->HasGraph());
        EXPECT_EQ(graph_->Connect(), 1);
        EXPECT_FALSE(graph_->IsReadyToGrab());
        EXPECT_EQ(graph_->StatusText(), QStringLiteral("no video devices"));
        EXPECT_EQ(graph_->ApplyAdjustments(), 1);
    }
    EXPECT_EQ(StringText(60106), QStringLiteral("Kolvane is not correctly installed !"));
}

TEST_F(CaptureGraphTest, UnpluggedDeviceLeavesNoDevicesUntilOneComesBack) {
    Start({test::FakeWebcam()});
    ASSERT_TRUE(WaitLive(1));

    CFakeVideoProvider::Unplug("USB webcam");
    ASSERT_TRUE(WaitFor([&] { return graph_->StatusTextId() == 40608; }));
    EXPECT_FALSE(graph_->IsVideoPresent());
    EXPECT_FALSE(graph_->IsReadyToGrab());
    // Nothing more is tried while there is no device: no command comes in
    // while the event loop runs on.
    frame_.seen.clear();
    QTest::qWait(300);
    Pump();
    EXPECT_TRUE(frame_.seen.empty());

    CFakeVideoProvider::Plug(test::FakeWebcam());
    ASSERT_TRUE(WaitLive(1));
    EXPECT_EQ(graph_->StatusText(), QStringLiteral("webcam video"));
}

TEST_F(CaptureGraphTest, TestPatternStandsInWithoutDevices) {
    settings_.Set(VideoQuality, 0);
    CCaptureGraph::Options options;
    options.devices = VideoDeviceMode::TestPattern;
    Make(options);
    ASSERT_TRUE(WaitLive(1));
    EXPECT_EQ(graph_->DeviceName(), QStringLiteral("test pattern"));
    EXPECT_EQ(graph_->GetFrameRect(), QRect(0, 0, 640, 480));
    ASSERT_TRUE(WaitFor([&] { return !graph_->LatestFrame().IsEmpty(); }));
    EXPECT_EQ(graph_->LatestFrame().image.size(), QSize(640, 480));
    EXPECT_GT(view_.repaints, 0);
    EXPECT_EQ(graph_->GetVideoRect(), graph_->FitRect());
    EXPECT_FALSE(graph_->FitRect().isEmpty());

    // A grab takes the adjustment element's frame, three bytes a pixel.
    const CGrabbedFrame grabbed = graph_->GrabFrame();
    EXPECT_EQ(grabbed.width, 640);
    EXPECT_EQ(grabbed.height, 480);
    EXPECT_EQ(grabbed.bgr.size(), std::size_t(640 * 480 * 3));

    CCaptureGraph::Options none;
    none.devices = VideoDeviceMode::None;
    Make(none);
    EXPECT_EQ(graph_->StatusText(), QStringLiteral("no video devices"));
    EXPECT_TRUE(graph_->GetFrameRect().isEmpty());
    EXPECT_TRUE(graph_->GrabFrame().IsEmpty());
}

TEST_F(CaptureGraphTest, CameraIsDrivenOnTheUserInterfaceThread) {
    CFakeCamera& camera = FakeCamera();
    settings_.Set(LightingType, 3);
    settings_.Set(SceneType, 80);
    settings_.Set(FocalRange, 64);
    settings_.Set(ImageSize, 0);
    Start({test::FakeWebcam(), test::FakeCameraDevice()}, 6);
    ASSERT_TRUE(WaitLive(6));
    EXPECT_EQ(graph_->StatusText(), QStringLiteral("digital camera"));
    EXPECT_EQ(graph_->CameraName(), QStringLiteral("Canon 550D"));
    ASSERT_GE(camera.settingsWritten.load(), 1);
    EXPECT_EQ(std::vector<int>(camera.lastSettings, camera.lastSettings + 4),
              std::vector<int>({3, 80, 64, 0}));

    // The keep-awake pulse: a half-press and a release, from the UI thread.
    ASSERT_TRUE(WaitFor([&] { return camera.halfPresses.load() >= 4; }));
    EXPECT_EQ(camera.halfPresses.load() % 2, 0);
    EXPECT_EQ(camera.offUiThread.load(), 0);

    EXPECT_EQ(graph_->GetGrabSize(), QRect(0, 0, 5184, 3456));
    settings_.Set(ImageSize, 254);
    EXPECT_EQ(graph_->GetGrabSize(), QRect(0, 0, 320, 240));
    settings_.Set(ImageSize, 255);
    EXPECT_TRUE(graph_->GetGrabSize().isEmpty());

    std::atomic<int> progress{0};
    EXPECT_EQ(graph_->TakeCameraPicture(QStringLiteral("/tmp/shot 0001"), &progress), 0);
    EXPECT_EQ(camera.lastPicturePath, "/tmp/shot 0001");
    graph_->OnCommand(32865);
    graph_->OnCommand(32866);
    EXPECT_EQ(camera.saves.load(), 1);
    EXPECT_EQ(camera.restores.load(), 1);
}

TEST_F(CaptureGraphTest, CameraOperationsDoNothingWithoutACamera) {
    Start({test::FakeWebcam()});
    ASSERT_TRUE(WaitLive(1));
    std::atomic<int> progress{0};
    EXPECT_EQ(graph_->TakeCameraPicture(QStringLiteral("/tmp/x"), &progress), 1);
    EXPECT_EQ(graph_->ApplyCameraSettings(), 1);
    EXPECT_EQ(graph_->SaveCameraSettings(), 1);
    EXPECT_TRUE(graph_->CameraName().isEmpty());
    EXPECT_EQ(progress.load(), 0);
}

float Property(GstElement* element, const char* name) {
    float value = 0.0f;
    g_object_get(element, name, &value, nullptr);
    return value;
}

// Settings go to the adjustment element scaled; results beyond its range are
// clamped and the setting written back.
TEST_F(CaptureGraphTest, PictureSettingsAreClampedAndWrittenBack) {
    CCaptureGraph::Options options;
    options.devices = VideoDeviceMode::None;
    Make(options);
    struct Case {
        int index;
        int value;
        const char* property;
        float expected;
        int writtenBack;
    };
    const Case cases[] = {
        {Whiteness, 50, "whiteness", 63.5f, 50},      {Whiteness, 200, "whiteness", 127.0f, 100},
        {Brightness, 75, "brightness", 50.0f, 75},    {Brightness, 0, "brightness", -100.0f, 0},
        {Brightness, 180, "brightness", 100.0f, 100}, {Contrast, 25, "contrast", 0.5f, 25},
        {Contrast, 255, "contrast", 2.0f, 100},       {Color, 150, "color", 2.0f, 100},
    };
    for (const Case& c : cases) {
        settings_.Set(c.index, c.value);
        EXPECT_TRUE(graph_->OnCommand(cmd::kGrabberSettings3));
        EXPECT_FLOAT_EQ(Property(graph_->AdjustElement(), c.property), c.expected)
            << c.property << " " << c.value;
        EXPECT_EQ(settings_.Get(c.index), c.writtenBack) << c.property << " " << c.value;
    }
    // Reset: opacity 50, whiteness 0, the others in the middle.
    EXPECT_TRUE(graph_->OnCommand(cmd::kGrabberSettings2));
    EXPECT_FLOAT_EQ(Property(graph_->AdjustElement(), "contrast"), 1.0f);
    EXPECT_FLOAT_EQ(Property(graph_->AdjustElement(), "brightness"), 0.0f);
    EXPECT_FLOAT_EQ(graph_->OverlayOpacity(), 0.5f);
}

TEST_F(CaptureGraphTest, OrientationAndMotionCommandReachTheElement) {
    CCaptureGraph::Options options;
    options.devices = VideoDeviceMode::None;
    Make(options);
    const struct {
        int orientation;
        float horizontal;
        float vertical;
    } cases[] = {{0, 1.0f, 1.0f}, {1, -1.0f, 1.0f}, {2, 1.0f, -1.0f}, {3, -1.0f, -1.0f}};
    for (const auto& c : cases) {
        settings_.Set(Orientation, c.orientation);
        EXPECT_EQ(graph_->ApplyOrientation(), 0);
        EXPECT_FLOAT_EQ(Property(graph_->AdjustElement(), "horizontal"), c.horizontal);
        EXPECT_FLOAT_EQ(Property(graph_->AdjustElement(), "vertical"), c.vertical);
    }

    gboolean detecting = FALSE;
    settings_.Set(MotionCommand, 2);
    graph_->OnCommand(cmd::kGrabberMotionSettings);
    g_object_get(graph_->AdjustElement(), "motion-detect", &detecting, nullptr);
    EXPECT_TRUE(detecting);
    settings_.Set(MotionCommand, 0);
    graph_->OnCommand(cmd::kGrabberMotionSettings);
    g_object_get(graph_->AdjustElement(), "motion-detect", &detecting, nullptr);
    EXPECT_FALSE(detecting);

    settings_.Set(Denoise, 8);
    graph_->OnCommand(32861);
    int denoise = 0;
    g_object_get(graph_->AdjustElement(), "denoise", &denoise, nullptr);
    EXPECT_EQ(denoise, 8);
}

// Shrinking a band at a time gives the pixels of converting the whole frame
// and then scaling it: for factors the scaler treats apart (2 and 4 exactly,
// a frame barely smaller, odd sizes, a padded stride), and for a second
// frame through the same working space, so that no row of the first is read.
TEST(ShrinkYuy2ToRgb32Test, GivesThePixelsOfConvertingThenScaling) {
    struct Case {
        int width, height, padding, toWidth, toHeight;
    };
    const Case cases[] = {
        {1920, 1080, 0, 1280, 720}, {1920, 1080, 0, 960, 540},  {1280, 720, 64, 640, 360},
        {640, 480, 0, 160, 120},    {1920, 1080, 0, 1001, 563}, {1920, 1080, 0, 1918, 1079},
        {720, 576, 8, 700, 33},     {642, 482, 0, 7, 5},
    };
    std::mt19937 random(7);
    std::vector<std::uint8_t> band;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " to " << c.toWidth << "x" << c.toHeight);
        const int stride = c.width * 2 + c.padding;
        for (int frame = 0; frame < 2; ++frame) {
            std::vector<std::uint8_t> yuy2(static_cast<std::size_t>(stride) * c.height);
            for (std::uint8_t& byte : yuy2)
                byte = static_cast<std::uint8_t>(random());
            std::vector<std::uint8_t> full(static_cast<std::size_t>(c.width) * c.height * 4);
            libyuv::YUY2ToARGB(yuy2.data(), stride, full.data(), c.width * 4, c.width, c.height);
            const int outStride = c.toWidth * 4 + 16;
            std::vector<std::uint8_t> expected(static_cast<std::size_t>(outStride) * c.toHeight);
            libyuv::ARGBScale(full.data(), c.width * 4, c.width, c.height, expected.data(),
                              outStride, c.toWidth, c.toHeight, libyuv::kFilterBilinear);
            std::vector<std::uint8_t> shrunk(expected.size());
            ShrinkYuy2ToRgb32(yuy2.data(), stride, c.width, c.height, shrunk.data(), outStride,
                              c.toWidth, c.toHeight, band);
            for (int y = 0; y < c.toHeight; ++y) {
                const auto* want = expected.data() + static_cast<std::size_t>(y) * outStride;
                const auto* got = shrunk.data() + static_cast<std::size_t>(y) * outStride;
                ASSERT_EQ(std::memcmp(want, got, static_cast<std::size_t>(c.toWidth) * 4), 0)
                    << "row " << y << " of frame " << frame;
            }
        }
    }
}

}  // namespace
}  // namespace kolvane
