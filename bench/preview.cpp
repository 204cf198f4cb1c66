// The grabber's live view: a live 30 fps test pattern at 1280 x 720 and
// 1920 x 1080 through the capture graph (zantho, conversion for painting)
// into the grabber panel, offscreen, with an onion skin over the video.
// Prints the frames produced, shown and dropped by the view, the frames the
// source did not deliver in the window, the CPU time per displayed frame and
// the capture-to-paint latency (p50, p99), beside the same source into a
// fakesink in the same process as the baseline, and the same source through
// GStreamer's own conversion to BGRx (nothing painted) for comparison.
//
//   bench_preview [SECONDS]        (default 6 per size and side, three runs)

#include <gst/gst.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include "bench/BenchReport.h"
#include "capture/CaptureGraph.h"
#include "platform/MediaFramework.h"
#include "settings/Settings.h"
#include "ui/GrabMainPanel.h"

namespace kolvane {
namespace {

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename Condition>
bool WaitFor(Condition condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) return false;
        Wait(10);
    }
    return true;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::int64_t ClockNow() {
    GstClock* clock = gst_system_clock_obtain();
    const std::int64_t now = static_cast<std::int64_t>(gst_clock_get_time(clock));
    gst_object_unref(clock);
    return now;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t index =
        std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[index];
}

// The source alone: the same live pattern into a fakesink. With `convert`,
// GStreamer's own conversion of it to a picture a window could show, and
// nothing painted: what the plain pipeline pays before any display.
double BaselineCpuPerFrame(int width, int height, double seconds, long* frames,
                           bool convert = false) {
    char launch[512];
    std::snprintf(launch, sizeof launch,
                  "videotestsrc is-live=true pattern=smpte horizontal-speed=2 ! "
                  "video/x-raw,format=YUY2,width=%d,height=%d,framerate=30/1 ! %s"
                  "fakesink name=sink sync=false signal-handoffs=true",
                  width, height, convert ? "videoconvert ! video/x-raw,format=BGRx ! " : "");
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(launch, &error);
    if (error != nullptr || pipeline == nullptr) {
        std::fprintf(stderr, "baseline: %s\n", error != nullptr ? error->message : "no pipeline");
        return 0.0;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    static long counted = 0;
    counted = 0;
    g_signal_connect(sink, "handoff",
                     G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer) { ++counted; }),
                     nullptr);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    Wait(1000);  // warm-up
    const long startFrames = counted;
    const double startCpu = CpuSeconds();
    Wait(static_cast<int>(seconds * 1000));
    const double cpu = CpuSeconds() - startCpu;
    *frames = counted - startFrames;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return *frames > 0 ? cpu / *frames : 0.0;
}

struct ViewResult {
    long produced = 0;  // frames that reached the view's slot
    long shown = 0;
    double cpuPerFrame = 0.0;
    std::vector<double> latencyMs;
};

