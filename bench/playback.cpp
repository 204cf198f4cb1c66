// Playback of a 300-frame sheet of three columns of 1920 x 1080 images with
// two sound columns, at 30 fps for 20 s into an offscreen 1280 x 720 player
// view, on the real timer thread and the system clock, audio into the sink of
// KOLVANE_AUDIO_SINK (fakesink unless set). Prints frames shown and skipped,
// tick lateness at p50 and p99, and the drift of the audio output against the
// picture over the run. Target: nothing skipped, p99 under 4 ms, drift under
// one frame (33.3 ms).
//
// Before the run, Google Benchmark times one step (compose three layers,
// present) against presenting the back buffer alone (the baseline), and the
// step's share of the 33.3 ms frame budget is printed.

#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include "bench/BenchReport.h"
#include "bench/BenchScene.h"
#include "display/Direct3D.h"
#include "engine/Engine.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "player/PlayEngine.h"
#include "settings/Settings.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"
#include "ui/PlayMainPanel.h"

namespace {

using namespace kolvane;
using namespace std::chrono_literals;

constexpr int kRate = 30;
constexpr int kFrames = 300;
constexpr int kRunSeconds = 20;
const QSize kImageSize(1920, 1080);
const QSize kViewSize(1280, 720);

// Three columns as an animator would stack them: a background held for the
// whole shot, a character on twos and an effect on threes.
struct ColumnPlan {
    const char* name;
    int holdFrames;
};
constexpr ColumnPlan kImageColumns[] = {{"bg", kFrames}, {"walk", 2}, {"dust", 3}};
constexpr const char* kSoundColumns[] = {"music", "steps"};

QImage Drawing(int seed, bool background) {
    QImage image(kImageSize, QImage::Format_RGB32);
    QPainter painter(&image);
    if (background) {
        QLinearGradient sky(0, 0, 0, kImageSize.height());
        sky.setColorAt(0, QColor(150, 190, 230));
        sky.setColorAt(1, QColor(240, 220, 180));
        painter.fillRect(image.rect(), sky);
    } else {
        image.fill(Qt::white);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromHsv(seed * 37 % 360, 160, 90), 8));
    for (int i = 0; i < 12; ++i) {
        const int x = (seed * 53 + i * 150) % kImageSize.width();
        const int y = (seed * 29 + i * 80) % kImageSize.height();
        painter.drawEllipse(x, y, 120 + 10 * i, 90 + 7 * i);
    }
    return image;
}

// 16-bit stereo 48 kHz PCM: a tone whose pitch tells the seconds apart.
bool WriteWav(const QString& path, int seconds, int pitch) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const quint32 pairs = 48000u * static_cast<quint32>(seconds);
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + pairs * 4);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(2) << quint32(48000) << quint32(192000)
        << quint16(4) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(pairs * 4);
    for (quint32 i = 0; i < pairs; ++i) {
        const auto v = static_cast<qint16>((i * static_cast<quint32>(pitch + i / 48000)) % 8000);
        out << v << static_cast<qint16>(-v);
    }
    return out.status() == QDataStream::Ok;
}

// Passes the real timer's ticks on and notes when each was served.
class RecordingTicks final : public ITickSource {
  public:
    RecordingTicks(ITickSource& inner, IPlayClock& clock, CDirectSound& sound)
        : inner_(inner), clock_(clock), sound_(sound) {}

    bool Start(FramePeriod period, Handler onTick) override {
        return inner_.Start(period, [this, onTick](const PlayTick& tick) {
            const auto late = clock_.Now() - tick.deadline;
            lateness.push_back(std::chrono::duration<double, std::milli>(late).count());
            onTick(tick);
            // Where the audio output is against where the picture is, from
            // one second in (the output takes a moment to settle).
            if (tick.index >= kRate) {
                pictureMs.push_back(static_cast<double>(tick.index) * 1000.0 / kRate);
                audioMs.push_back(static_cast<double>(sound_.PairsPlayed()) / 48.0);
            }
        });
    }
    void Stop() override { inner_.Stop(); }
    bool IsRunning() const override { return inner_.IsRunning(); }

