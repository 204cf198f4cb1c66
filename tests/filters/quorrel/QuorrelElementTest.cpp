// The quorrel element as the program and gst-launch see it: caps, frames,
// IQuorrel, the device provider. The element's simulated body is configured
// through the environment, which CTest gives each test case afresh (run the
// binary with one --gtest_filter at a time).

#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "filters/quorrel/IQuorrel.h"
#include "platform/GstPtr.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t kSmallFrameBytes = 160 * 106 * 3;

void UseSimulatedCamera(const char* body = "size=160x106,still-size=300x200") {
    ::setenv("KOLVANE_CAMERA", "simulated", 1);
    ::setenv("KOLVANE_SIMULATED_CAMERA", body, 1);
}

// The harness around a playing quorrel.
class CQuorrelHarness {
  public:
    explicit CQuorrelHarness(const char* sinkCaps = nullptr) {
        m_harness = gst_harness_new("quorrel");
        m_bus = gst_bus_new();
        gst_element_set_bus(m_harness->element, m_bus);
        if (sinkCaps != nullptr) gst_harness_set_sink_caps_str(m_harness, sinkCaps);
    }
    ~CQuorrelHarness() {
        gst_element_set_bus(m_harness->element, nullptr);
        gst_harness_teardown(m_harness);
        gst_object_unref(m_bus);
    }
    void Play() { gst_harness_play(m_harness); }
    GstBufferPtr Pull() { return GstBufferPtr(gst_harness_pull(m_harness)); }
    IQuorrel* Api() { return QueryQuorrel(m_harness->element); }
    GstElement* Element() { return m_harness->element; }
    GstCapsPtr Caps() {
        GstPad* pad = gst_element_get_static_pad(m_harness->element, "src");
        GstCapsPtr caps(gst_pad_get_current_caps(pad));
        gst_object_unref(pad);
        return caps;
    }
    bool HasWarning() {
        GstMessagePtr message(gst_bus_pop_filtered(m_bus, GST_MESSAGE_WARNING));
        return message != nullptr;
    }

  private:
    GstHarness* m_harness;
    GstBus* m_bus;
};

int CapsWidth(GstCaps* caps) {
    int width = 0;
    gst_structure_get_int(gst_caps_get_structure(caps, 0), "width", &width);
    return width;
}

bool IsBlack(GstBuffer* buffer) {
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
    bool black = true;
    for (gsize i = 0; i < map.size && black; ++i)
        black = map.data[i] == 0;
    gst_buffer_unmap(buffer, &map);
    return black;
}

TEST(QuorrelElement, RawFramesTakeTheLiveViewSizeAndMove) {
    UseSimulatedCamera();
    CQuorrelHarness harness("video/x-raw,format=BGR");
    harness.Play();
    GstBufferPtr first = harness.Pull();
    GstBufferPtr second = harness.Pull();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    GstCapsPtr caps = harness.Caps();
    ASSERT_NE(caps, nullptr);
    const GstStructure* structure = gst_caps_get_structure(caps.get(), 0);
    EXPECT_STREQ(gst_structure_get_name(structure), "video/x-raw");
    EXPECT_STREQ(gst_structure_get_string(structure, "format"), "BGR");
    EXPECT_EQ(CapsWidth(caps.get()), 160);
    // Rows of 480 bytes: a multiple of 4, so no padding.
    EXPECT_EQ(gst_buffer_get_size(first.get()), kSmallFrameBytes);
    EXPECT_FALSE(IsBlack(first.get()));
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(second.get(), &map, GST_MAP_READ));
    EXPECT_NE(gst_buffer_memcmp(first.get(), 0, map.data, map.size), 0) << "the picture moves";
    EXPECT_NEAR(map.data[2], 96, 12) << "the red of the top-left corner, in BGR order";
    gst_buffer_unmap(second.get(), &map);
    EXPECT_TRUE(GST_BUFFER_PTS_IS_VALID(second.get())) << "a live source stamps its frames";
}

