#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "filters/feddick/IFeddick.h"
#include "filters/feddick/TestSignal.h"
#include "platform/GstPtr.h"

namespace kolvane {
namespace {

using namespace std::chrono_literals;

constexpr GstClockTime kPullTimeout = 10 * GST_SECOND;  // only a hang takes this long
constexpr auto kHang = 10s;

constexpr FeddickVideoFormat kSmallVideo{16, 8, 400000, false};  // 25 frames a second
constexpr FeddickAudioFormat kSmallAudio{1, 8000, 16};           // 640 bytes a frame

// feddick with an appsink (or the given branch) on each pad.
class CFeddickPipeline {
  public:
    explicit CFeddickPipeline(
        const std::string& videoBranch = "appsink name=video sync=false async=false",
        const std::string& audioBranch = "appsink name=audio sync=false async=false") {
        const std::string description =
            "feddick name=f f.video ! " + videoBranch + " f.audio ! " + audioBranch;
        GError* error = nullptr;
        pipeline_.reset(gst_parse_launch(description.c_str(), &error));
        GErrorPtr owned(error);
        if (error != nullptr) ADD_FAILURE() << error->message;
        feddick_.reset(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "f"));
        video_.reset(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "video"));
        audio_.reset(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "audio"));
    }
    ~CFeddickPipeline() { gst_element_set_state(pipeline_.get(), GST_STATE_NULL); }

    GstElement* Pipeline() { return pipeline_.get(); }
    GstElement* Element() { return feddick_.get(); }
    IFeddick& Api() { return *QueryFeddick(feddick_.get()); }

    void Configure(const FeddickVideoFormat& video = kSmallVideo,
                   const FeddickAudioFormat& audio = kSmallAudio) {
        ASSERT_EQ(Api().SetVideoFormat(video), kOk);
        ASSERT_EQ(Api().SetAudioFormat(audio), kOk);
    }
    void Play() {
        ASSERT_NE(gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING),
                  GST_STATE_CHANGE_FAILURE);
    }

    // A frame of the frame size filled by `fill(bytes, size)`.
    template <typename Fill>
    Result PutVideo(Fill fill) {
        return Api().PutVideoFrame(Filled(Api().NewVideoFrame(), fill));
    }
    template <typename Fill>
    Result PutAudio(Fill fill) {
        return Api().PutAudioFrame(Filled(Api().NewAudioFrame(), fill));
    }
    Result PutVideoByte(guint8 value) {
        return PutVideo([value](guint8* d, gsize n) { std::memset(d, value, n); });
    }
    Result PutAudioByte(guint8 value) {
        return PutAudio([value](guint8* d, gsize n) { std::memset(d, value, n); });
    }

    // The next sample of a sink, or null at end of stream.
    GstSamplePtr PullVideo() { return Pull(video_.get()); }
    GstSamplePtr PullAudio() { return Pull(audio_.get()); }
    bool VideoAtEnd() { return gst_app_sink_is_eos(GST_APP_SINK(video_.get())); }
    bool AudioAtEnd() { return gst_app_sink_is_eos(GST_APP_SINK(audio_.get())); }

    GstMessagePtr WaitForBus(GstMessageType types) {
        GstBusPtr bus(gst_element_get_bus(pipeline_.get()));
        return GstMessagePtr(gst_bus_timed_pop_filtered(bus.get(), kPullTimeout, types));
    }

  private:
    template <typename Fill>
    static GstBuffer* Filled(GstBuffer* frame, Fill fill) {
        GstMapInfo map;
        if (gst_buffer_map(frame, &map, GST_MAP_WRITE)) {
            fill(map.data, map.size);
            gst_buffer_unmap(frame, &map);
        }
        return frame;
    }
    static GstSamplePtr Pull(GstElement* sink) {
        return GstSamplePtr(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), kPullTimeout));
    }

    GstElementPtr pipeline_;
    GstElementPtr feddick_;
    GstElementPtr video_;
    GstElementPtr audio_;
};

std::vector<guint8> Bytes(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    std::vector<guint8> bytes(gst_buffer_get_size(buffer));
    gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    return bytes;
}

TEST(Feddick, IsReachedThroughItsInterfaceAndOtherElementsAreNot) {
    GstElementPtr feddick(gst_element_factory_make("feddick", nullptr));
    ASSERT_NE(feddick, nullptr) << "the build's feddick plugin is not found";
    EXPECT_NE(QueryFeddick(feddick.get()), nullptr);
    GstElementPtr other(gst_element_factory_make("fakesink", nullptr));
    EXPECT_EQ(QueryFeddick(other.get()), nullptr);
    EXPECT_EQ(QueryFeddick(nullptr), nullptr);
    EXPECT_TRUE(GST_OBJECT_FLAG_IS_SET(feddick.get(), GST_ELEMENT_FLAG_SOURCE));
}

