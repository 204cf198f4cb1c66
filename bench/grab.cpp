// From the key press to the picture on disk and its cells on the sheet: Grab
// on the test pattern at 1280 x 720 and 1920 x 1080 with denoise 1, against
// the bare PNG encode of the same frames by the plain GStreamer pipeline
// (appsrc ! pngenc ! appsink at the grab's level; the baseline, same run).
// Our own encode alone is printed beside it. Then a burst of ten grabs at
// key-repeat speed. Each size runs bench::kRuns times; figures are the median
// and spread of the runs.
//   bench_grab [GRABS]          (default 100: with fewer, "p99" is the slowest)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include "bench/BenchReport.h"
#include "capture/FramePng.h"
#include "capture/Grabber.h"
#include "capture/HeadlessCapture.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "platform/MediaFramework.h"

namespace kolvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrameRate = 25;
constexpr double kFramePeriod = 1000.0 / kFrameRate;
// zlib's fastest level, the nearest to the grab's own.
constexpr int kBaselineZlibLevel = 1;
constexpr int kBurst = 10;
constexpr auto kKeyRepeat = std::chrono::milliseconds(33);

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

double QtPngBytes(const CGrabbedFrame& frame, double* ms) {
    const QImage image = FrameImage(frame);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const auto start = Clock::now();
    QImageWriter writer(&buffer, "PNG");
    writer.write(image);
    *ms = Ms(Clock::now() - start);
    return static_cast<double>(bytes.size());
}

// GStreamer's own PNG encoder, a frame at a time: the time from pushing an
// RGB frame to pulling its PNG.
class PngencPipeline {
  public:
    PngencPipeline(QSize size, int level) {
        const QByteArray description =
            QStringLiteral(
                "appsrc name=src format=time ! video/x-raw,format=RGB,width=%1,"
                "height=%2,framerate=0/1 ! pngenc compression-level=%3 ! appsink "
                "name=sink sync=false")
                .arg(size.width())
                .arg(size.height())
                .arg(level)
                .toUtf8();
        GError* error = nullptr;
        pipeline_ = gst_parse_launch(description.constData(), &error);
        if (error != nullptr) {
            std::printf("pngenc pipeline: %s\n", error->message);
            g_error_free(error);
        }
        if (pipeline_ == nullptr) return;
        src_ = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
        sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    }
    ~PngencPipeline() {
        if (pipeline_ == nullptr) return;
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(src_);
        gst_object_unref(sink_);
        gst_object_unref(pipeline_);
    }
    PngencPipeline(const PngencPipeline&) = delete;
    PngencPipeline& operator=(const PngencPipeline&) = delete;

    // Milliseconds, and the file's size in `bytes`; negative on failure.
    double Encode(const CGrabbedFrame& frame, double* bytes) {
        if (src_ == nullptr || sink_ == nullptr) return -1.0;
        QImage rgb = FrameImage(frame).convertToFormat(QImage::Format_RGB888);
        const gsize size = static_cast<gsize>(rgb.sizeInBytes());
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
        gst_buffer_fill(buffer, 0, rgb.constBits(), size);
        GST_BUFFER_PTS(buffer) = pts_;
        pts_ += GST_SECOND / 25;
        const auto start = Clock::now();
        if (gst_app_src_push_buffer(GST_APP_SRC(src_), buffer) != GST_FLOW_OK) return -1.0;
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 10 * GST_SECOND);
        const double ms = Ms(Clock::now() - start);
        if (sample == nullptr) return -1.0;
        *bytes = static_cast<double>(gst_buffer_get_size(gst_sample_get_buffer(sample)));
        gst_sample_unref(sample);
        return ms;
    }

  private:
    GstElement* pipeline_ = nullptr;
    GstElement* src_ = nullptr;
    GstElement* sink_ = nullptr;
    GstClockTime pts_ = 0;
};

// One run at one size.
struct Run {
    QSize frame;
    double encode = 0.0;     // p50 of the bare encode by pngenc (the baseline)
    double ownEncode = 0.0;  // p50 of our own encode alone
    double pngencBytes = 0.0;
    double p50 = 0.0;
    double p99 = 0.0;
    double write = 0.0;    // p50: encode, write, sync, rename
    double decode = 0.0;   // p50: the PNG read back (what a grab no longer does)
    double texture = 0.0;  // p50: the texture made from the frame instead
    double pngBytes = 0.0;
    double level6Bytes = 0.0;  // pngenc at zlib's usual level
    double qtBytes = 0.0;
    double qtMs = 0.0;
    int burstPlaced = 0;
    double burstOver = 0.0;  // the slowest burst grab beyond p50
    double burstWait = 0.0;  // the longest a press waited for the grabs before it
    bool ok = false;
};