TEST(QuorrelElement, Yuy2FramesDecodeStraightFromTheJpegPlanes) {
    UseSimulatedCamera();
    CQuorrelHarness harness("video/x-raw,format=YUY2");
    harness.Play();
    GstBufferPtr frame = harness.Pull();
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(gst_buffer_get_size(frame.get()), 160u * 106u * 2u);
    // The square in the middle row is near white, the left edge dark.
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(frame.get(), &map, GST_MAP_READ));
    const guint8* middleRow = map.data + 53 * 160 * 2;
    int brightest = 0;
    for (int x = 0; x < 160; ++x)
        brightest = std::max<int>(brightest, middleRow[x * 2]);
    EXPECT_GT(brightest, 200);
    EXPECT_LT(map.data[0], 80);
    gst_buffer_unmap(frame.get(), &map);
}

TEST(QuorrelElement, JpegCapsPassTheCameraPicturesOn) {
    UseSimulatedCamera();
    CQuorrelHarness harness("image/jpeg");
    harness.Play();
    GstBufferPtr frame = harness.Pull();
    ASSERT_NE(frame, nullptr);
    guint8 head[2] = {0, 0};
    gst_buffer_extract(frame.get(), 0, head, 2);
    EXPECT_EQ(head[0], 0xFF);
    EXPECT_EQ(head[1], 0xD8);
    EXPECT_EQ(CapsWidth(harness.Caps().get()), 160);
}

GstPadProbeReturn NotePushTime(GstPad*, GstPadProbeInfo*, gpointer data) {
    static_cast<std::vector<std::chrono::steady_clock::time_point>*>(data)->push_back(
        std::chrono::steady_clock::now());
    return GST_PAD_PROBE_OK;
}