TEST(Feddick, StampsEachPadFromItsFrameCounterIn64Bits) {
    CFeddickPipeline p;
    p.Configure();
    p.Play();
    // Three video frames, and enough sound frames to pass the 32-bit range
    // of 100 ns units (2^32 units are 429.5 s; frame 11,000 starts at 440 s).
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(p.PutVideoByte(0), kOk);
    for (int i = 0; i <= 11000; ++i)
        ASSERT_EQ(p.PutAudioByte(0), kOk);
    for (GstClockTime start : {0 * GST_MSECOND, 40 * GST_MSECOND, 80 * GST_MSECOND}) {
        GstSamplePtr sample = p.PullVideo();
        ASSERT_NE(sample, nullptr);
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        EXPECT_EQ(GST_BUFFER_PTS(buffer), start);
        EXPECT_EQ(GST_BUFFER_DURATION(buffer), 40 * GST_MSECOND);
        EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT));
    }
    GstClockTime last = GST_CLOCK_TIME_NONE;
    for (int i = 0; i <= 11000; ++i) {
        GstSamplePtr sample = p.PullAudio();
        ASSERT_NE(sample, nullptr);
        last = GST_BUFFER_PTS(gst_sample_get_buffer(sample.get()));
    }
    EXPECT_EQ(last, 440 * GST_SECOND);
}

TEST(Feddick, TakesTheFrameRateFromTheTimePerFrame) {
    struct Case {
        std::int64_t timePerFrame;
        int rate;
        GstClockTime duration;
    };
    const Case cases[] = {
        {400000, 25, 40 * GST_MSECOND},
        {333333, 30, 33333300},  // 100 ns units: the rate is 30, a frame 333,333 units
        {416666, 24, 41666600},
        {666666, 15, 66666600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timePerFrame);
        CFeddickPipeline p;
        p.Configure({16, 8, c.timePerFrame, false});
        GstCaps* caps = nullptr;
        g_object_get(p.Element(), "video-caps", &caps, nullptr);
        GstCapsPtr owned(caps);
        GstVideoInfo info;
        ASSERT_TRUE(gst_video_info_from_caps(&info, caps));
        EXPECT_EQ(GST_VIDEO_INFO_FPS_N(&info), c.rate);
        EXPECT_EQ(GST_VIDEO_INFO_FPS_D(&info), 1);
        p.Play();
        ASSERT_EQ(p.PutVideoByte(0), kOk);
        ASSERT_EQ(p.PutVideoByte(0), kOk);
        p.PullVideo();
        GstSamplePtr second = p.PullVideo();
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(GST_BUFFER_PTS(gst_sample_get_buffer(second.get())), c.duration);
        EXPECT_EQ(GST_BUFFER_DURATION(gst_sample_get_buffer(second.get())), c.duration);
    }
}

TEST(Feddick, SoundFramesHoldWholeSampleFrames) {
    struct Case {
        std::int64_t timePerFrame;  // 0: the video format is not set
        FeddickAudioFormat audio;
        std::size_t bytes;
    };
    const Case cases[] = {
        {400000, {2, 44100, 16}, 7056},
        {416666, {2, 44100, 16}, 7348},  // 7350 would be half a stereo sample
        {333333, {2, 48000, 16}, 6400},
        {416666, {1, 22050, 8}, 918},
        {0, {2, 48000, 16}, 7680},  // audio set first: the rate is still 25
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        GstElementPtr feddick(gst_element_factory_make("feddick", nullptr));
        IFeddick* api = QueryFeddick(feddick.get());
        if (c.timePerFrame != 0) {
            ASSERT_EQ(api->SetVideoFormat({16, 8, c.timePerFrame}), kOk);
        }
        ASSERT_EQ(api->SetAudioFormat(c.audio), kOk);
        EXPECT_EQ(api->AudioFrameSize(), c.bytes);
        GstBuffer* frame = api->NewAudioFrame();
        EXPECT_EQ(gst_buffer_get_size(frame), c.bytes);
        gst_buffer_unref(frame);
    }
    // A later frame rate leaves the sound frame as it was set.
    GstElementPtr feddick(gst_element_factory_make("feddick", nullptr));
    IFeddick* api = QueryFeddick(feddick.get());
    ASSERT_EQ(api->SetAudioFormat({2, 48000, 16}), kOk);
    ASSERT_EQ(api->SetVideoFormat({16, 8, 333333}), kOk);
    EXPECT_EQ(api->AudioFrameSize(), 7680u);
}