Run RunOnce(int quality, int grabs) {
    Run run;
    CEngine engine(CEngine::Headless{.workingRoot = {},
                                     .documents = {},
                                     .loadImage = {},
                                     .videoDevices = VideoDeviceMode::TestPattern});
    engine.settings.Set(VideoQuality, quality);
    engine.settings.Set(Denoise, 1);
    engine.settings.Set(FrameRate, kFrameRate);
    engine.settings.Set(GrabSound, 0);
    engine.display.CreateDevice(QSize(1280, 720));
    CAnim grabLevel(engine.media);
    CHeadlessCapture capture(engine.capture);
    if (capture.Start() != kOk) {
        std::printf("the test pattern did not start\n");
        return run;
    }
    capture.Graph().ApplyDenoise();
    CGrabber grabber(engine.GrabberLinks(grabLevel));
    run.frame = capture.Graph().GetFrameRect().size();

    // The baseline: the encode alone, on frames of the same source, by
    // GStreamer's encoder and by ours, alternately.
    PngencPipeline pngenc(run.frame, kBaselineZlibLevel);
    PngencPipeline pngenc6(run.frame, 6);
    std::vector<double> encode, ownEncode;
    double pngBytes = 0.0;
    double pngencBytes = 0.0;
    for (int i = 0; i < grabs; ++i) {
        capture.RunUntil([] { return false; }, std::chrono::milliseconds(40));
        const CGrabbedFrame frame = capture.Graph().GrabFrame();
        double bytes = 0.0;
        const double ms = pngenc.Encode(frame, &bytes);
        if (ms < 0.0) {
            std::printf("pngenc failed\n");
            return run;
        }
        encode.push_back(ms);
        pngencBytes += bytes;
        const auto start = Clock::now();
        const QByteArray png = EncodeFramePng(frame);
        ownEncode.push_back(Ms(Clock::now() - start));
        pngBytes += static_cast<double>(png.size());
        if (i == 0) {
            pngenc6.Encode(frame, &run.level6Bytes);
            run.qtBytes = QtPngBytes(frame, &run.qtMs);
        }
    }
    run.encode = Percentile(encode, 0.5);
    run.ownEncode = Percentile(ownEncode, 0.5);
    run.pngBytes = pngBytes / grabs;
    run.pngencBytes = pngencBytes / grabs;

    // Where a grab's time goes.
    std::vector<double> write, decode, texture;
    for (int i = 0; i < std::min(grabs, 10); ++i) {
        const CGrabbedFrame frame = capture.Graph().GrabFrame();
        const QString path = engine.storage.GetGrabFolder() + QStringLiteral("probe.png");
        auto start = Clock::now();
        WriteFramePng(frame, path);
        write.push_back(Ms(Clock::now() - start));
        start = Clock::now();
        const QImage back(path);
        decode.push_back(Ms(Clock::now() - start));
        start = Clock::now();
        const DecodedImage made = engine.display.MakeTexture(FrameImage(frame));
        texture.push_back(Ms(Clock::now() - start));
        QFile::remove(path);
    }
    run.write = Percentile(write, 0.5);
    run.decode = Percentile(decode, 0.5);
    run.texture = Percentile(texture, 0.5);

    std::vector<double> total;
    for (int i = 0; i < grabs; ++i) {
        // Frames keep arriving between key presses, as in the program.
        capture.RunUntil([] { return false; }, std::chrono::milliseconds(60));
        const auto start = Clock::now();
        if (grabber.Grab() != kOk) {
            std::printf("grab %d failed\n", i + 1);
            return run;
        }
        total.push_back(Ms(Clock::now() - start));
    }
    run.p50 = Percentile(total, 0.5);
    run.p99 = Percentile(total, 0.99);

    // Burst: presses at key-repeat pace, handled one after the other as the
    // event loop delivers them.
    const int before = engine.sheet.FrameCount();
    const auto burstStart = Clock::now();
    for (int i = 0; i < kBurst; ++i) {
        const auto pressed = burstStart + kKeyRepeat * i;
        capture.RunUntil([&] { return Clock::now() >= pressed; }, std::chrono::seconds(5));
        const auto start = Clock::now();
        run.burstWait = std::max(run.burstWait, Ms(start - pressed));
        if (grabber.Grab() != kOk) {
            std::printf("burst grab %d failed\n", i + 1);
            return run;
        }
        run.burstOver = std::max(run.burstOver, Ms(Clock::now() - start) - run.p50);
    }
    run.burstPlaced = (engine.sheet.FrameCount() - before) / engine.settings.Get(DefTiming);
    run.ok = true;
    return run;
}

