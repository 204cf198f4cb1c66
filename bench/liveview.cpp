// The simulated camera's 1056 x 704 JPEG live view through
// quorrel ! zantho ! appsink, against multifilesrc ! jpegdec ! videoconvert
// ! appsink over the same JPEGs (converted to zantho's YUY2, so that both
// deliver the same frames). Prints the frame rate of both and the ratio;
// target: at least 0.9x the plain pipeline. Runs alternate, three of each,
// and the medians are compared.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "filters/quorrel/SimulatedCamera.h"

namespace {

constexpr int kWarmUpFrames = 10;
constexpr int kTimedFrames = 300;
constexpr int kRuns = 3;
constexpr char kBody[] = "size=1056x704,fps=0";

// The JPEGs the simulated body sends, one file per frame of its loop.
bool WriteLiveViewFrames(const std::filesystem::path& folder) {
    auto body = std::make_shared<kolvane::quorrel::CSimulatedBody>(
        kolvane::quorrel::SimulatedConfigFromText(kBody));
    kolvane::quorrel::CSimulatedCamera camera(body);
    if (camera.Open() != kolvane::quorrel::CameraStatus::kOk) return false;
    for (int i = 0; i < 24; ++i) {
        std::vector<std::uint8_t> jpeg;
        if (camera.CapturePreview(&jpeg) != kolvane::quorrel::CameraStatus::kOk) return false;
        char name[32];
        std::snprintf(name, sizeof name, "frame_%02d.jpg", i);
        std::ofstream out(folder / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(jpeg.data()),
                  static_cast<std::streamsize>(jpeg.size()));
        if (!out) return false;
    }
    return true;
}

// Frames per second through the pipeline's appsink "sink"; 0 on failure.
double MeasureFps(const std::string& description) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        std::fprintf(stderr, "%s: %s\n", description.c_str(), error->message);
        g_error_free(error);
        if (pipeline != nullptr) gst_object_unref(pipeline);
        return 0.0;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    double fps = 0.0;
    auto pull = [&] {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND);
        if (sample == nullptr) return false;
        gst_sample_unref(sample);
        return true;
    };
    bool ok = true;
    for (int i = 0; i < kWarmUpFrames && ok; ++i)
        ok = pull();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimedFrames && ok; ++i)
        ok = pull();
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    if (ok) fps = kTimedFrames / spent.count();
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return fps;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path plugins =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "gst-plugins";
    setenv("GST_PLUGIN_PATH", plugins.c_str(), 0);
    setenv("KOLVANE_CAMERA", "simulated", 1);
    setenv("KOLVANE_SIMULATED_CAMERA", kBody, 1);
    gst_init(&argc, &argv);

    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "kolvane-liveview-XXXXXX";
    std::string pattern = folder.string();
    if (mkdtemp(pattern.data()) == nullptr || !WriteLiveViewFrames(pattern)) {
        std::fprintf(stderr, "cannot write the live-view frames\n");
        return 1;
    }
    folder = pattern;

    // Zantho drops nothing here: the frames move, so the picture is live.
    const std::string camera = "quorrel ! zantho ! appsink name=sink sync=false max-buffers=4";
    const std::string plain = "multifilesrc location=\"" + (folder / "frame_%02d.jpg").string() +
                              "\" loop=true caps=image/jpeg,framerate=30/1 ! jpegdec ! "
                              "videoconvert ! video/x-raw,format=YUY2 ! "
                              "appsink name=sink sync=false max-buffers=4";
    std::vector<double> cameraFps;
    std::vector<double> plainFps;
    for (int run = 0; run < kRuns; ++run) {
        plainFps.push_back(MeasureFps(plain));
        cameraFps.push_back(MeasureFps(camera));
    }
    std::filesystem::remove_all(folder);

    const double cameraMedian = Median(cameraFps);
    const double plainMedian = Median(plainFps);
    std::printf("live view 1056 x 704 JPEG, %d frames a run, median of %d runs\n", kTimedFrames,
                kRuns);
    auto spread = [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end());
    };
    std::printf("  quorrel ! zantho ! appsink                    %7.1f fps (spread %.1f)\n",
                cameraMedian, spread(cameraFps));
    std::printf("  multifilesrc ! jpegdec ! videoconvert ! appsink %5.1f fps (spread %.1f)\n",
                plainMedian, spread(plainFps));
    if (plainMedian <= 0.0 || cameraMedian <= 0.0) {
        std::printf("  a pipeline failed\n");
        return 1;
    }
    const double ratio = cameraMedian / plainMedian;
    std::printf("  ratio %.2fx, target >= 0.9x: %s\n", ratio, ratio >= 0.9 ? "met" : "MISSED");
    return 0;
}