    std::vector<double> lateness;
    std::vector<double> pictureMs;
    std::vector<double> audioMs;

  private:
    ITickSource& inner_;
    IPlayClock& clock_;
    CDirectSound& sound_;
};

struct Scene {
    Scene() : sink(objects.sheet) {}

    bool Build() {
        if (!dir.isValid()) return false;
        objects.settings.Set(FrameRate, kRate);
        objects.settings.Set(LoopMode, 0);
        objects.sound.Initialize();
        objects.display.CreateDevice(kViewSize, 32);

        for (const ColumnPlan& plan : kImageColumns) {
            CNode* column = objects.sheet.GetColumn(objects.sheet.Levels().size(),
                                                    QString::fromLatin1(plan.name));
            const int drawings = (kFrames + plan.holdFrames - 1) / plan.holdFrames;
            for (int d = 0; d < drawings; ++d) {
                const QString path = dir.filePath(QStringLiteral("%1 %2.jpg")
                                                      .arg(QLatin1String(plan.name))
                                                      .arg(d + 1, 4, 10, QChar(u'0')));
                if (!Drawing(d, plan.holdFrames == kFrames).save(path, "JPEG", 90)) return false;
                CNode* item = objects.media.AddMediaFile(kTypeImage, path);
                for (int h = 0; h < plan.holdFrames && column->children->size() < kFrames; ++h)
                    column->children->append(CNode::NewCell(item));
            }
        }
        int pitch = 3;
        for (const char* name : kSoundColumns) {
            const QString path = dir.filePath(QStringLiteral("%1.wav").arg(QLatin1String(name)));
            if (!WriteWav(path, kFrames / kRate, pitch++)) return false;
            CNode* item = objects.media.AddMediaFile(kTypeSound, path);
            if (item == nullptr || objects.sheet.PlaceSound(item) == nullptr) return false;
        }
        bench::Settle(objects);

        QElapsedTimer loading;
        loading.start();
        objects.display.LoadPendingImages(true);
        std::printf("playback: %d frames, %lld images loaded in %.1f s\n",
                    objects.sheet.FrameCount(),
                    static_cast<long long>(objects.display.Loader().ImageCount()),
                    static_cast<double>(loading.elapsed()) / 1000.0);

        view = bench::ShowPlayer(objects, sink, clock, ticks, kViewSize);
        return view != nullptr;
    }

    QTemporaryDir dir;
    CEngine objects{
        CEngine::Headless{}};  // working folders of its own: the user's scene is left alone
    bench::SheetSink sink;
    CSteadyPlayClock clock;
    CPlayTimer timer{clock};
    RecordingTicks ticks{timer, clock, objects.sound};
    std::unique_ptr<CPlayMainPanel> view;
};

Scene* g_scene = nullptr;

// One step of the stopped player: the next frame composed from its three
// layers and presented into the view.
void BM_StepAndPresent(benchmark::State& state) {
    CPlayMainPanel& view = *g_scene->view;
    for (auto _ : state)
        view.OnCommand(cmd::kStepForw);
}

// The baseline: the back buffer presented into the view, nothing composed.
void BM_PresentOnly(benchmark::State& state) {
    CPlayMainPanel& view = *g_scene->view;
    for (auto _ : state)
        view.PresentFrame();
}

BENCHMARK(BM_PresentOnly)->Name("present_only")->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_StepAndPresent)->Name("step_and_present")->Unit(benchmark::kMillisecond)->MinTime(1.0);

class TimesReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.iterations == 0 || run.run_type != Run::RT_Iteration) continue;
            const std::string& name = run.benchmark_name();
            Times& t = times[name.substr(0, name.find('/'))];
            t.real.push_back(run.GetAdjustedRealTime());
            t.cpu.push_back(run.GetAdjustedCPUTime());
        }
    }
    struct Times {
        std::vector<double> real, cpu;  // ms, one value a repetition
    };
    std::map<std::string, Times> times;
};

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at),
                     values.end());
    return values[at];
}