TEST(Feddick, RefusesFormatsOutOfRange) {
    GstElementPtr feddick(gst_element_factory_make("feddick", nullptr));
    IFeddick* api = QueryFeddick(feddick.get());
    const FeddickVideoFormat badVideo[] = {
        {0, 8, 400000},
        {16, -1, 400000},
        {16, 8, 0},
        {16, 8, 10000001},
        {16, 8, -400000},
        {15, 8, 400000, false, FeddickPixels::kI420},  // I420 needs even sizes
        {16, 8, 400000, true, FeddickPixels::kI420}};  // and is never bottom up
    for (const auto& format : badVideo)
        EXPECT_EQ(api->SetVideoFormat(format), kFail);
    const FeddickAudioFormat badAudio[] = {{0, 48000, 16}, {2, 48000, 24}, {2, 0, 16}};
    for (const auto& format : badAudio)
        EXPECT_EQ(api->SetAudioFormat(format), kFail);
    gboolean testSignal = FALSE;
    g_object_get(feddick.get(), "test-signal", &testSignal, nullptr);
    EXPECT_TRUE(testSignal);
}

TEST(Feddick, DeliversBottomUpFramesTopDownWithOrWithoutVideoMeta) {
    // Plain appsink takes bytes as they are; videoconvert reads a video meta.
    const std::string branches[] = {
        "appsink name=video sync=false async=false",
        "videoconvert ! video/x-raw,format=BGRx ! appsink name=video sync=false async=false"};
    for (const std::string& branch : branches) {
        for (FeddickPixels pixels : {FeddickPixels::kBgr24, FeddickPixels::kBgrx32}) {
            SCOPED_TRACE(branch + (pixels == FeddickPixels::kBgr24 ? " BGR" : " BGRx"));
            CFeddickPipeline p(branch);
            p.Configure({16, 6, 400000, true, pixels});
            p.Play();
            // Row r of memory is picture row 5 - r; each row is filled with its
            // picture row's number times 40.
            ASSERT_EQ(p.PutVideo([](guint8* d, gsize n) {
                const gsize stride = n / 6;
                for (int r = 0; r < 6; ++r)
                    std::memset(d + r * stride, (5 - r) * 40, stride);
            }),
                      kOk);
            GstSamplePtr sample = p.PullVideo();
            ASSERT_NE(sample, nullptr);
            GstVideoInfo info;
            ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())));
            GstVideoFrame frame;
            ASSERT_TRUE(gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample.get()),
                                            GST_MAP_READ));
            for (int row = 0; row < 6; ++row) {
                const auto* line =
                    static_cast<const guint8*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                    row * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
                EXPECT_EQ(line[0], row * 40) << "row " << row;
                EXPECT_EQ(line[15 * GST_VIDEO_INFO_COMP_PSTRIDE(&info, 0)], row * 40)
                    << "row " << row;
            }
            gst_video_frame_unmap(&frame);
        }
    }
}

TEST(Feddick, CarriesI420FramesAsTheyAreWithTheirColours) {
    CFeddickPipeline p;
    p.Configure({16, 8, 400000, false, FeddickPixels::kI420});
    EXPECT_EQ(p.Api().VideoFrameSize(), 16u * 8 * 3 / 2);
    p.Play();
    ASSERT_EQ(p.PutVideo([](guint8* d, gsize n) {
        for (gsize i = 0; i < n; ++i)
            d[i] = static_cast<guint8>(i);
    }),
              kOk);
    GstSamplePtr sample = p.PullVideo();
    ASSERT_NE(sample, nullptr);
    const std::vector<guint8> bytes = Bytes(sample.get());
    ASSERT_EQ(bytes.size(), 192u);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], static_cast<guint8>(i));
    GstVideoInfo info;
    ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())));
    EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_I420);
    EXPECT_TRUE(gst_video_colorimetry_matches(&info.colorimetry, GST_VIDEO_COLORIMETRY_BT601));
}

