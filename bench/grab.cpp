// From the key press to the picture on disk and its cells on the sheet: Grab
// on the test pattern at 1280 x 720 and 1920 x 1080 with denoise 1, against
// the bare PNG encode of the same frames (the baseline, same run). Then a
// burst of ten grabs at key-repeat speed. Each size runs bench::kRuns times;
// figures are the median and spread of the runs.
//   bench_grab [GRABS]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

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

// One run at one size.
struct Run {
    QSize frame;
    double encode = 0.0;  // p50 of the bare encode
    double p50 = 0.0;
    double p99 = 0.0;
    double write = 0.0;    // p50: encode, write, sync, rename
    double decode = 0.0;   // p50: the PNG read back (what a grab no longer does)
    double texture = 0.0;  // p50: the texture made from the frame instead
    double pngBytes = 0.0;
    double level6Bytes = 0.0;
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

    // The baseline: the encode alone, on frames of the same source.
    std::vector<double> encode;
    double pngBytes = 0.0;
    for (int i = 0; i < grabs; ++i) {
        capture.RunUntil([] { return false; }, std::chrono::milliseconds(40));
        const CGrabbedFrame frame = capture.Graph().GrabFrame();
        const auto start = Clock::now();
        const QByteArray png = EncodeFramePng(frame);
        encode.push_back(Ms(Clock::now() - start));
        pngBytes += static_cast<double>(png.size());
        if (i == 0) {
            run.level6Bytes = static_cast<double>(EncodeFramePng(frame, 6).size());
            run.qtBytes = QtPngBytes(frame, &run.qtMs);
        }
    }
    run.encode = Percentile(encode, 0.5);
    run.pngBytes = pngBytes / grabs;

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
        std::printf("  run %d: %dx%d grab p50 %.1f p99 %.1f ms, encode p50 %.1f ms\n", i + 1,
                    run.frame.width(), run.frame.height(), run.p50, run.p99, run.encode);
        std::fflush(stdout);
        runs.push_back(run);
    }
    const Run& first = runs.front();
    const int w = first.frame.width();
    const int h = first.frame.height();
    auto ms = [&](auto field) { return bench::Format(Of(runs, field), "%.1f"); };
    std::printf("%dx%d, %d runs of %d grabs, denoise 1 at %d fps, PNG level %d:\n", w, h,
                bench::kRuns, grabs, kFrameRate, kGrabPngLevel);
    std::printf("  PNG encode alone p50  %s ms (the baseline)\n",
                ms([](const Run& r) { return r.encode; }).c_str());
    std::printf("  grab p50              %s ms\n", ms([](const Run& r) { return r.p50; }).c_str());
    std::printf("  grab p99              %s ms\n", ms([](const Run& r) { return r.p99; }).c_str());
    const bench::Spread ratio =
        Of(runs, [](const Run& r) { return r.p99 / (1.5 * r.encode + kFramePeriod); });
    std::printf("  p99 / (1.5 x encode + %.0f ms)  %s: %s\n", kFramePeriod,
                bench::Format(ratio).c_str(), ratio.median <= 1.0 ? "met" : "NOT MET");
    std::printf(
        "  in a grab: write (encode, sync, rename) p50 %s ms; texture from the frame %s ms "
        "instead of the PNG decode %s ms\n",
        ms([](const Run& r) { return r.write; }).c_str(),
        ms([](const Run& r) { return r.texture; }).c_str(),
        ms([](const Run& r) { return r.decode; }).c_str());
    std::printf(
        "  PNG size level %d %.0f kB, level 6 %.0f kB (%+.0f %%), Qt's writer %.0f kB in "
        "%.1f ms\n",
        kGrabPngLevel, first.pngBytes / 1024.0, first.level6Bytes / 1024.0,
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
    const int grabs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    const bench::MachineReport machine("bench_grab");
    int failed = 0;
    for (int quality : {3, 5})
        failed |= kolvane::RunSize(quality, grabs);
    return failed;
}
