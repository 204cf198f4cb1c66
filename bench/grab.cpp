// From the key press to the picture on disk and its cells on the sheet: Grab
// on the test pattern at 1280 x 720 and 1920 x 1080 with denoise 1, against
// the bare PNG encode of the same frames (the baseline, same run). Then a
// burst of ten grabs at key-repeat speed.
//   bench_grab [GRABS]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include "capture/FramePng.h"
#include "capture/Grabber.h"
#include "capture/HeadlessCapture.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "platform/MediaFramework.h"

namespace kolvane {
namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

qint64 QtPngSize(const CGrabbedFrame& frame, double* ms) {
    const QImage image = FrameImage(frame);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const auto start = Clock::now();
    QImageWriter writer(&buffer, "PNG");
    writer.write(image);
    *ms = Ms(Clock::now() - start);
    return bytes.size();
}

int RunSize(int quality, int grabs) {
    CEngine engine(CEngine::Headless{.workingRoot = {},
                                     .documents = {},
                                     .loadImage = {},
                                     .videoDevices = VideoDeviceMode::TestPattern});
    engine.settings.Set(VideoQuality, quality);
    engine.settings.Set(Denoise, 1);
    engine.settings.Set(FrameRate, 25);
    engine.settings.Set(GrabSound, 0);
    engine.display.CreateDevice(QSize(1280, 720));
    CAnim grabLevel(engine.media);
    CHeadlessCapture capture(engine.capture);
    if (capture.Start() != kOk) {
        std::printf("the test pattern did not start\n");
        return 1;
    }
    capture.Graph().ApplyDenoise();
    CGrabber::Links links;
    links.settings = &engine.settings;
    links.media = &engine.media;
    links.sheet = &engine.sheet;
    links.title = &engine.title;
    links.storage = &engine.storage;
    links.display = &engine.display;
    links.undo = &engine.undo;
    links.grabLevel = &grabLevel;
    links.source = &capture.Graph();
    CGrabber grabber(links);
    const QRect frameRect = capture.Graph().GetFrameRect();

    // The baseline: the encode alone, on frames of the same source.
    std::vector<double> encode;
    qint64 pngBytes = 0;
    qint64 level6Bytes = 0;
    qint64 qtBytes = 0;
    double qtMs = 0.0;
    for (int i = 0; i < grabs; ++i) {
        capture.RunUntil([] { return false; }, std::chrono::milliseconds(40));
        const CGrabbedFrame frame = capture.Graph().GrabFrame();
        const auto start = Clock::now();
        const QByteArray png = EncodeFramePng(frame);
        encode.push_back(Ms(Clock::now() - start));
        pngBytes += png.size();
        if (i == 0) {
            level6Bytes = EncodeFramePng(frame, 6).size();
            qtBytes = QtPngSize(frame, &qtMs);
        }
    }

    // Where a grab's time goes: the file written whole and synced, and the
    // texture decoded back from it.
    std::vector<double> write;
    std::vector<double> decode;
    for (int i = 0; i < std::min(grabs, 10); ++i) {
        const CGrabbedFrame frame = capture.Graph().GrabFrame();
        const QString path = engine.storage.GetGrabFolder() + QStringLiteral("probe.png");
        auto start = Clock::now();
        WriteFramePng(frame, path);
        write.push_back(Ms(Clock::now() - start));
        start = Clock::now();
        const QImage back(path);
        decode.push_back(Ms(Clock::now() - start));
        QFile::remove(path);
    }
    std::printf("%dx%d  write (encode, sync, rename) p50 %.1f ms, PNG decode p50 %.1f ms\n",
                frameRect.width(), frameRect.height(), Percentile(write, 0.5),
                Percentile(decode, 0.5));

    std::vector<double> total;
    const int cellsBefore = engine.sheet.FrameCount();
    for (int i = 0; i < grabs; ++i) {
        // Frames keep arriving between key presses, as in the program.
        capture.RunUntil([] { return false; }, std::chrono::milliseconds(60));
        const auto start = Clock::now();
        if (grabber.Grab() != kOk) {
            std::printf("grab %d failed\n", i + 1);
            return 1;
        }
        total.push_back(Ms(Clock::now() - start));
    }
    const double framePeriod = 1000.0 / 25.0;
    const double encode50 = Percentile(encode, 0.5);
    const double p50 = Percentile(total, 0.5);
    const double p99 = Percentile(total, 0.99);
    const double budget = 1.5 * encode50 + framePeriod;
    std::printf(
        "%dx%d  grab p50 %.1f ms  p99 %.1f ms | PNG encode p50 %.1f ms (level %d) | "
        "budget 1.5 x encode + %.0f ms = %.1f ms: p99/budget %.2f\n",
        frameRect.width(), frameRect.height(), p50, p99, encode50, kGrabPngLevel, framePeriod,
        budget, p99 / budget);
    std::printf(
        "%dx%d  PNG size level %d %.0f kB, level 6 %.0f kB (%+.0f %%), Qt's PNG %.0f kB "
        "in %.1f ms\n",
        frameRect.width(), frameRect.height(), kGrabPngLevel,
        static_cast<double>(pngBytes) / grabs / 1024.0, level6Bytes / 1024.0,
        100.0 * (static_cast<double>(pngBytes) / grabs - level6Bytes) / level6Bytes,
        qtBytes / 1024.0, qtMs);

    // Burst: ten presses 33 ms apart (key repeat), handled one after the other
    // as the event loop delivers them.
    const int before = engine.sheet.FrameCount();
    const auto burstStart = Clock::now();
    std::vector<double> each;
    double worstLate = 0.0;
    for (int i = 0; i < 10; ++i) {
        const auto pressed = burstStart + std::chrono::milliseconds(33 * i);
        capture.RunUntil([&] { return Clock::now() >= pressed; }, std::chrono::seconds(5));
        const auto start = Clock::now();
        if (grabber.Grab() != kOk) {
            std::printf("burst grab %d failed\n", i + 1);
            return 1;
        }
        const double took = Ms(Clock::now() - start);
        each.push_back(took);
        worstLate = std::max(worstLate, took - p50);
    }
    const int placed = (engine.sheet.FrameCount() - before) / engine.settings.Get(DefTiming);
    std::printf(
        "%dx%d  burst of 10: %d placed, slowest grab %.1f ms, worst over p50 %.1f ms "
        "(one encode %.1f ms): %s\n",
        frameRect.width(), frameRect.height(), placed, *std::max_element(each.begin(), each.end()),
        worstLate, encode50, placed == 10 && worstLate <= encode50 ? "ok" : "LATE");
    (void)cellsBefore;
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
    int failed = 0;
    for (int quality : {3, 5})
        failed |= kolvane::RunSize(quality, grabs);
    return failed;
}