template <typename Field>
bench::Spread Of(const std::vector<Run>& runs, Field field) {
    std::vector<double> values;
    for (const Run& run : runs)
        values.push_back(field(run));
    return bench::Summarise(values);
}

int RunSize(int quality, int grabs) {
    std::vector<Run> runs;
    for (int i = 0; i < bench::kRuns; ++i) {
        Run run = RunOnce(quality, grabs);
        if (!run.ok) return 1;
        std::printf(
            "  run %d: %dx%d grab p50 %.1f p99 %.1f ms, pngenc p50 %.1f ms, own encode p50 "
            "%.1f ms\n",
            i + 1, run.frame.width(), run.frame.height(), run.p50, run.p99, run.encode,
            run.ownEncode);
        std::fflush(stdout);
        runs.push_back(run);
    }
    const Run& first = runs.front();
    const int w = first.frame.width();
    const int h = first.frame.height();
    auto ms = [&](auto field) { return bench::Format(Of(runs, field), "%.1f"); };
    std::printf("%dx%d, %d runs of %d grabs, denoise 1 at %d fps, ISA-L level %d:\n", w, h,
                bench::kRuns, grabs, kFrameRate, kGrabPngLevel);
    std::printf("  PNG encode alone p50  %s ms (the baseline: pngenc, zlib level %d)\n",
                ms([](const Run& r) { return r.encode; }).c_str(), kBaselineZlibLevel);
    std::printf("  own encode alone p50  %s ms\n",
                ms([](const Run& r) { return r.ownEncode; }).c_str());
    std::printf("  grab p50              %s ms\n", ms([](const Run& r) { return r.p50; }).c_str());
    std::printf("  grab p99              %s ms\n", ms([](const Run& r) { return r.p99; }).c_str());
    const bench::Spread ratio =
        Of(runs, [](const Run& r) { return r.p99 / (1.5 * r.encode + kFramePeriod); });
    std::printf("  p99 / (1.5 x encode + %.0f ms)  %s: %s\n", kFramePeriod,
                bench::Format(ratio).c_str(), ratio.median <= 1.0 ? "met" : "NOT MET");
    const bench::Spread ownRatio =
        Of(runs, [](const Run& r) { return r.p99 / (1.5 * r.ownEncode + kFramePeriod); });
    std::printf("  the same against our own encode alone  %s\n", bench::Format(ownRatio).c_str());
    std::printf("  grab p50 beyond the wait and the own encode  %s ms\n",
                ms([](const Run& r) { return r.p50 - kFramePeriod - r.ownEncode; }).c_str());
    std::printf(
        "  in a grab: write (encode, sync, rename) p50 %s ms; texture from the frame %s ms "
        "instead of the PNG decode %s ms\n",
        ms([](const Run& r) { return r.write; }).c_str(),
        ms([](const Run& r) { return r.texture; }).c_str(),
        ms([](const Run& r) { return r.decode; }).c_str());
    std::printf(
        "  PNG size: ours %.0f kB; pngenc level %d %.0f kB, level 6 %.0f kB (ours %+.0f %%); "
        "Qt's writer %.0f kB in %.1f ms\n",
        first.pngBytes / 1024.0, kBaselineZlibLevel, first.pngencBytes / 1024.0,
        first.level6Bytes / 1024.0,
        100.0 * (first.pngBytes - first.level6Bytes) / first.level6Bytes, first.qtBytes / 1024.0,
        first.qtMs);
    const bool allPlaced =
        std::all_of(runs.begin(), runs.end(), [](const Run& r) { return r.burstPlaced == kBurst; });
    const bench::Spread over = Of(runs, [](const Run& r) { return r.burstOver; });
    const bench::Spread encode = Of(runs, [](const Run& r) { return r.encode; });
    std::printf(
        "  burst of %d presses %lld ms apart: %s placed; slowest grab over p50 %s ms "
        "(one encode %.1f ms): %s\n",
        kBurst, static_cast<long long>(kKeyRepeat.count()), allPlaced ? "all" : "NOT ALL",
        bench::Format(over, "%.1f").c_str(), encode.median,
        allPlaced && over.median <= encode.median ? "ok" : "LATE");
    std::printf("  burst: longest a press waited for the grabs before it %s ms\n",
                ms([](const Run& r) { return r.burstWait; }).c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace
}  // namespace kolvane

int main(int argc, char** argv) {
    qputenv("KOLVANE_VIDEO_DEVICES", "test");
    qputenv("KOLVANE_AUDIO_SINK", "fakesink");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    kolvane::InitMediaFramework();
    const int grabs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 100;
    const bench::MachineReport machine("bench_grab");
    int failed = 0;
    for (int quality : {3, 5})
        failed |= kolvane::RunSize(quality, grabs);
    return failed;
}
