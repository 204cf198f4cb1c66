#include <gtest/gtest.h>

#include "capture/CaptureGraph.h"
#include "capture/VideoModes.h"

namespace kolvane {
namespace {

std::vector<CVideoMode> Modes(const char* caps) {
    GstCaps* parsed = gst_caps_from_string(caps);
    std::vector<CVideoMode> modes = ModesFromCaps(parsed);
    gst_caps_unref(parsed);
    return modes;
}

// A webcam's list as v4l2 gives it: raw sizes first, MJPEG after.
constexpr char kWebcam[] =
    "video/x-raw,format=YUY2,width=640,height=480,framerate={30/1,15/1};"
    "video/x-raw,format=YUY2,width=160,height=120,framerate=30/1;"
    "video/x-raw,format=YUY2,width=1280,height=720,framerate={10/1,5/1};"
    "video/x-raw,format=YUY2,width=320,height=240,framerate=60/1;"
    "image/jpeg,width=1920,height=1080,framerate=30/1";

TEST(VideoModes, QualityPicksTheNearestPixelCountAmongTheFirstFormat) {
    const auto modes = Modes(kWebcam);
    ASSERT_EQ(modes.size(), 5u);
    struct Case {
        int quality;
        int width;
        int height;
        int rate;
    };
    const Case cases[] = {
        {0, 640, 480, 30},  // standard: the first listed
        {1, 320, 240, 0},   // 1280 x 720 / 4 = 320 x 180: nearest 320 x 240 (60 fps only)
        {2, 640, 480, 30},  // 640 x 360
        {3, 640, 480, 30},  // 960 x 540: 640 x 480 is nearer than 1280 x 720
        {4, 1280, 720, 10},
        {5, 1280, 720, 10},  // full HD on a smaller raw list; MJPEG does not count
    };
    for (const Case& c : cases) {
        const CModeChoice choice = ChooseMode(modes, c.quality, false, 25);
        EXPECT_EQ(choice.width, c.width) << "quality " << c.quality;
        EXPECT_EQ(choice.height, c.height) << "quality " << c.quality;
        if (c.rate != 0) {
            EXPECT_EQ(choice.rateNum, c.rate) << "quality " << c.quality;
        }
    }
    // Only rates above 30 offered: the lowest of them.
    EXPECT_EQ(ChooseMode(modes, 1, false, 25).rateNum, 60);
}

TEST(VideoModes, HdCardTakesFullHdAtTheFrameRate) {
    const auto modes = Modes(
        "video/x-raw,format=UYVY,width=1280,height=720,framerate=60/1;"
        "video/x-raw,format=UYVY,width=1920,height=1080,framerate=30/1");
    const CModeChoice choice = ChooseMode(modes, 0, true, 24);
    EXPECT_EQ(choice.width, 1920);
    EXPECT_EQ(choice.height, 1080);
    EXPECT_EQ(choice.rateNum, 24);
    GstCaps* caps = CapsForChoice(modes, choice);
    GstCaps* expected =
        gst_caps_from_string("video/x-raw,format=UYVY,width=1920,height=1080,framerate=24/1");
    EXPECT_TRUE(gst_caps_is_equal(caps, expected)) << gst_caps_to_string(caps);
    gst_caps_unref(caps);
    gst_caps_unref(expected);
}

TEST(VideoModes, SizeRangesAndCodedMedia) {
    // A scaling source takes the target itself, kept within its range.
    const auto range = Modes("video/x-raw,format=YUY2,width=[16,1920],height=[16,1080]");
    ASSERT_EQ(range.size(), 1u);
    CModeChoice choice = ChooseMode(range, 2, false, 25);
    EXPECT_EQ(choice.width, 960);
    EXPECT_EQ(choice.height, 540);
    choice = ChooseMode(range, 5, false, 25);
    EXPECT_EQ(choice.width, 1920);

    // DV carries no size: it is taken as the camera gives it.
    const auto dv = Modes("video/x-dv,systemstream=true");
    ASSERT_EQ(dv.size(), 1u);
    EXPECT_TRUE(dv[0].systemStream);
    GstCaps* caps = CapsForChoice(dv, ChooseMode(dv, 4, false, 25));
    EXPECT_FALSE(gst_structure_has_field(gst_caps_get_structure(caps, 0), "width"));
    gst_caps_unref(caps);

    EXPECT_FALSE(ChooseMode({}, 0, false, 25).IsValid());
    EXPECT_TRUE(Modes("ANY").empty());
}

TEST(OverlayPlacement, FitsTheBitmapByComparingItsAspectWithTheFrames) {
    struct Case {
        QSize bitmap;
        QSize frame;
        QRectF expected;
    };
    const Case cases[] = {
        // Same aspect: the whole frame.
        {{640, 480}, {640, 480}, QRectF(0, 0, 1, 1)},
        // A 16:9 picture over a 4:3 frame spans the width, centred.
        {{1920, 1080}, {640, 480}, QRectF(QPointF(0, 0.125), QPointF(1, 0.875))},
        // A 4:3 picture over a 16:9 frame spans the height.
        {{640, 480}, {1280, 720}, QRectF(QPointF(0.125, 0), QPointF(0.875, 1))},
        // A 5:3 picture (q = 0.6) over a 16:9 frame: a fixed 0.66 threshold
        // would span the width and run off the top and bottom.
        {{1000, 600}, {1280, 720}, QRectF(QPointF(0.03125, 0), QPointF(0.96875, 1))},
        // No bitmap, or no frame size yet: the whole frame, no division.
        {{}, {640, 480}, QRectF(0, 0, 1, 1)},
        {{640, 480}, {}, QRectF(0, 0, 1, 1)},
    };
    for (const Case& c : cases) {
        const QRectF placed = OverlayPlacementFor(c.bitmap, c.frame);
        EXPECT_NEAR(placed.left(), c.expected.left(), 1e-6) << c.bitmap.width();
        EXPECT_NEAR(placed.top(), c.expected.top(), 1e-6) << c.bitmap.width();
        EXPECT_NEAR(placed.right(), c.expected.right(), 1e-6) << c.bitmap.width();
        EXPECT_NEAR(placed.bottom(), c.expected.bottom(), 1e-6) << c.bitmap.width();
    }
}

TEST(CameraStillSize, ModelsAndQualities) {
    EXPECT_EQ(CameraStillSize("Canon 550D", 0), QSize(5184, 3456));
    EXPECT_EQ(CameraStillSize("Canon 550D", 2), QSize(1936, 1288));
    EXPECT_EQ(CameraStillSize("Canon 50D", 2), QSize(2352, 1568));
    EXPECT_EQ(CameraStillSize("Canon 70D", 1), QSize(3468, 2432));
    EXPECT_EQ(CameraStillSize("Canon DIGITAL REBEL XS", 0), QSize(3888, 2592));
    EXPECT_EQ(CameraStillSize("Canon 1D Mark IV", 2), QSize(2592, 1728));
    // Exact names only; an unknown model has no size.
    EXPECT_TRUE(CameraStillSize("Canon EOS 550D", 0).isEmpty());
    EXPECT_TRUE(CameraStillSize("Nikon D90", 0).isEmpty());
    EXPECT_TRUE(CameraStillSize("Canon 550D", 3).isEmpty());
}

}  // namespace
}  // namespace kolvane
