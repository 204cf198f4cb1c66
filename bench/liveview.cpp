// The simulated camera's 1056 x 704 JPEG live view through
// quorrel ! zantho ! appsink, against multifilesrc ! jpegdec ! videoconvert
// ! appsink over the same JPEGs (converted to zantho's YUY2, so that both
// deliver the same frames). Prints the frame rate of both and the ratio;
// target: at least 0.9x the plain pipeline. Runs alternate, three of each,
// and the medians are compared: frames per second of wall time, and frames
// per second of the process's CPU time, which other work on a shared
// machine disturbs less.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "filters/quorrel/SimulatedCamera.h"

namespace {

// More than the simulated loop of 24 frames, which is encoded on first use.
constexpr int kWarmUpFrames = 30;
constexpr int kTimedFrames = 300;
constexpr int kRuns = bench::kRuns;
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

struct Rate {
    double wall = 0.0;  // frames per second
    double cpu = 0.0;   // frames per CPU second
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Frames per second through the pipeline's appsink "sink"; 0 on failure.
Rate MeasureFps(const std::string& description) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        std::fprintf(stderr, "%s: %s\n", description.c_str(), error->message);
        g_error_free(error);
        if (pipeline != nullptr) gst_object_unref(pipeline);
        return {};
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    Rate rate;
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
    const double startCpu = CpuSeconds();
    for (int i = 0; i < kTimedFrames && ok; ++i)
        ok = pull();
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    const double spentCpu = CpuSeconds() - startCpu;
    if (ok && spentCpu > 0) rate = {kTimedFrames / spent.count(), kTimedFrames / spentCpu};
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path plugins =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "gst-plugins";
    setenv("GST_PLUGIN_PATH", plugins.c_str(), 0);
    setenv("KOLVANE_CAMERA", "simulated", 1);
    setenv("KOLVANE_SIMULATED_CAMERA", kBody, 1);
    gst_init(&argc, &argv);
    const bench::MachineReport machine("bench_liveview");

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
    std::vector<Rate> cameraRates;
    std::vector<Rate> plainRates;
    for (int run = 0; run < kRuns; ++run) {
        plainRates.push_back(MeasureFps(plain));
        cameraRates.push_back(MeasureFps(camera));
    }
    std::filesystem::remove_all(folder);

    auto column = [](const std::vector<Rate>& rates, double Rate::*field) {
        std::vector<double> values;
        for (const Rate& rate : rates)
            values.push_back(rate.*field);
        return values;
    };
    std::printf("live view 1056 x 704 JPEG, %d frames a run, median (low-high) of %d runs\n",
                kTimedFrames, kRuns);
    std::printf("  %-48s %-22s %-22s\n", "", "fps (wall)", "fps (CPU)");
    bool failed = false;
    auto line = [&](const char* label, const std::vector<Rate>& rates) {
        const bench::Spread wall = bench::Summarise(column(rates, &Rate::wall));
        const bench::Spread cpu = bench::Summarise(column(rates, &Rate::cpu));
        std::printf("  %-48s %-22s %-22s\n", label, bench::Format(wall, "%.1f").c_str(),
                    bench::Format(cpu, "%.1f").c_str());
        failed = failed || wall.median <= 0.0;
    };
    line("quorrel ! zantho ! appsink", cameraRates);
    line("multifilesrc ! jpegdec ! videoconvert ! appsink", plainRates);
    if (failed) {
        std::printf("  a pipeline failed\n");
        return 1;
    }
    const bench::Spread wallRatio = bench::Summarise(
        bench::Ratios(column(cameraRates, &Rate::wall), column(plainRates, &Rate::wall)));
    const bench::Spread cpuRatio = bench::Summarise(
        bench::Ratios(column(cameraRates, &Rate::cpu), column(plainRates, &Rate::cpu)));
    std::printf("  ratio wall %sx, CPU %sx; target >= 0.9x (CPU): %s\n",
                bench::Format(wallRatio).c_str(), bench::Format(cpuRatio).c_str(),
                cpuRatio.median >= 0.9 ? "met" : "MISSED");
    return 0;
}
