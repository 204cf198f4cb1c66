// Frame composition: a 1920 × 1080 frame of 1, 3 and 5 opaque layers (the
// first replaces, the others multiply) and of a transparent layer, against
// one memcpy of the frame measured in the same run. Prints milliseconds per
// frame and the ratio to the copy (target: 3 layers within 10).

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include "bench/BenchReport.h"
#include "display/Direct3D.h"
#include "engine/Engine.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/Node.h"

namespace {

using kolvane::CDirect3D;
using kolvane::CNode;

const QSize kFrame(1920, 1080);
constexpr int kMaxLayers = 5;

// A drawing-like layer: mostly white paper with dark strokes.
QImage Layer(int seed, QSize size, bool transparent) {
    QImage image(size, transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    image.fill(transparent ? Qt::transparent : Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator random(static_cast<quint32>(seed));
    for (int i = 0; i < 60; ++i) {
        painter.setPen(QPen(QColor::fromHsv(random.bounded(360), 200, 120), 6));
        painter.drawEllipse(random.bounded(size.width()), random.bounded(size.height()),
                            40 + random.bounded(400), 40 + random.bounded(400));
    }
    return image;
}

std::unique_ptr<CNode> Item(QImage texture) {
    auto item = std::make_unique<CNode>(kolvane::kTypeImageItem, QStringLiteral("layer"));
    item->imageInfo = std::make_unique<kolvane::CImageInfo>(QStringLiteral("layer.png"));
    item->imageInfo->imageWidth = kFrame.width();
    item->imageInfo->imageHeight = kFrame.height();
    item->texture = std::move(texture);
    return item;
}

struct Scene {
    kolvane::CEngine engine{kolvane::CEngine::Headless{}};
    CDirect3D& display = engine.display;
    std::vector<std::unique_ptr<CNode>> opaque;
    std::vector<std::unique_ptr<CNode>> opaqueSmall;  // 1280 × 720 textures, scaled up
    std::unique_ptr<CNode> transparent;

    Scene() {
        display.CreateDevice(QSize(640, 360));
        display.BeginOffscreen(QRect(QPoint(0, 0), kFrame));
        for (int i = 0; i < kMaxLayers; ++i) {
            opaque.push_back(Item(Layer(i, kFrame, false)));
            opaqueSmall.push_back(Item(Layer(i, QSize(1280, 720), false)));
        }
        transparent = Item(Layer(99, kFrame, true));
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void Memcpy(benchmark::State& state) {
    const std::size_t bytes = static_cast<std::size_t>(kFrame.width()) * kFrame.height() * 4;
    std::vector<std::uint8_t> from(bytes, 1);
    std::vector<std::uint8_t> to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
}

void OpaqueLayers(benchmark::State& state) {
    Scene& scene = TheScene();
    const int layers = static_cast<int>(state.range(0));
    const bool small = state.range(1) != 0;
    const auto& items = small ? scene.opaqueSmall : scene.opaque;
    const QRect frame(QPoint(0, 0), kFrame);
    for (auto _ : state) {
        for (int i = 0; i < layers; ++i) {
            scene.display.DrawImage(frame, *items[static_cast<std::size_t>(i)], i > 0,
                                    kolvane::kFitStretch);
        }
    }
}

void TransparentLayer(benchmark::State& state) {
    Scene& scene = TheScene();
    const QRect frame(QPoint(0, 0), kFrame);
    const bool overOpaque = state.range(0) != 0;
    for (auto _ : state) {
        if (overOpaque)
            scene.display.DrawImage(frame, *scene.opaque[0], false, kolvane::kFitStretch);
        // First: cleared to white, then laid over with its alpha.
        scene.display.DrawImage(frame, *scene.transparent, overOpaque, kolvane::kFitStretch);
    }
}

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(OpaqueLayers)
    ->Args({1, 0})
    ->Args({3, 0})
    ->Args({5, 0})
    ->Args({3, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(TransparentLayer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.iterations > 0 && run.run_type == Run::RT_Iteration) {
                // Per frame, in ms; all of it runs on one thread, so the CPU
                // time is the figure least disturbed by other work.
                Times& t = times[run.benchmark_name()];
                t.real.push_back(run.GetAdjustedRealTime());
                t.cpu.push_back(run.GetAdjustedCPUTime());
            }
        }
    }
    struct Times {
        std::vector<double> real, cpu;  // one value a repetition
    };
    std::map<std::string, Times> times;
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const bench::MachineReport machine("bench_compose");
    bench::RepeatedArguments arguments(argc, argv);
    benchmark::Initialize(arguments.Argc(), arguments.Argv());
    TheScene();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto copy = reporter.times["Memcpy"];
    if (copy.real.empty()) return 0;
    const std::pair<const char*, const char*> rows[] = {
        {"OpaqueLayers/1/0", "1 opaque layer"},
        {"OpaqueLayers/3/0", "3 opaque layers (multiply)"},
        {"OpaqueLayers/5/0", "5 opaque layers (multiply)"},
        {"OpaqueLayers/3/1", "3 opaque layers from 1280x720 textures"},
        {"TransparentLayer/0", "1 transparent layer (over white)"},
        {"TransparentLayer/1", "1 opaque + 1 transparent layer"},
    };
    std::printf("compose: median (low-high) of %zu runs\n", copy.real.size());
    std::printf("compose: memcpy of a 1920x1080 frame: %s ms (CPU %s ms)\n",
                bench::Format(bench::Summarise(copy.real), "%.3f").c_str(),
                bench::Format(bench::Summarise(copy.cpu), "%.3f").c_str());
    for (const auto& [name, what] : rows) {
        const auto found = reporter.times.find(name);
        if (found == reporter.times.end()) continue;
        const auto& t = found->second;
        std::printf(
            "compose: %-40s %s ms/frame, x memcpy %s (CPU %s)\n", what,
            bench::Format(bench::Summarise(t.real), "%.3f").c_str(),
            bench::Format(bench::Summarise(bench::Ratios(t.real, copy.real)), "%.1f").c_str(),
            bench::Format(bench::Summarise(bench::Ratios(t.cpu, copy.cpu)), "%.1f").c_str());
    }
    std::printf("compose: target: 3 opaque layers within 10 x memcpy\n");
    benchmark::Shutdown();
    return 0;
}
