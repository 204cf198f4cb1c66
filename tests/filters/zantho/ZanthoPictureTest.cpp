// What the zantho element does to the picture, and the frames it hands out.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "filters/zantho/ZanthoPixels.h"
#include "tests/filters/zantho/ZanthoHarness.h"

namespace kolvane::test {
namespace {

// Pushes a white frame and then `frame`, so that `frame` is the first one
// shown, and returns the output.
Bytes ShowFrame(ZanthoHarness& h, const Bytes& frame) {
    Bytes primer(frame.size(), 255);
    EXPECT_EQ(h.Push(primer), GST_FLOW_OK);
    EXPECT_EQ(h.Push(frame), GST_FLOW_OK);
    return h.Pull();
}

// 4 x 2 YUY2: two pairs per row, every byte distinct.
const Bytes kFourByTwo = {10, 20, 30, 40, 50, 60, 70, 80,  //
                          11, 21, 31, 41, 51, 61, 71, 81};

TEST(ZanthoPicture, OrientationFollowsHorizontalAndVertical) {
    struct Case {
        float horizontal;
        float vertical;
        Bytes expected;
    };
    const Case cases[] = {
        {1.0f, 1.0f, kFourByTwo},
        {-1.0f, 1.0f, {70, 60, 50, 80, 30, 20, 10, 40, 71, 61, 51, 81, 31, 21, 11, 41}},
        {0.5f, 1.0f, {70, 60, 50, 80, 30, 20, 10, 40, 71, 61, 51, 81, 31, 21, 11, 41}},
        {1.0f, -1.0f, {11, 21, 31, 41, 51, 61, 71, 81, 10, 20, 30, 40, 50, 60, 70, 80}},
        {1.0f, 0.5f, kFourByTwo},
        {-1.0f, -1.0f, {71, 61, 51, 81, 31, 21, 11, 41, 70, 60, 50, 80, 30, 20, 10, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.horizontal << " " << c.vertical);
        ZanthoHarness h;
        h.SetInput("YUY2", 4, 2);
        g_object_set(h.Element(), "horizontal", c.horizontal, "vertical", c.vertical, nullptr);
        EXPECT_EQ(ShowFrame(h, kFourByTwo), c.expected);
    }
}

TEST(ZanthoPicture, LevelsReachTheOutput) {
    struct Case {
        float whiteness, brightness, contrast, color;
        Bytes expected;  // for the pair Y0 U Y1 V = 0 64 2 200
    };
    const Case cases[] = {
        {127.0f, 0.0f, 1.0f, 1.0f, {0, 64, 255, 200}},
        {0.0f, -100.0f, 0.0f, 1.0f, {0, 128, 0, 128}},
        {0.0f, 0.0f, 1.0f, 0.0f, {0, 128, 2, 128}},
        {0.0f, 50.0f, 2.0f, 1.0f, {34, 0, 38, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.whiteness << " " << c.brightness << " " << c.contrast << " " << c.color);
        ZanthoHarness h;
        h.SetInput("YUY2", 2, 1);
        g_object_set(h.Element(), "whiteness", c.whiteness, "brightness", c.brightness, "contrast",
                     c.contrast, "color", c.color, nullptr);
        EXPECT_EQ(ShowFrame(h, Bytes{0, 64, 2, 200}), c.expected);
    }
}

TEST(ZanthoPicture, SettingsChangeWhileStreaming) {
    ZanthoHarness h;
    h.SetInput("YUY2", 4, 2);
    EXPECT_EQ(ShowFrame(h, kFourByTwo), kFourByTwo) << "neutral settings pass frames unchanged";
    IZantho* zantho = h.Zantho();
    zantho->SetHorizontal(-1.0f);
    zantho->SetColor(0.0f);
    Bytes next = kFourByTwo;
    next[0] = 12;
    h.Push(next);
    EXPECT_EQ(h.Pull(), (Bytes{70, 128, 50, 128, 30, 128, 12, 128,  //
                               71, 128, 51, 128, 31, 128, 11, 128}));
    zantho->SetHorizontal(1.0f);
    zantho->SetColor(1.0f);
    h.Push(kFourByTwo);
    EXPECT_EQ(h.Pull(), kFourByTwo);
}

// BGR with a width that is no multiple of 4 has padded rows; an odd width
// also ends in half a pair.
TEST(ZanthoPicture, RgbInputKeepsItsPaddedRows) {
    for (int width : {5, 6}) {
        SCOPED_TRACE(width);
        ZanthoHarness h;
        h.SetInput("BGR", width, 2);
        ASSERT_EQ(h.Stride(), (width * 3 + 3) / 4 * 4);
        Bytes frame(h.FrameSize(), 0xEE);  // padding stays 0xEE
        const std::uint8_t pixels[][3] = {{0, 0, 255}, {255, 255, 255}, {0, 255, 0},
                                          {255, 0, 0}, {0, 0, 0},       {0, 0, 255}};
        for (int row = 0; row < 2; ++row) {
            for (int x = 0; x < width; ++x) {
                for (int k = 0; k < 3; ++k) {
                    frame[static_cast<std::size_t>(row * h.Stride() + x * 3 + k)] =
                        pixels[(x + row) % 6][k];
                }
            }
        }
        h.Push(Bytes(h.FrameSize(), 0x30));
        h.Push(frame);
        const Bytes out = h.Pull();
        const std::size_t yuy2Stride = static_cast<std::size_t>(zantho::Yuy2RowBytes(width));
        ASSERT_EQ(out.size(), yuy2Stride * 2);
        // Row 0: red+white, green+blue, black+(red or padding repeat).
        EXPECT_EQ(out[0], 82);
        EXPECT_EQ(out[1], 90);
        EXPECT_EQ(out[2], 235);
        EXPECT_EQ(out[3], 240);
        EXPECT_EQ(out[4], 144);
        EXPECT_EQ(out[5], 54);
        EXPECT_EQ(out[6], 41);
        EXPECT_EQ(out[7], 34);
        EXPECT_EQ(out[8], 16);
        EXPECT_EQ(out[10], width == 6 ? 82 : 16) << "an odd width repeats its last pixel";
        // Row 1 starts with white: it was read from its own padded row.
        EXPECT_EQ(out[yuy2Stride], 235);

        // Unadjusted RGB with one frame: the exact input pixels come back,
        // packed, and mirrored on request.
        IZantho* zantho = h.Zantho();
        Bytes grabbed(static_cast<std::size_t>(width) * 2 * 3, 0);
        ZanthoFrameSize size;
        ASSERT_EQ(zantho->GetFrame(grabbed.data(), grabbed.size(), &size), kOk);
        EXPECT_EQ(size.width, width);
        EXPECT_EQ(size.height, 2);
        for (int row = 0; row < 2; ++row) {
            EXPECT_TRUE(std::equal(grabbed.begin() + row * width * 3,
                                   grabbed.begin() + (row + 1) * width * 3,
                                   frame.begin() + row * h.Stride()));
        }
        zantho->SetHorizontal(-1.0f);
        zantho->SetVertical(-1.0f);
        ASSERT_EQ(zantho->GetFrame(grabbed.data(), grabbed.size(), &size), kOk);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(grabbed[static_cast<std::size_t>(k)],
                      frame[static_cast<std::size_t>(h.Stride() + (width - 1) * 3 + k)]);
        }
    }
}

TEST(ZanthoPicture, GetFrameAveragesTheDenoiseFramesIntoRgb) {
    ZanthoHarness h;
    h.SetInput("YUY2", 2, 2);
    IZantho* zantho = h.Zantho();
    ASSERT_EQ(zantho->SetDenoise(2), kOk);
    // White (235 128 235 128) and pure red (82 90 82 240): their mean is
    // 158 109 158 184, which converts to B 127, G 127, R 255.
    h.Push(Bytes{235, 128, 235, 128, 235, 128, 235, 128, 235, 128, 235, 128, 235, 128, 235, 128});
    h.Push(Bytes{82, 90, 82, 240, 82, 90, 82, 240, 82, 90, 82, 240, 82, 90, 82, 240});
    Bytes rgb(2 * 2 * 3, 0);
    ASSERT_EQ(zantho->GetFrame(rgb.data(), rgb.size(), nullptr), kOk);
    EXPECT_EQ(rgb, (Bytes{127, 127, 255, 127, 127, 255, 127, 127, 255, 127, 127, 255}));
}

TEST(ZanthoPicture, DenoiseWhileStreamingRebuildsFromTheNextFrame) {
    ZanthoHarness h;
    h.SetInput("YUY2", 2, 1);
    h.Push(Bytes{16, 128, 16, 128});
    h.Push(Bytes{235, 128, 235, 128});
    IZantho* zantho = h.Zantho();
    ASSERT_EQ(zantho->SetDenoise(16), kOk);
    h.Push(Bytes{82, 90, 82, 240});  // sixteen copies of red
    Bytes rgb(6, 0);
    ASSERT_EQ(zantho->GetFrame(rgb.data(), rgb.size(), nullptr), kOk);
    EXPECT_EQ(rgb, (Bytes{0, 1, 255, 0, 1, 255}));
    h.Push(Bytes{16, 128, 16, 128});  // one black among sixteen: 77 92 77 233
    ASSERT_EQ(zantho->GetFrame(rgb.data(), rgb.size(), nullptr), kOk);
    EXPECT_EQ(rgb, (Bytes{0, 0, 239, 0, 0, 239}));
}

TEST(ZanthoPicture, DenoiseOutsideOneToSixteenIsRefused) {
    ZanthoHarness h;
    IZantho* zantho = h.Zantho();
    ASSERT_EQ(zantho->SetDenoise(8), kOk);
    for (int frames : {0, -1, 17, 1000}) {
        EXPECT_EQ(zantho->SetDenoise(frames), kFail) << frames;
    }
    int denoise = 0;
    g_object_get(h.Element(), "denoise", &denoise, nullptr);
    EXPECT_EQ(denoise, 8);
}

TEST(ZanthoPicture, WhitenessBeyondTheDivisorIsClamped) {
    for (float whiteness : {127.5f, 128.0f, 500.0f}) {
        SCOPED_TRACE(whiteness);
        ZanthoHarness h;
        h.SetInput("YUY2", 2, 1);
        h.Zantho()->SetWhiteness(whiteness);
        float stored = 0.0f;
        g_object_get(h.Element(), "whiteness", &stored, nullptr);
        EXPECT_EQ(stored, 127.0f);
        EXPECT_EQ(ShowFrame(h, Bytes{0, 64, 2, 200}), (Bytes{0, 64, 255, 200}));
    }
}

TEST(ZanthoPicture, GetFrameWritesNothingItCannotFit) {
    ZanthoHarness h;
    IZantho* zantho = h.Zantho();
    Bytes buffer(4 * 2 * 3, 0x5A);
    ZanthoFrameSize size{7, 7};
    EXPECT_EQ(zantho->GetFrame(buffer.data(), buffer.size(), &size), kFail)
        << "no frame has arrived";
    EXPECT_TRUE(size.IsEmpty());
    EXPECT_EQ(zantho->GetFrame(nullptr, 0, nullptr), kFail);

    h.SetInput("YUY2", 4, 2);
    ASSERT_EQ(zantho->GetFrameSize(&size), kOk);
    EXPECT_EQ(size.width, 4);
    EXPECT_EQ(size.height, 2);
    h.Push(kFourByTwo);
    EXPECT_EQ(zantho->GetFrame(buffer.data(), buffer.size(), &size), kOk);

    // The source grows between the caller's size query and its grab.
    h.SetInput("YUY2", 6, 4);
    h.Push(Yuy2Frame(6, 4, 100));
    Bytes guarded(buffer.size() + 16, 0x5A);
    EXPECT_EQ(zantho->GetFrame(guarded.data(), buffer.size(), &size), kFail);
    EXPECT_EQ(size.width, 6);
    EXPECT_EQ(size.height, 4);
    EXPECT_EQ(guarded, Bytes(buffer.size() + 16, 0x5A));
}

// Without denoising the element keeps the input frame itself rather than a
// copy; when the stream stops, the grab must still find that frame.
TEST(ZanthoPicture, GetFrameStillHasTheLastFrameAfterTheStreamStops) {
    struct Case {
        const char* format;
        float contrast;
    };
    for (const Case c : {Case{"YUY2", 1.0f}, Case{"BGR", 1.0f}, Case{"BGR", 1.4f}}) {
        SCOPED_TRACE(testing::Message() << c.format << " contrast " << c.contrast);
        ZanthoHarness h;
        g_object_set(h.Element(), "horizontal", -1.0f, "contrast", c.contrast, nullptr);
        h.SetInput(c.format, 5, 3);
        Bytes frame(h.FrameSize());
        for (std::size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>(i * 37 + 11);
        ASSERT_FALSE(ShowFrame(h, frame).empty());
        IZantho* zantho = h.Zantho();
        Bytes before(5 * 3 * 3, 0), after(5 * 3 * 3, 0);
        ASSERT_EQ(zantho->GetFrame(before.data(), before.size(), nullptr), kOk);
        gst_element_set_state(h.Element(), GST_STATE_NULL);
        ASSERT_EQ(zantho->GetFrame(after.data(), after.size(), nullptr), kOk);
        EXPECT_EQ(after, before);
        EXPECT_NE(after, Bytes(after.size(), 0));
    }
}

TEST(ZanthoPicture, GetFrameActionGivesABgrSample) {
    ZanthoHarness h;
    h.SetInput("YUY2", 2, 1);
    GstSample* none = nullptr;
    g_signal_emit_by_name(h.Element(), "get-frame", &none);
    EXPECT_EQ(none, nullptr);

    h.Push(Bytes{82, 90, 82, 240});
    GstSample* sample = nullptr;
    g_signal_emit_by_name(h.Element(), "get-frame", &sample);
    ASSERT_NE(sample, nullptr);
    GstVideoInfo info;
    ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample)));
    EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_BGR);
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 2);
    EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), 1);
    Bytes pixels(6);
    gst_buffer_extract(gst_sample_get_buffer(sample), 0, pixels.data(), pixels.size());
    EXPECT_EQ(pixels, (Bytes{0, 1, 255, 0, 1, 255}));
    gst_sample_unref(sample);
}