ViewResult RunView(int quality, int width, int height, double seconds) {
    CSettings settings(CSettings::Unstored{});
    settings.Set(VideoQuality, quality);
    settings.Set(MonitorAspect, 177);
    settings.Set(Opacity, 50);
    CCaptureGraph::Options options;
    options.devices = VideoDeviceMode::TestPattern;
    CCaptureGraph graph(settings, options);

    struct Sink final : ICommandSink {
        CGrabMainPanel* panel = nullptr;
        void SendCommand(int id) override { PostCommand(id); }
        void PostCommand(int id) override {
            QMetaObject::invokeMethod(
                panel, [this, id] { panel->OnCommand(id); }, Qt::QueuedConnection);
        }
    } sink;
    QWidget window;
    auto* panel = new CGrabMainPanel(sink, graph, settings, &window);
    sink.panel = panel;
    window.resize(1280, 720);
    panel->setGeometry(0, 0, 1280, 720);
    window.show();

    ViewResult result;
    bool measuring = false;
    std::uint64_t lastSequence = 0;
    panel->SetPaintObserver([&](const CVideoFrame& frame) {
        if (!measuring || frame.sequence == lastSequence) return;
        lastSequence = frame.sequence;
        ++result.shown;
        if (frame.capturedNs >= 0) {
            result.latencyMs.push_back((ClockNow() - frame.capturedNs) / 1e6);
        }
    });

    if (!WaitFor([&] { return graph.IsVideoPresent() && !graph.LatestFrame().IsEmpty(); }, 20000)) {
        std::fprintf(stderr, "preview: no live picture\n");
        return result;
    }
    if (graph.GetFrameRect().size() != QSize(width, height)) {
        std::fprintf(stderr, "preview: frame %dx%d, wanted %dx%d\n", graph.GetFrameRect().width(),
                     graph.GetFrameRect().height(), width, height);
    }
    // The onion skin: a picture of the frame's size with something on it.
    QImage overlay(width, height, QImage::Format_ARGB32_Premultiplied);
    overlay.fill(Qt::transparent);
    {
        QPainter painter(&overlay);
        painter.fillRect(QRect(width / 4, height / 4, width / 2, height / 2), QColor(200, 80, 40));
    }
    graph.SetOverlay(overlay);

    Wait(1000);  // warm-up
    measuring = true;
    const std::uint64_t startSequence = graph.LatestFrame().sequence;
    const double startCpu = CpuSeconds();
    Wait(static_cast<int>(seconds * 1000));
    const double cpu = CpuSeconds() - startCpu;
    measuring = false;
    result.produced = static_cast<long>(graph.LatestFrame().sequence - startSequence);
    result.cpuPerFrame = result.shown > 0 ? cpu / result.shown : 0.0;
    panel->SetPaintObserver(nullptr);
    delete panel;
    return result;
}

}  // namespace
}  // namespace kolvane

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kolvane::InitMediaFramework();
    const double seconds = argc > 1 ? std::atof(argv[1]) : 6.0;
    const bench::MachineReport machine("bench_preview");
    struct Size {
        int quality;  // of the test pattern's 640x480, 320x240, 1280x720, 1920x1080
        int width;
        int height;
    };
    std::printf(
        "preview: %.0f s a size and side, 30 fps live source; baseline: the source into "
        "fakesink; median (low-high) of %d runs\n",
        seconds, bench::kRuns);
    auto format = [](const std::vector<double>& values, const char* number) {
        return bench::Format(bench::Summarise(values), number);
    };
    for (const Size& size : {Size{3, 1280, 720}, Size{5, 1920, 1080}}) {
        std::vector<double> shown, produced, dropped, undelivered, cpu, base, converted, p50, p99;
        const long expected = static_cast<long>(seconds * 30);
        for (int run = 0; run < bench::kRuns; ++run) {
            long baselineFrames = 0;
            base.push_back(1000 * kolvane::BaselineCpuPerFrame(size.width, size.height, seconds,
                                                               &baselineFrames));
            converted.push_back(1000 * kolvane::BaselineCpuPerFrame(size.width, size.height,
                                                                    seconds, &baselineFrames,
                                                                    true));
            const kolvane::ViewResult view =
                kolvane::RunView(size.quality, size.width, size.height, seconds);
            shown.push_back(static_cast<double>(view.shown));
            produced.push_back(static_cast<double>(view.produced));
            // The view drops what reached it and was not painted; what the
            // source never delivered in the window is the source's own.
            dropped.push_back(static_cast<double>(std::max(0L, view.produced - view.shown)));
            undelivered.push_back(static_cast<double>(std::max(0L, expected - view.produced)));
            cpu.push_back(1000 * view.cpuPerFrame);
            p50.push_back(kolvane::Percentile(view.latencyMs, 0.50));
            p99.push_back(kolvane::Percentile(view.latencyMs, 0.99));
        }
        const double period = 1000.0 / 30;
        std::vector<double> periods;
        for (double p : p99)
            periods.push_back(p / period);
        std::printf(
            "%dx%d: shown %s of %s produced, dropped by the view %s; the source delivered %s "
            "frames fewer than the %ld expected in the window\n",
            size.width, size.height, format(shown, "%.0f").c_str(),
            format(produced, "%.0f").c_str(), format(dropped, "%.0f").c_str(),
            format(undelivered, "%.0f").c_str(), expected);
        std::printf("%dx%d: cpu/frame %s ms vs baseline %s ms, ratio %s (target <= 2)\n",
                    size.width, size.height, format(cpu, "%.2f").c_str(),
                    format(base, "%.2f").c_str(), format(bench::Ratios(cpu, base), "%.2f").c_str());
        std::printf(
            "%dx%d: the source through videoconvert to BGRx, nothing painted: %s ms, %s times "
            "the baseline\n",
            size.width, size.height, format(converted, "%.2f").c_str(),
            format(bench::Ratios(converted, base), "%.2f").c_str());
        std::printf("%dx%d: latency p50 %s ms, p99 %s ms = %s frame periods (target < 2)\n",
                    size.width, size.height, format(p50, "%.1f").c_str(),
                    format(p99, "%.1f").c_str(), format(periods, "%.2f").c_str());
    }
    return 0;
}
