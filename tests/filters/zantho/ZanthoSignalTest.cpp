// Live, frozen, moving and still: what the zantho element shows and tells.

#include <gtest/gtest.h>

#include <vector>

#include "tests/filters/zantho/ZanthoHarness.h"

namespace kolvane::test {
namespace {

using Codes = std::vector<int>;

bool IsLive(GstElement* element) {
    gboolean live = FALSE;
    g_object_get(element, "live", &live, nullptr);
    return live != FALSE;
}

TEST(ZanthoSignal, StaticPatternNeverGoesLiveAndShowsNothing) {
    ZanthoHarness h;
    h.SetInput("YUY2", 64, 48);
    const Bytes frame = Yuy2Frame(64, 48, 90);
    // The first frame builds the history; the next nine identical ones freeze.
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(h.Push(frame), GST_FLOW_OK);
    EXPECT_EQ(h.Received(), 0u);
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureFroze});
    for (int i = 0; i < 9; ++i)
        ASSERT_EQ(h.Push(frame), GST_FLOW_OK);
    EXPECT_EQ(h.Received(), 0u);
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureFroze}) << "a dead input is reported again";
    EXPECT_FALSE(IsLive(h.Element()));
}

TEST(ZanthoSignal, MovingSourceGoesLiveAtItsSecondFrame) {
    ZanthoHarness h;
    h.SetInput("YUY2", 64, 48);
    ASSERT_EQ(h.Push(Yuy2Frame(64, 48, 10)), GST_FLOW_OK);
    EXPECT_EQ(h.Received(), 0u);
    EXPECT_TRUE(h.TakeCodes().empty());

    const Bytes second = Yuy2Frame(64, 48, 20);
    ASSERT_EQ(h.Push(second), GST_FLOW_OK);
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
    EXPECT_EQ(h.Pull(), second);
    EXPECT_TRUE(IsLive(h.Element()));
}

// The capture graph runs the same element again for the next device, often
// at the same size: that stream must be announced live again.
TEST(ZanthoSignal, AStreamStartedAgainIsAnnouncedLiveAgain) {
    ZanthoHarness h;
    h.SetInput("YUY2", 64, 48);
    h.Push(Yuy2Frame(64, 48, 10));
    h.Push(Yuy2Frame(64, 48, 20));
    ASSERT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});

    gst_element_set_state(h.Element(), GST_STATE_NULL);
    gst_element_set_state(h.Element(), GST_STATE_PLAYING);
    EXPECT_FALSE(IsLive(h.Element()));
    h.SetInput("YUY2", 64, 48);
    h.Push(Yuy2Frame(64, 48, 30));
    h.Push(Yuy2Frame(64, 48, 40));
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
}

TEST(ZanthoSignal, NineIdenticalFramesInARowFreezeAndAChangeRevives) {
    ZanthoHarness h;
    h.SetInput("YUY2", 64, 48);
    h.Push(Yuy2Frame(64, 48, 10));
    h.Push(Yuy2Frame(64, 48, 20));
    ASSERT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
    const Bytes same = Yuy2Frame(64, 48, 20);
    for (int i = 0; i < 8; ++i)
        h.Push(same);
    EXPECT_TRUE(h.TakeCodes().empty());
    EXPECT_EQ(h.Received(), 9u) << "identical frames are shown until the ninth";

    h.Push(same);
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureFroze});
    EXPECT_EQ(h.Received(), 9u);
    EXPECT_FALSE(IsLive(h.Element()));

    h.Push(Yuy2Frame(64, 48, 30));
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
    EXPECT_EQ(h.Received(), 10u);
}

// A camera in low light that delivers every picture twice is moving: its
// identical frames never come nine in a row.
TEST(ZanthoSignal, SourceRepeatingEveryOtherFrameStaysLive) {
    ZanthoHarness h;
    h.SetInput("YUY2", 64, 48);
    for (int picture = 0; picture < 30; ++picture) {
        const Bytes frame = Yuy2Frame(64, 48, static_cast<std::uint8_t>(40 + picture));
        h.Push(frame);
        h.Push(frame);
    }
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
    EXPECT_EQ(h.Received(), 58u) << "all but the first picture's two frames";
    EXPECT_TRUE(IsLive(h.Element()));
}

TEST(ZanthoSignal, ANewInputFormatWaitsForTheNextChange) {
    ZanthoHarness h;
    h.SetInput("YUY2", 64, 48);
    h.Push(Yuy2Frame(64, 48, 10));
    h.Push(Yuy2Frame(64, 48, 20));
    ASSERT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});

    h.SetInput("YUY2", 32, 24);
    h.Push(Yuy2Frame(32, 24, 30));
    EXPECT_EQ(h.Received(), 1u) << "the first frame of the new size is not shown";
    h.Push(Yuy2Frame(32, 24, 40));
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
    EXPECT_EQ(h.Received(), 2u);
}