TEST(ZanthoPicture, OnlyYuy2AndRgbAreAccepted) {
    ZanthoHarness h;
    h.SetInput("I420", 4, 2);
    EXPECT_EQ(h.Push(Bytes(12, 0)), GST_FLOW_NOT_NEGOTIATED);
}

TEST(ZanthoPicture, ReconnectOutputRenegotiatesALinkedOutput) {
    ZanthoHarness h;
    h.SetInput("YUY2", 4, 2);
    ShowFrame(h, kFourByTwo);
    EXPECT_EQ(h.Zantho()->ReconnectOutput(), kOk);
    h.Push(kFourByTwo);
    EXPECT_EQ(h.Received(), 2u);
}

// The grabber changes settings and grabs from its own thread while frames
// stream; the lock keeps every frame and grab whole.
TEST(ZanthoPicture, SettingsAndGrabsFromAnotherThread) {
    constexpr int kWidth = 64, kHeight = 48;
    ZanthoHarness h;
    h.SetInput("YUY2", kWidth, kHeight);
    IZantho* zantho = h.Zantho();
    std::atomic<bool> done{false};
    std::thread grabber([&] {
        Bytes rgb(kWidth * kHeight * 3);
        for (int i = 0; !done; ++i) {
            zantho->SetDenoise(1 << (i % 5));
            zantho->SetHorizontal(i % 2 != 0 ? -1.0f : 1.0f);
            zantho->SetVertical(i % 3 != 0 ? -1.0f : 1.0f);
            zantho->SetContrast(i % 4 != 0 ? 1.5f : 1.0f);
            zantho->SetMotionDetect(i % 2);
            zantho->GetFrame(rgb.data(), rgb.size(), nullptr);
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(h.Push(Yuy2Frame(kWidth, kHeight, static_cast<std::uint8_t>(i))), GST_FLOW_OK);
        h.Pull();
    }
    done = true;
    grabber.join();
    EXPECT_GT(h.Received(), 0u);
}

}  // namespace
}  // namespace kolvane::test