TEST(QuorrelElement, WithoutACameraBlackFramesComeAtTheFramePace) {
    ::setenv("KOLVANE_CAMERA", "none", 1);
    CQuorrelHarness harness;
    // The harness's clock stands still and its queue hides when frames
    // left: the pace is read where they leave.
    std::vector<std::chrono::steady_clock::time_point> pushed;
    GstPad* pad = gst_element_get_static_pad(harness.Element(), "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, NotePushTime, &pushed, nullptr);
    harness.Play();
    for (int i = 0; i < 6; ++i) {
        GstBufferPtr frame = harness.Pull();
        ASSERT_NE(frame, nullptr);
        ASSERT_EQ(gst_buffer_get_size(frame.get()), 1056u * 704u * 2u);
        GstMapInfo map;
        ASSERT_TRUE(gst_buffer_map(frame.get(), &map, GST_MAP_READ));
        bool black = true;
        for (gsize at = 0; at < map.size && black; at += 2) {
            black = map.data[at] == 16 && map.data[at + 1] == 128;
        }
        gst_buffer_unmap(frame.get(), &map);
        EXPECT_TRUE(black);
    }
    const GstStructure* structure = gst_caps_get_structure(harness.Caps().get(), 0);
    EXPECT_STREQ(gst_structure_get_string(structure, "format"), "YUY2")
        << "the adjustment element's own format comes first";
    gst_element_set_state(harness.Element(), GST_STATE_NULL);
    gst_object_unref(pad);
    // Frames are due 40 ms apart; where they leave, a loaded machine adds
    // its own delays, so only a spin could bring five gaps under 100 ms.
    ASSERT_GE(pushed.size(), 6u);
    EXPECT_GE(pushed[5] - pushed[0], 100ms) << "a pace, not a spin";
    char name[64];
    EXPECT_EQ(harness.Api()->GetCameraName(name, sizeof name), kFail);
}

TEST(QuorrelElement, CameraOfAnotherSizeAfterAReconnectRenegotiates) {
    UseSimulatedCamera("size=160x106,unplug-after=3,replug-after=2,replug-size=200x132");
    CQuorrelHarness harness("video/x-raw,format=BGR");
    harness.Play();
    bool sawBlack = false;
    bool sawNewSize = false;
    for (int i = 0; i < 200 && !sawNewSize; ++i) {
        GstBufferPtr frame = harness.Pull();
        ASSERT_NE(frame, nullptr);
        const gsize size = gst_buffer_get_size(frame.get());
        if (size == kSmallFrameBytes) {
            sawBlack = sawBlack || IsBlack(frame.get());
        } else {
            ASSERT_EQ(size, 200u * 132u * 3u);
            sawNewSize = true;
        }
    }
    EXPECT_TRUE(sawBlack) << "black while the camera is away";
    ASSERT_TRUE(sawNewSize);
    EXPECT_EQ(CapsWidth(harness.Caps().get()), 200);
}

TEST(QuorrelElement, CameraOfAnotherSizeIsRefusedWhenDownstreamHoldsTheSize) {
    UseSimulatedCamera("size=160x106,unplug-after=2,replug-after=1,replug-size=200x132");
    CQuorrelHarness harness("video/x-raw,format=BGR,width=160,height=106");
    harness.Play();
    // Every frame keeps the negotiated size; after the reconnect they are black.
    int blackAfterReconnect = 0;
    for (int i = 0; i < 200 && blackAfterReconnect < 3; ++i) {
        GstBufferPtr frame = harness.Pull();
        ASSERT_NE(frame, nullptr);
        ASSERT_EQ(gst_buffer_get_size(frame.get()), kSmallFrameBytes);
        if (harness.HasWarning()) blackAfterReconnect = 1;
        if (blackAfterReconnect > 0 && IsBlack(frame.get())) ++blackAfterReconnect;
    }
    EXPECT_GE(blackAfterReconnect, 3) << "the refused size is told once and replaced by black";
}

TEST(QuorrelElement, InterfaceReachesTheCameraOnlyWhileStreaming) {
    UseSimulatedCamera();
    CQuorrelHarness harness;
    IQuorrel* api = harness.Api();
    ASSERT_NE(api, nullptr);
    char name[64] = "x";
    EXPECT_EQ(api->GetCameraName(name, sizeof name), kFail) << "stopped";
    EXPECT_EQ(api->SetCameraSettings(1, 72, 48, 0), kFail);
    std::atomic<int> progress{0};
    EXPECT_EQ(api->TakePicture("/tmp/never", &progress), kFail);

    harness.Play();
    ASSERT_NE(harness.Pull(), nullptr);
    ASSERT_EQ(api->GetCameraName(name, sizeof name), kOk);
    EXPECT_STREQ(name, "Canon 550D");
    EXPECT_EQ(api->SetCameraSettings(1, 80, 56, 0), kOk);
    int whiteBalance = 0;
    int iso = 0;
    int aperture = 0;
    int quality = 0;
    ASSERT_EQ(api->GetCameraSettings(&whiteBalance, &iso, &aperture, &quality), kOk);
    EXPECT_EQ(whiteBalance, 1);
    EXPECT_EQ(iso, 80);
    EXPECT_EQ(aperture, 56);
    EXPECT_EQ(quality, 0x0013FF0F);
    EXPECT_EQ(api->HalfPressShutter(true), kOk);
    EXPECT_EQ(api->HalfPressShutter(false), kOk);
    EXPECT_EQ(api->SaveCameraSettings(), kOk);
    EXPECT_EQ(api->RestoreCameraSettings(), kOk);
}

TEST(QuorrelElement, PictureIsTakenOnTheStreamingThreadBetweenFrames) {
    UseSimulatedCamera();
    CQuorrelHarness harness;
    harness.Play();
    ASSERT_NE(harness.Pull(), nullptr);
    const std::string folder = test::MakeTempDir("grab").toStdString();
    std::atomic<int> progress{0};
    IQuorrel* api = harness.Api();
    ASSERT_EQ(api->TakePicture((folder + "/walk 0001").c_str(), &progress), kOk);
    for (int i = 0; i < 500 && progress.load() != kQuorrelProgressDone; ++i) {
        ASSERT_NE(harness.Pull(), nullptr) << "live view goes on around the shot";
    }
    ASSERT_EQ(progress.load(), kQuorrelProgressDone);
    EXPECT_TRUE(fs::exists(folder + "/walk 0001.jpg"));
    int width = 0;
    int height = 0;
    ASSERT_EQ(api->GetStillSize(&width, &height), kOk);
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 200);
}

