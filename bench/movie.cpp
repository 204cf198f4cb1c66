// Movie export: a scene of 250 frames in three picture columns (a background
// held throughout and two drawing layers on twos, 1920 x 1080 JPEG files)
// and one sound column, written as H.264/AAC MP4 at 1920 x 1080, against the
// plain pipeline
//   multifilesrc ! jpegdec ! videoconvert ! x264enc ! mp4mux ! filesink
// over the same 250 files with the same encoder settings. Prints frames per
// second of both and the ratio (target: at least 0.85). Then the raw AVI
// export in MB/s next to dd writing the same number of bytes.

#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <map>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "engine/Engine.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "platform/GstPtr.h"
#include "platform/MediaFramework.h"
#include "platform/Progress.h"

namespace {

using namespace kolvane;
using Clock = std::chrono::steady_clock;

constexpr int kFrames = 250;
const QSize kSize(1920, 1080);

// CPU seconds of the whole process (every thread: the encoder's too), so
// that the two exports can be compared on a busy machine as well.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString g_folder;  // the scene's files
QString g_out;     // the movies

// A drawing on paper: mostly white with strokes, as a layer that multiplies.
QImage Drawing(int seed) {
    QImage image(kSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator random(static_cast<quint32>(seed));
    for (int i = 0; i < 40; ++i) {
        painter.setPen(QPen(QColor::fromHsv(random.bounded(360), 180, 110), 8));
        painter.drawEllipse(random.bounded(kSize.width()), random.bounded(kSize.height()),
                            60 + random.bounded(500), 60 + random.bounded(500));
    }
    return image;
}

QString ImagePath(int index) {
    return QStringLiteral("%1/img %2.jpg").arg(g_folder).arg(index, 4, 10, QLatin1Char('0'));
}

void MakeFiles() {
    // Two workers: the files take a while.
    auto make = [](int from, int step) {
        for (int i = from; i < kFrames; i += step) {
            QImageWriter writer(ImagePath(i), "jpeg");
            writer.setQuality(90);
            writer.write(Drawing(i));
        }
    };
    auto other = std::async(std::launch::async, make, 1, 2);
    make(0, 2);
    other.get();

    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file =
        sf_open(QFile::encodeName(g_folder + "/music.wav").constData(), SFM_WRITE, &info);
    std::vector<std::int16_t> samples(48000 * 2 * kFrames / 25);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((i * 37) % 20000 - 10000);
    sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

CEngine& TheScene() {
    static CEngine scene{CEngine::Headless{}};
    return scene;
}

// The scene, with a player view whose textures the idle loader has made.
void BuildScene(CEngine& scene) {
    scene.display.CreateDevice(QSize(960, 540));
    // Background (held), then two layers on twos, then the sound.
    std::vector<CNode*> images;
    for (int i = 0; i < kFrames; ++i)
        images.push_back(scene.media.AddMediaFile(kTypeImage, ImagePath(i)));
    auto column = [&](int index, const QString& name, auto cellOf) {
        CNode* level = scene.sheet.GetColumn(index, name);
        for (int f = 0; f < kFrames; ++f)
            level->children->append(CNode::NewCell(cellOf(f)));
    };
    column(0, QStringLiteral("background"), [&](int) { return images[0]; });
    column(1, QStringLiteral("walk"), [&](int f) { return images[f / 2]; });
    column(2, QStringLiteral("rain"), [&](int f) { return images[kFrames / 2 + f / 2]; });
    CNode* music = scene.media.AddMediaFile(kTypeSound, g_folder + "/music.wav");
    scene.sheet.SetCurrentFrame(0);
    scene.sheet.PlaceSound(music);
    scene.sheet.RecomputeSummaries();
    scene.sheet.Normalise();
    scene.display.LoadPendingImages(true);
}

void Export(benchmark::State& state, const char* name, const char* codec) {
    CMovieWriter& writer = TheScene().Writer();
    CNoProgress progress;
    const QString path = g_out + QLatin1Char('/') + QLatin1String(name);
    double cpu = 0;
    for (auto _ : state) {
        const double cpuStart = ProcessCpuSeconds();
        const auto start = Clock::now();
        const Result result = writer.WriteMovie(path, QString(), QString::fromLatin1(codec),
                                                QRect(QPoint(0, 0), kSize), 2, progress);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        cpu = ProcessCpuSeconds() - cpuStart;
        if (result != kOk) {
            state.SkipWithError(writer.ErrorDetail().toUtf8().constData());
            return;
        }
    }
    state.counters["MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
    state.counters["cpu_s"] = cpu;
    QFile::remove(path);
}

void ExportMp4(benchmark::State& state) {
    Export(state, "scene.mp4", "H.264/AVC");
}
void ExportRawAvi(benchmark::State& state) {
    Export(state, "scene.avi", "none");
}

// Runs a gst-launch pipeline to its end, timed, and removes what it wrote.
void RunPipeline(benchmark::State& state, const QByteArray& description, const QString& out) {
    double cpu = 0;
    for (auto _ : state) {
        GError* error = nullptr;
        GstElementPtr pipeline(gst_parse_launch(description.constData(), &error));
        if (error != nullptr) {
            state.SkipWithError(error->message);
            g_error_free(error);
            return;
        }
        const double cpuStart = ProcessCpuSeconds();
        const auto start = Clock::now();
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        GstBusPtr bus(gst_element_get_bus(pipeline.get()));
        // Bounded, so that a pipeline that stalls ends the run with a message.
        GstMessagePtr done(gst_bus_timed_pop_filtered(
            bus.get(), 10 * 60 * GST_SECOND,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        cpu = ProcessCpuSeconds() - cpuStart;
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        if (done == nullptr) {
            state.SkipWithError("the pipeline stalled");
            return;
        }
        if (GST_MESSAGE_TYPE(done.get()) == GST_MESSAGE_ERROR) {
            state.SkipWithError("the pipeline failed");
            return;
        }
    }
    state.counters["cpu_s"] = cpu;
    QFile::remove(out);
}

// The same files through GStreamer alone, the same x264 settings (its own).
void PlainPipeline(benchmark::State& state) {
    const QString out = g_out + "/plain.mp4";
    RunPipeline(state,
                "multifilesrc location=\"" + QFile::encodeName(g_folder) +
                    "/img %04d.jpg\" index=0 stop-index=" + QByteArray::number(kFrames - 1) +
                    " caps=image/jpeg,framerate=25/1 ! jpegdec ! videoconvert ! "
                    "video/x-raw,format=I420 ! x264enc ! mp4mux ! filesink location=\"" +
                    QFile::encodeName(out) + "\"",
                out);
}

// dd writing as many bytes as the raw AVI holds (1 MB blocks, page cache
// like the export).
void Dd(benchmark::State& state) {
    const qint64 megabytes = static_cast<qint64>(static_cast<double>(kFrames) * kSize.width() *
                                                 kSize.height() * 3 / 1e6);
    const QString path = g_out + "/dd.bin";
    for (auto _ : state) {
        const auto start = Clock::now();
        QProcess::execute(QStringLiteral("dd"),
                          {"if=/dev/zero", "of=" + path, "bs=1000000",
                           "count=" + QString::number(megabytes), "status=none"});
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["MB"] = static_cast<double>(megabytes);
    QFile::remove(path);
}

BENCHMARK(PlainPipeline)->UseManualTime()->Iterations(1)->Repetitions(2)->Unit(benchmark::kSecond);
BENCHMARK(ExportMp4)->UseManualTime()->Iterations(1)->Repetitions(2)->Unit(benchmark::kSecond);
BENCHMARK(ExportRawAvi)->UseManualTime()->Iterations(1)->Repetitions(2)->Unit(benchmark::kSecond);
BENCHMARK(Dd)->UseManualTime()->Iterations(1)->Repetitions(2)->Unit(benchmark::kSecond);

class FigureReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const std::string name = run.run_name.function_name;
            // The best of the repetitions: the least disturbed.
            const double seconds = run.GetAdjustedRealTime();
            auto& best = seconds_[name];
            if (best == 0 || seconds < best) best = seconds;
            const auto mb = run.counters.find("MB");
            if (mb != run.counters.end()) megabytes_[name] = mb->second;
            const auto cpu = run.counters.find("cpu_s");
            if (cpu != run.counters.end()) {
                auto& least = cpu_[name];
                if (least == 0 || cpu->second < least) least = cpu->second;
            }
        }
    }
    double Seconds(const std::string& name) const {
        const auto found = seconds_.find(name);
        return found == seconds_.end() ? 0 : found->second;
    }
    double Megabytes(const std::string& name) const {
        const auto found = megabytes_.find(name);
        return found == megabytes_.end() ? 0 : found->second;
    }

    double CpuSeconds(const std::string& name) const {
        const auto found = cpu_.find(name);
        return found == cpu_.end() ? 0 : found->second;
    }

  private:
    std::map<std::string, double> cpu_;
    std::map<std::string, double> seconds_;
    std::map<std::string, double> megabytes_;
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    InitMediaFramework();
    // The two exports take turns, so that a busy machine weighs on both.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    QTemporaryDir scene(QDir::tempPath() + "/kolvane-bench-movie-XXXXXX");
    g_folder = scene.path() + "/scene";
    g_out = scene.path() + "/out";
    QDir().mkpath(g_folder);
    QDir().mkpath(g_out);
    std::printf("movie: making %d pictures of %dx%d...\n", kFrames, kSize.width(), kSize.height());
    std::fflush(stdout);
    MakeFiles();
    BuildScene(TheScene());

    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double plain = reporter.Seconds("PlainPipeline");
    const double ours = reporter.Seconds("ExportMp4");
    if (plain > 0 && ours > 0) {
        std::printf(
            "movie: H.264 MP4 1920x1080, %d frames: export %.1f fps, plain pipeline "
            "%.1f fps, ratio %.2f (target >= 0.85)\n",
            kFrames, kFrames / ours, kFrames / plain, plain / ours);
        const double plainCpu = reporter.CpuSeconds("PlainPipeline");
        const double oursCpu = reporter.CpuSeconds("ExportMp4");
        if (plainCpu > 0 && oursCpu > 0) {
            std::printf(
                "movie: CPU time of all threads: export %.1f ms/frame, plain pipeline %.1f "
                "ms/frame, ratio %.2f\n",
                1000 * oursCpu / kFrames, 1000 * plainCpu / kFrames, plainCpu / oursCpu);
        }
    }
    const double raw = reporter.Seconds("ExportRawAvi");
    const double dd = reporter.Seconds("Dd");
    if (raw > 0 && dd > 0) {
        std::printf(
            "movie: raw AVI export %.0f MB/s (%.0f MB, %.1f fps), dd of the same bytes "
            "%.0f MB/s, ratio %.2f\n",
            reporter.Megabytes("ExportRawAvi") / raw, reporter.Megabytes("ExportRawAvi"),
            kFrames / raw, reporter.Megabytes("Dd") / dd,
            (reporter.Megabytes("ExportRawAvi") / raw) / (reporter.Megabytes("Dd") / dd));
    }
    benchmark::Shutdown();
    return 0;
}