// How far the audio output moved against the picture over the run: the
// least-squares slope of audio time over picture time, less one, times the
// span. The output is fed in 10 ms pieces, so single readings jitter by that
// much; the fit looks through it.
double Drift(const std::vector<double>& picture, const std::vector<double>& audio) {
    if (picture.size() < 2) return 0.0;
    const auto n = static_cast<double>(picture.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < picture.size(); ++i) {
        sx += picture[i];
        sy += audio[i];
        sxx += picture[i] * picture[i];
        sxy += picture[i] * audio[i];
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    return (slope - 1.0) * (picture.back() - picture.front());
}

}  // namespace

int main(int argc, char** argv) {
    setenv("KOLVANE_AUDIO_SINK", "fakesink", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    gst_init(&argc, &argv);
    const bench::MachineReport machine("bench_playback");
    bench::RepeatedArguments arguments(argc, argv);
    benchmark::Initialize(arguments.Argc(), arguments.Argv());

    Scene scene;
    if (!scene.Build()) {
        std::fprintf(stderr, "playback: could not build the scene\n");
        return 1;
    }
    g_scene = &scene;
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto format = [](const std::vector<double>& values, const char* number = "%.2f") {
        return bench::Format(bench::Summarise(values), number);
    };
    const auto present = reporter.times["present_only"];
    const auto step = reporter.times["step_and_present"];
    const double budget = 1000.0 / kRate;
    std::printf("playback: median (low-high) of %d runs\n", bench::kRuns);
    if (!present.cpu.empty()) {
        std::vector<double> share;
        for (double cpu : step.cpu)
            share.push_back(100.0 * cpu / budget);
        std::printf(
            "playback: one step %s ms CPU (%s ms wall) = %s x presenting alone "
            "(%s ms CPU), %s%% of the %.1f ms frame in CPU time\n",
            format(step.cpu).c_str(), format(step.real).c_str(),
            format(bench::Ratios(step.cpu, present.cpu), "%.1f").c_str(),
            format(present.cpu).c_str(), format(share, "%.0f").c_str(), budget);
    }

    std::vector<double> served, skipped, p50, p99, worst, drifts;
    CPlayEngine& engine = scene.view->Engine();
    for (int run = 0; run < bench::kRuns; ++run) {
        RecordingTicks& ticks = scene.ticks;
        ticks.lateness.clear();
        ticks.pictureMs.clear();
        ticks.audioMs.clear();
        engine.GoToFrame(0);
        scene.view->OnCommand(cmd::kPlay);
        if (!engine.IsPlaying()) {
            std::fprintf(stderr, "playback: the run did not start\n");
            return 1;
        }
        QEventLoop loop;
        QTimer::singleShot(std::chrono::seconds(kRunSeconds), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
        const PlayStatistics statistics = engine.Statistics();
        scene.view->OnCommand(cmd::kPlay);
        served.push_back(static_cast<double>(ticks.lateness.size()));
        skipped.push_back(statistics.skippedFrames);
        p50.push_back(Percentile(ticks.lateness, 0.50));
        p99.push_back(Percentile(ticks.lateness, 0.99));
        worst.push_back(Percentile(ticks.lateness, 1.0));
        drifts.push_back(Drift(ticks.pictureMs, ticks.audioMs));
    }
    std::printf("playback: %d s at %d fps a run: %s ticks, %s skipped\n", kRunSeconds, kRate,
                format(served, "%.0f").c_str(), format(skipped, "%.0f").c_str());
    std::printf("playback: tick lateness p50 %s ms, p99 %s ms, max %s ms\n",
                format(p50, "%.3f").c_str(), format(p99, "%.3f").c_str(),
                format(worst, "%.3f").c_str());
    if (scene.objects.sound.HasOutput()) {
        std::printf("playback: audio-to-picture drift %s ms a run (one frame is %.1f ms)\n",
                    format(drifts, "%+.1f").c_str(), budget);
    } else {
        std::printf("playback: no audio output, drift not measured\n");
    }
    std::printf("playback: target: nothing skipped, p99 under 4 ms, drift under one frame\n");
    benchmark::Shutdown();
    return 0;
}