TEST(QuorrelElement, PipelineDecodesTheJpegLiveView) {
    UseSimulatedCamera();
    GError* error = nullptr;
    GstElementPtr pipeline(
        gst_parse_launch("quorrel num-buffers=5 ! jpegdec ! videoconvert ! fakesink", &error));
    GErrorPtr owned(error);
    ASSERT_EQ(error, nullptr) << error->message;
    ASSERT_NE(gst_element_set_state(pipeline.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    GstMessagePtr message(gst_bus_timed_pop_filtered(
        bus.get(), 30 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(message.get()), GST_MESSAGE_EOS);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

// The camera appears among the video sources and opens as quorrel.
TEST(QuorrelDeviceProvider, ListsTheCameraAmongVideoSources) {
    UseSimulatedCamera();
    GstObjectPtr<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    ASSERT_TRUE(gst_device_monitor_start(monitor.get()));
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    GstDevice* camera = nullptr;
    for (GList* item = devices; item != nullptr; item = item->next) {
        gchar* name = gst_device_get_display_name(GST_DEVICE(item->data));
        if (g_strcmp0(name, "Canon EOS 550D") == 0) camera = GST_DEVICE(item->data);
        g_free(name);
    }
    ASSERT_NE(camera, nullptr);
    EXPECT_TRUE(gst_device_has_classes(camera, "Video/Source"));
    GstStructure* properties = gst_device_get_properties(camera);
    EXPECT_STREQ(gst_structure_get_string(properties, "device.api"), "simulated");
    gst_structure_free(properties);
    GstElement* element = gst_device_create_element(camera, nullptr);
    ASSERT_NE(element, nullptr);
    gst_object_ref_sink(element);
    EXPECT_NE(QueryQuorrel(element), nullptr) << "the program recognises it by its interface";
    gst_object_unref(element);
    g_list_free_full(devices, gst_object_unref);
    gst_device_monitor_stop(monitor.get());
}

// While monitoring, the listing follows the camera: the element and the
// provider share the simulated body, which the element unplugs after three
// frames and finds again on its sixth attempt to reopen it.
TEST(QuorrelDeviceProvider, UnpluggedCameraLeavesTheListAndComesBack) {
    UseSimulatedCamera("size=160x106,fps=25,unplug-after=3,replug-after=5");
    GstObjectPtr<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    GstBusPtr bus(gst_device_monitor_get_bus(monitor.get()));
    ASSERT_TRUE(gst_device_monitor_start(monitor.get()));
    // Starting lists the camera; what follows are the changes.
    gst_bus_set_flushing(bus.get(), TRUE);
    gst_bus_set_flushing(bus.get(), FALSE);
    CQuorrelHarness harness("video/x-raw,format=BGR");
    harness.Play();
    std::vector<GstMessageType> changes;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (changes.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        GstBufferPtr frame = harness.Pull();  // keeps the element trying to reopen
        ASSERT_NE(frame, nullptr);
        while (GstMessage* raw = gst_bus_pop_filtered(
                   bus.get(), static_cast<GstMessageType>(GST_MESSAGE_DEVICE_ADDED |
                                                          GST_MESSAGE_DEVICE_REMOVED))) {
            GstMessagePtr message(raw);
            changes.push_back(GST_MESSAGE_TYPE(raw));
        }
    }
    gst_device_monitor_stop(monitor.get());
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], GST_MESSAGE_DEVICE_REMOVED);
    EXPECT_EQ(changes[1], GST_MESSAGE_DEVICE_ADDED);
}

TEST(QuorrelDeviceProvider, ListsNothingWithoutACamera) {
    ::setenv("KOLVANE_CAMERA", "none", 1);
    GstDeviceProvider* provider = gst_device_provider_factory_get_by_name("quorreldeviceprovider");
    ASSERT_NE(provider, nullptr);
    GList* devices = gst_device_provider_get_devices(provider);
    EXPECT_EQ(devices, nullptr);
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(provider);
}

}  // namespace
}  // namespace kolvane