// Adjusted frames go through the element's own single pass, unadjusted ones
// pass through; the count of identical frames carries over when the
// settings switch between the two in the middle of it.
TEST(ZanthoSignal, FreezeCountSurvivesSwitchingPassthrough) {
    struct Case {
        const char* name;
        float before, after;  // "horizontal" for the first and the last identical frames
    };
    const Case cases[] = {
        {"adjusted throughout", -1.0f, -1.0f},
        {"adjusted, then passthrough", -1.0f, 1.0f},
        {"passthrough, then adjusted", 1.0f, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZanthoHarness h;
        h.SetInput("YUY2", 64, 48);
        g_object_set(h.Element(), "horizontal", c.before, nullptr);
        h.Push(Yuy2Frame(64, 48, 10));
        h.Push(Yuy2Frame(64, 48, 20));
        ASSERT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
        const Bytes same = Yuy2Frame(64, 48, 20);
        for (int i = 0; i < 4; ++i)
            h.Push(same);
        g_object_set(h.Element(), "horizontal", c.after, nullptr);
        for (int i = 0; i < 4; ++i)
            h.Push(same);
        EXPECT_TRUE(h.TakeCodes().empty());
        EXPECT_EQ(h.Received(), 9u);
        h.Push(same);
        EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureFroze});
        EXPECT_EQ(h.Received(), 9u);
        h.Push(Yuy2Frame(64, 48, 30));
        EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
        EXPECT_EQ(h.Received(), 10u);
    }
}

TEST(ZanthoSignal, MessagesCarryCodeAndEventName) {
    ZanthoHarness h;
    h.SetInput("YUY2", 16, 8);
    GstBus* bus = gst_element_get_bus(h.Element());
    h.Push(Yuy2Frame(16, 8, 10));
    h.Push(Yuy2Frame(16, 8, 20));
    GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ELEMENT);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(GST_MESSAGE_SRC(message), GST_OBJECT(h.Element()));
    const GstStructure* structure = gst_message_get_structure(message);
    EXPECT_STREQ(gst_structure_get_name(structure), "zantho");
    int code = 0;
    EXPECT_TRUE(gst_structure_get_int(structure, "code", &code));
    EXPECT_EQ(code, 0x8002);
    EXPECT_STREQ(gst_structure_get_string(structure, "event"), "live");
    gst_message_unref(message);
    gst_object_unref(bus);
}

// Motion detection on 640 x 480: 153,600 samples, so going still needs at most
// 2,400 changed samples (1/64) and moving again more than 4,800 (1/32); the
// same whether the frames pass through or are mirrored.
TEST(ZanthoSignal, MotionThresholdsWithHysteresis) {
    for (const float horizontal : {1.0f, -1.0f}) {
        SCOPED_TRACE(horizontal);
        constexpr int kWidth = 640, kHeight = 480;
        ZanthoHarness h;
        g_object_set(h.Element(), "horizontal", horizontal, nullptr);
        h.SetInput("YUY2", kWidth, kHeight);
        IZantho* zantho = h.Zantho();
        ASSERT_NE(zantho, nullptr);
        zantho->SetMotionDetect(1);

        Bytes frame = Yuy2Frame(kWidth, kHeight, 100);
        h.Push(frame);
        // Raises the first luma byte of `count` pairs not touched before by `delta`,
        // so that the frame differs from the last one in exactly those samples.
        std::size_t next_pair = 0;
        auto push_changed = [&](int count, int delta) {
            for (int i = 0; i < count; ++i, ++next_pair)
                frame[next_pair * 4] += delta;
            h.Push(frame);
            return h.TakeCodes();
        };

        struct Step {
            int changed;
            int delta;
            Codes codes;
            int still;
        };
        const Step steps[] = {
            {2400, 40, {kZanthoPictureLive, kZanthoSceneStill}, 1},
            {4800, 40, {}, 1},
            {4801, 16, {}, 1},  // a change of 16 is noise
            {4801, 17, {kZanthoMotionStarted}, 0},
            {2401, 40, {}, 0},
            {2400, 40, {kZanthoSceneStill}, 1},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.changed);
            EXPECT_EQ(push_changed(step.changed, step.delta), step.codes);
            EXPECT_EQ(zantho->IsStill(), step.still);
        }
    }
}

TEST(ZanthoSignal, MotionComparesWithTheOldestOfTheDenoiseFrames) {
    ZanthoHarness h;
    h.SetInput("YUY2", 64, 48);
    IZantho* zantho = h.Zantho();
    zantho->SetDenoise(2);
    zantho->SetMotionDetect(1);
    h.Push(Yuy2Frame(64, 48, 10));  // history: 10, 10
    h.Push(Yuy2Frame(64, 48, 60));  // against 10: moving from the start, no event
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoPictureLive});
    h.Push(Yuy2Frame(64, 48, 60));  // against 10, two frames back: still moving
    EXPECT_TRUE(h.TakeCodes().empty());
    h.Push(Yuy2Frame(64, 48, 60));  // against 60: still
    EXPECT_EQ(h.TakeCodes(), Codes{kZanthoSceneStill});
}

}  // namespace
}  // namespace kolvane::test
