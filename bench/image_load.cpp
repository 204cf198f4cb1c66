// Image loading for the player view: 200 JPEG and 200 PNG pictures of
// 1920 × 1080 loaded for a 1280 × 720 render target, by our loader (workers,
// bilinear reduction, attached on this thread) and by the plain baseline
// "QImage(path) then scaled(..., SmoothTransformation)" on one thread.
// Prints pictures per second of each, their ratio (target: at least 2), and
// what the loaded textures cost in memory.

#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "bench/BenchReport.h"
#include "display/Direct3D.h"
#include "engine/Engine.h"
#include "model/MdiaList.h"

namespace {

using kolvane::CDirect3D;
using kolvane::CEngine;
using kolvane::CMdiaList;

constexpr int kPictures = 200;  // of each kind
constexpr int kDistinct = 8;    // different pictures; the rest are links to them
constexpr int kBatch = 50;      // pictures loaded at once (bounds the memory used)
const QSize kPictureSize(1920, 1080);
const QSize kViewSize(1280, 720);

// A picture with the texture of a photograph: gradients, shapes and sensor
// noise (noise is what makes PNG files of grabbed frames large and slow).
QImage MakePicture(int seed) {
    QImage image(kPictureSize, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, kPictureSize.width(), kPictureSize.height());
    sky.setColorAt(0, QColor::fromHsv(seed * 37 % 360, 160, 230));
    sky.setColorAt(1, QColor::fromHsv(seed * 91 % 360, 200, 70));
    painter.fillRect(image.rect(), sky);
    QRandomGenerator random(static_cast<quint32>(seed));
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 150; ++i) {
        painter.setBrush(QColor::fromRgb(random.generate()));
        painter.drawEllipse(random.bounded(kPictureSize.width()),
                            random.bounded(kPictureSize.height()), 40 + random.bounded(300),
                            40 + random.bounded(300));
    }
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = static_cast<int>(random.bounded(9)) - 4;
            const QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                           std::clamp(qBlue(c) + n, 0, 255));
        }
    }
    return image;
}

struct Corpus {
    QTemporaryDir dir;
    QStringList jpeg;
    QStringList png;
};

Corpus& Files() {
    static Corpus corpus = [] {
        Corpus made;
        for (int i = 0; i < kPictures; ++i) {
            for (const char* kind : {"jpg", "png"}) {
                const QString path = made.dir.filePath(QStringLiteral("shot %1.%2")
                                                           .arg(i, 4, 10, QLatin1Char('0'))
                                                           .arg(QLatin1String(kind)));
                if (i < kDistinct) {
                    MakePicture(i).save(path, kind, kind == std::string("jpg") ? 90 : -1);
                } else {
                    const QString original =
                        made.dir.filePath(QStringLiteral("shot %1.%2")
                                              .arg(i % kDistinct, 4, 10, QLatin1Char('0'))
                                              .arg(QLatin1String(kind)));
                    std::filesystem::create_hard_link(original.toStdString(), path.toStdString());
                }
                (kind == std::string("jpg") ? made.jpeg : made.png) << path;
            }
        }
        return made;
    }();
    return corpus;
}

const QStringList& FilesOf(int kind) {
    return kind == 0 ? Files().jpeg : Files().png;
}
const char* KindName(int kind) {
    return kind == 0 ? "JPEG" : "PNG";
}

qint64 g_textureBytes = 0;
int g_textures = 0;

// CPU time of the whole process (all threads), in ms: the work done, which
// other programs on the machine cannot inflate the way they can wall time.
double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void SetCpuPerPicture(benchmark::State& state, double cpuMs, qsizetype pictures) {
    state.counters["cpu_ms_per_picture"] = cpuMs / static_cast<double>(pictures);
}