TEST(Feddick, EndsBothStreamsAfterTheFramesPut) {
    CFeddickPipeline p;
    p.Configure();
    p.Play();
    for (guint8 i = 1; i <= 3; ++i) {
        ASSERT_EQ(p.PutVideoByte(i), kOk);
        ASSERT_EQ(p.PutAudioByte(i), kOk);
    }
    ASSERT_EQ(p.Api().SendEndOfStream(), kOk);
    for (guint8 i = 1; i <= 3; ++i) {
        GstSamplePtr video = p.PullVideo();
        GstSamplePtr audio = p.PullAudio();
        ASSERT_NE(video, nullptr);
        ASSERT_NE(audio, nullptr);
        EXPECT_EQ(Bytes(video.get()), std::vector<guint8>(16 * 3 * 8, i));
        EXPECT_EQ(Bytes(audio.get()), std::vector<guint8>(640, i));
    }
    EXPECT_EQ(p.PullVideo(), nullptr);
    EXPECT_EQ(p.PullAudio(), nullptr);
    EXPECT_TRUE(p.VideoAtEnd());
    EXPECT_TRUE(p.AudioAtEnd());
    ASSERT_NE(p.WaitForBus(GST_MESSAGE_EOS), nullptr);
    EXPECT_EQ(p.PutVideoByte(9), kFail);
}

TEST(Feddick, RefusesShortFramesAndPutsOutsideAMovie) {
    CFeddickPipeline p;
    // No format yet: the test signal plays and puts are refused.
    EXPECT_EQ(p.PutVideoByte(1), kFail);
    p.Configure();
    // Not streaming yet.
    EXPECT_EQ(p.PutVideoByte(1), kFail);
    p.Play();
    EXPECT_EQ(p.Api().PutVideoFrame(gst_buffer_new_allocate(nullptr, 10, nullptr)), kFail);
    EXPECT_EQ(p.Api().PutVideoFrame(nullptr), kFail);
    // A longer buffer is cut to the frame size.
    EXPECT_EQ(p.Api().PutAudioFrame(gst_buffer_new_allocate(nullptr, 1000, nullptr)), kOk);
    GstSamplePtr audio = p.PullAudio();
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(gst_buffer_get_size(gst_sample_get_buffer(audio.get())), 640u);
    // Formats are fixed while streaming.
    EXPECT_EQ(p.Api().SetVideoFormat({32, 8, 400000}), kFail);
    EXPECT_EQ(p.Api().VideoFrameSize(), 16u * 3 * 8);
}

TEST(Feddick, AnEncoderErrorEndsTheWaitingPutsAtOnce) {
    // identity fails the third frame, as an encoder would.
    CFeddickPipeline p("identity error-after=3 ! appsink name=video sync=false async=false");
    p.Configure();
    p.Play();
    int accepted = 0;
    auto putting = std::async(std::launch::async, [&] {
        while (p.PutVideoByte(1) == kOk && accepted < 100)
            ++accepted;
    });
    ASSERT_EQ(putting.wait_for(kHang), std::future_status::ready);
    EXPECT_LE(accepted, 4);
    GstMessagePtr error = p.WaitForBus(GST_MESSAGE_ERROR);
    ASSERT_NE(error, nullptr);
    // The movie cannot be finished: the sound is refused too.
    EXPECT_EQ(p.PutAudioByte(1), kFail);
}

