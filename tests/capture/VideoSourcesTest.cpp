#include <gtest/gtest.h>

#include "capture/VideoSources.h"
#include "tests/capture/FakeVideoDevices.h"

namespace kolvane {
namespace {

using test::CFakeVideoProvider;

// Every row of the source-kind table, detected as the listing sees it.
TEST(VideoSources, EachDeviceIsListedWithTheKindItIsDetectedAs) {
    test::AddFakeNode("/dev/fake-analog", "Analog capture card",
                      {{"Composite", false}, {"Television", true}, {"S-Video", false}});
    test::AddFakeNode("/dev/fake-webcam", "USB webcam", {{"Camera 1", false}});
    CFakeVideoProvider::Present({test::FakeWebcam(), test::FakeAnalogCard(), test::FakeDvCamera(),
                                 test::FakeHdCard(), test::FakeCameraDevice()});
    const auto sources = ListVideoSources(VideoDeviceMode::System, test::FakeNodeOpener());
    ASSERT_EQ(sources.size(), 5u);
    std::vector<int> kinds;
    for (const auto& source : sources)
        kinds.push_back(source.kind);
    EXPECT_EQ(kinds, (std::vector<int>{1, 2, 3, 5, 6}));

    EXPECT_EQ(DescribeVideoSource(sources[0]),
              QStringLiteral("USB webcam\twebcam (usb)\t/dev/fake-webcam\t320x240 YUY2 30fps, "
                             "160x120 YUY2 30fps, 640x360 YUY2 30fps, 1280x720 image/jpeg 30fps"));
    EXPECT_EQ(DescribeVideoSource(sources[1]),
              QStringLiteral("Analog capture card\tanalog (rca)\t/dev/fake-analog\t320x240 YUY2 "
                             "25fps\tinputs: Composite, Television (tuner), S-Video"));
    EXPECT_TRUE(DescribeVideoSource(sources[3])
                    .startsWith(QStringLiteral("DeckLink Mini Recorder\thd video (hdmi)\t-\t")));
    EXPECT_TRUE(DescribeVideoSource(sources[4])
                    .startsWith(QStringLiteral("Canon EOS 550D\tcamera (liveview)\t")));
}

TEST(VideoSources, TheTestPatternStandsInOnlyWhereAsked) {
    CFakeVideoProvider::Present({});
    const auto test = ListVideoSources(VideoDeviceMode::TestPattern, {});
    ASSERT_EQ(test.size(), 1u);
    EXPECT_EQ(test[0].name, QStringLiteral("test pattern"));
    EXPECT_EQ(test[0].kind, 1);
    EXPECT_TRUE(ListVideoSources(VideoDeviceMode::System, {}).empty());
    EXPECT_TRUE(ListVideoSources(VideoDeviceMode::None, {}).empty());
    // Without a device of the system's, the test pattern comes in.
    const auto automatic = ListVideoSources(VideoDeviceMode::Automatic, {});
    ASSERT_EQ(automatic.size(), 1u);
    EXPECT_EQ(automatic[0].name, QStringLiteral("test pattern"));

    CFakeVideoProvider::Present({test::FakeWebcam()});
    const auto withWebcam = ListVideoSources(VideoDeviceMode::Automatic, {});
    ASSERT_EQ(withWebcam.size(), 1u);
    EXPECT_EQ(withWebcam[0].name, QStringLiteral("USB webcam"));
}

}  // namespace
}  // namespace kolvane