void Baseline(benchmark::State& state) {
    const QStringList& files = FilesOf(static_cast<int>(state.range(0)));
    double cpu = 0;
    for (auto _ : state) {
        const double start = ProcessCpuMs();
        for (const QString& path : files) {
            const QImage picture(path);
            QImage texture =
                picture.scaled(kViewSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            benchmark::DoNotOptimize(texture.constBits());
        }
        cpu += ProcessCpuMs() - start;
    }
    state.SetItemsProcessed(state.iterations() * files.size());
    SetCpuPerPicture(state, cpu, state.iterations() * files.size());
}

void OurLoader(benchmark::State& state) {
    const QStringList& files = FilesOf(static_cast<int>(state.range(0)));
    double cpu = 0;
    for (auto _ : state) {
        for (qsizetype first = 0; first < files.size(); first += kBatch) {
            state.PauseTiming();
            // A fresh engine for every batch: nothing is cached from the last.
            auto engine = std::make_unique<CEngine>(CEngine::Headless{});
            CDirect3D* display = &engine->display;
            CMdiaList* media = &engine->media;
            display->CreateDevice(kViewSize);
            for (const QString& path : files.mid(first, kBatch)) {
                media->AddMediaFile(kolvane::kTypeImage, path);
            }
            state.ResumeTiming();

            const double start = ProcessCpuMs();
            display->LoadPendingImages(true);
            cpu += ProcessCpuMs() - start;

            state.PauseTiming();
            for (const kolvane::CNode* item : *media->ImageLevel()->children) {
                if (item->texture.isNull()) state.SkipWithError("an image did not load");
                g_textureBytes = item->texture.sizeInBytes();
                ++g_textures;
            }
            engine.reset();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * files.size());
    SetCpuPerPicture(state, cpu, state.iterations() * files.size());
}

BENCHMARK(Baseline)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OurLoader)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Keeps every run's pictures per second, by name, for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            const auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end()) rates[run.benchmark_name()].push_back(rate->second);
            const auto cpu = run.counters.find("cpu_ms_per_picture");
            if (cpu != run.counters.end()) cpuMs[run.benchmark_name()].push_back(cpu->second);
        }
    }
    // One value a repetition.
    std::map<std::string, std::vector<double>> rates;
    std::map<std::string, std::vector<double>> cpuMs;
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const bench::MachineReport machine("bench_image_load");
    bench::RepeatedArguments arguments(argc, argv);
    benchmark::Initialize(arguments.Argc(), arguments.Argv());
    Files();  // made before any timing
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Run by run: seconds for both kinds, ours and the baseline's.
    std::vector<double> oursSeconds, baselineSeconds;
    const char* const names[2][2] = {
        {"OurLoader/0/iterations:1/real_time", "Baseline/0/iterations:1/real_time"},
        {"OurLoader/1/iterations:1/real_time", "Baseline/1/iterations:1/real_time"}};
    auto format = [](const std::vector<double>& values, const char* number) {
        return bench::Format(bench::Summarise(values), number);
    };
    std::printf("image_load: median (low-high) of the runs\n");
    for (int kind = 0; kind < 2; ++kind) {
        const std::vector<double>& ours = reporter.rates[names[kind][0]];
        const std::vector<double>& baseline = reporter.rates[names[kind][1]];
        if (ours.empty() || baseline.empty()) continue;
        for (size_t run = 0; run < ours.size() && run < baseline.size(); ++run) {
            if (oursSeconds.size() <= run)
                oursSeconds.resize(run + 1), baselineSeconds.resize(run + 1);
            oursSeconds[run] += kPictures / ours[run];
            baselineSeconds[run] += kPictures / baseline[run];
        }
        std::printf(
            "image_load %-4s: ours %s pictures/s, baseline %s pictures/s, ratio %s; "
            "CPU a picture (all threads): ours %s ms, baseline %s ms\n",
            KindName(kind), format(ours, "%.1f").c_str(), format(baseline, "%.1f").c_str(),
            format(bench::Ratios(ours, baseline), "%.2f").c_str(),
            format(reporter.cpuMs[names[kind][0]], "%.1f").c_str(),
            format(reporter.cpuMs[names[kind][1]], "%.1f").c_str());
    }
    if (!oursSeconds.empty()) {
        std::vector<double> oursRate, baselineRate;
        for (size_t run = 0; run < oursSeconds.size(); ++run) {
            oursRate.push_back(2 * kPictures / oursSeconds[run]);
            baselineRate.push_back(2 * kPictures / baselineSeconds[run]);
        }
        std::printf(
            "image_load all : ours %s pictures/s, baseline %s pictures/s, ratio %s "
            "(target >= 2)\n",
            format(oursRate, "%.1f").c_str(), format(baselineRate, "%.1f").c_str(),
            format(bench::Ratios(oursRate, baselineRate), "%.2f").c_str());
    }
    if (g_textures > 0) {
        const double perTexture = static_cast<double>(g_textureBytes);
        std::printf(
            "texture memory at a %dx%d view: %.0f bytes a picture (%d x %d x 4); "
            "a 1000-picture scene: %.2f GiB\n",
            kViewSize.width(), kViewSize.height(), perTexture, kViewSize.width(),
            kViewSize.height(), 1000 * perTexture / (1024.0 * 1024 * 1024));
    }
    benchmark::Shutdown();
    return 0;
}