TEST(Feddick, StoppingThePipelineFreesAWaitingPut) {
    // A sink that is not playing keeps its first frame: the second fills the
    // slot and the third put waits.
    CFeddickPipeline p("fakesink sync=true", "fakesink sync=true");
    p.Configure();
    ASSERT_NE(gst_element_set_state(p.Pipeline(), GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    auto putting = std::async(std::launch::async, [&] {
        int accepted = 0;
        while (p.PutVideoByte(1) == kOk)
            ++accepted;
        return accepted;
    });
    EXPECT_EQ(putting.wait_for(100ms), std::future_status::timeout);
    gst_element_set_state(p.Pipeline(), GST_STATE_NULL);
    ASSERT_EQ(putting.wait_for(kHang), std::future_status::ready);
    EXPECT_EQ(putting.get(), 2);
}

TEST(Feddick, CancelEndsAWaitingPutFromAnotherThread) {
    CFeddickPipeline p("fakesink sync=true", "fakesink sync=true");
    p.Configure();
    ASSERT_NE(gst_element_set_state(p.Pipeline(), GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    auto putting = std::async(std::launch::async, [&] {
        while (p.PutVideoByte(1) == kOk) {
        }
    });
    EXPECT_EQ(putting.wait_for(100ms), std::future_status::timeout);
    p.Api().Cancel();
    EXPECT_EQ(putting.wait_for(kHang), std::future_status::ready);
    EXPECT_EQ(p.PutAudioByte(1), kFail);
}

TEST(Feddick, PlaysTheTestSignalWithoutAFormat) {
    // The signal runs free: bounded sinks keep it from filling the memory.
    CFeddickPipeline p("appsink name=video sync=false async=false max-buffers=2",
                       "appsink name=audio sync=false async=false max-buffers=2");
    p.Play();
    int beeps = 0;
    for (int n = 0; n <= 50; ++n) {
        GstSamplePtr audio = p.PullAudio();
        ASSERT_NE(audio, nullptr);
        const std::vector<guint8> bytes = Bytes(audio.get());
        ASSERT_EQ(bytes.size(), 7680u);  // 48 kHz stereo 16-bit at 25 frames a second
        const bool silent =
            std::all_of(bytes.begin(), bytes.end(), [](guint8 b) { return b == 0; });
        EXPECT_EQ(silent, n % 25 != 0) << "frame " << n;
        if (silent) continue;
        ++beeps;
        for (int i : {0, 1, 12, 1919}) {
            const auto left = static_cast<std::int16_t>(bytes[i * 4] | bytes[i * 4 + 1] << 8);
            const auto right = static_cast<std::int16_t>(bytes[i * 4 + 2] | bytes[i * 4 + 3] << 8);
            EXPECT_EQ(left, feddick::TestToneSample(i));
            EXPECT_EQ(right, left);
        }
    }
    EXPECT_EQ(beeps, 3);  // frames 0, 25 and 50
    // The picture: black with the frame number, which changes every frame.
    std::vector<guint8> previous;
    for (int n = 0; n < 3; ++n) {
        GstSamplePtr video = p.PullVideo();
        ASSERT_NE(video, nullptr);
        const std::vector<guint8> bytes = Bytes(video.get());
        ASSERT_EQ(bytes.size(), 768u * 3 * 576);
        EXPECT_EQ(bytes[0], 0);
        EXPECT_NE(std::count(bytes.begin(), bytes.end(), 0xFF), 0);
        EXPECT_NE(bytes, previous);
        previous = bytes;
    }
}

TEST(Feddick, OtherProgramsUseItsPropertiesAndActionSignals) {
    CFeddickPipeline p;
    GstCapsPtr video(
        gst_caps_from_string("video/x-raw,format=BGR,width=16,height=8,framerate=30/1"));
    GstCapsPtr audio(
        gst_caps_from_string("audio/x-raw,format=S16LE,layout=interleaved,rate=8000,channels=1"));
    g_object_set(p.Element(), "video-caps", video.get(), "audio-caps", audio.get(), nullptr);
    gboolean testSignal = TRUE;
    g_object_get(p.Element(), "test-signal", &testSignal, nullptr);
    EXPECT_FALSE(testSignal);
    p.Play();

    GstBuffer* frame = gst_buffer_new_allocate(nullptr, 16 * 3 * 8, nullptr);
    gst_buffer_memset(frame, 0, 7, 16 * 3 * 8);
    GstFlowReturn flow = GST_FLOW_ERROR;
    g_signal_emit_by_name(p.Element(), "put-video-frame", frame, &flow);
    EXPECT_EQ(flow, GST_FLOW_OK);
    gst_buffer_unref(frame);  // the signal leaves the buffer the caller's
    GstBuffer* sound = gst_buffer_new_allocate(nullptr, 8000 * 2 / 30, nullptr);
    gst_buffer_memset(sound, 0, 3, 8000 * 2 / 30);
    g_signal_emit_by_name(p.Element(), "put-audio-frame", sound, &flow);
    EXPECT_EQ(flow, GST_FLOW_OK);
    gst_buffer_unref(sound);
    g_signal_emit_by_name(p.Element(), "end-of-stream", &flow);
    EXPECT_EQ(flow, GST_FLOW_OK);

    GstSamplePtr videoSample = p.PullVideo();
    ASSERT_NE(videoSample, nullptr);
    EXPECT_EQ(Bytes(videoSample.get()), std::vector<guint8>(16 * 3 * 8, 7));
    EXPECT_EQ(GST_BUFFER_DURATION(gst_sample_get_buffer(videoSample.get())), 33333300u);
    GstSamplePtr audioSample = p.PullAudio();
    ASSERT_NE(audioSample, nullptr);
    EXPECT_EQ(Bytes(audioSample.get()), std::vector<guint8>(532, 3));  // 266 whole samples
    EXPECT_EQ(p.PullVideo(), nullptr);
    EXPECT_EQ(p.PullAudio(), nullptr);
}

}  // namespace
}  // namespace kolvane
