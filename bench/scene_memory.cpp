// Memory of a scene larger than the picture cache: a working scene of 5,000
// and of 20,000 frames of 1920 x 1080 JPEGs (hard links of four distinct
// files under every frame's own name: the cache keys on items, never on
// content), opened and played at 25 fps into a 1280 x 720 player view with a
// 1 GiB budget, one column and three columns (each its own pictures). Prints
// resident memory after opening and after playing, frames shown and skipped
// (and skipped after the first second), the cache's figures, and as the
// baseline the decode time of one picture for the view.
// Targets: resident memory at most budget + 400 MB; one column skips nothing
// after the first second; three columns skip at most 2 %.
//
//   bench_scene_memory [--quick] [--frames N] [--columns C] [--seconds S]
//                      [--budget-mb M] [--runs R]
// Without --frames both sizes run, without --columns both column counts;
// each case runs R times (3), in a process of its own so that one case's
// memory is not counted in the next, and prints the median and spread.
// --quick: 500 frames, 5 s, 256 MiB, one run. The whole of it (12 runs of
// 30 s, a few seconds to open each) takes about 7 minutes on 2 cores.

#include <unistd.h>

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
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
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
#include "ui/PlayMainPanel.h"

namespace {

using namespace kolvane;

constexpr int kRate = 25;
const QSize kImageSize(1920, 1080);
const QSize kViewSize(1280, 720);
constexpr int kDistinct = 4;

double ResidentMb() {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) return -1.0;
    for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1.0;
}

QImage Drawing(int seed) {
    QImage image(kImageSize, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 70 % 360, 40, 230));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromHsv(seed * 37 % 360, 160, 90), 8));
    for (int i = 0; i < 12; ++i)
        painter.drawEllipse((seed * 53 + i * 150) % 1800, (seed * 29 + i * 80) % 1000, 120, 90);
    return image;
}

QString PicturePath(const QString& dir, int column, int frame) {
    return dir + QStringLiteral("/c%1 pic %2.jpg").arg(column).arg(frame, 6, 10, QChar(u'0'));
}

// The picture files: kDistinct JPEGs, linked under every column's and
// frame's name (one link each: no per-file walk of the folder).
bool MakeFiles(const QString& dir, int frames, int columns, std::vector<QString>& sources) {
    for (int k = 0; k < kDistinct; ++k) {
        const QString path = dir + QStringLiteral("/source %1.jpg").arg(k);
        if (!Drawing(k).save(path, "JPEG", 90)) return false;
        sources.push_back(path);
    }
    for (int c = 0; c < columns; ++c) {
        for (int i = 0; i < frames; ++i) {
            const QByteArray source =
                sources[static_cast<std::size_t>((i + c) % kDistinct)].toLocal8Bit();
            const QByteArray path = PicturePath(dir, c, i).toLocal8Bit();
            if (link(source.constData(), path.constData()) != 0) return false;
        }
    }
    return true;
}

// Passes the timer's ticks on, counting them and the frames skipped by the
// end of the first second.
class CountingTicks final : public ITickSource {
  public:
    CountingTicks(ITickSource& inner, const CPlayEngine* const& engine)
        : inner_(inner), engine_(engine) {}
    bool Start(FramePeriod period, Handler onTick) override {
        return inner_.Start(period, [this, onTick](const PlayTick& tick) {
            onTick(tick);
            if (++ticks == kRate && engine_ != nullptr)
                skippedFirstSecond = engine_->Statistics().skippedFrames;
        });
    }
    void Stop() override { inner_.Stop(); }
    bool IsRunning() const override { return inner_.IsRunning(); }

    std::uint32_t ticks = 0;
    std::uint32_t skippedFirstSecond = 0;

  private:
    ITickSource& inner_;
    const CPlayEngine* const& engine_;
};

struct Case {
    int frames = 0;
    int columns = 0;
};

// What one run of a case measured.
struct Figures {
    double openSeconds = 0, openedMb = 0, playedMb = 0;
    double ticks = 0, skipped = 0, skippedLater = 0;
    double cacheMb = 0, textures = 0, thumbnailMb = 0, hits = 0, misses = 0;
};

// One case in this process: prints one "figures" line for the parent.
int PlayCase(const Case& c, const QString& dir, int seconds, std::int64_t budgetMb) {
    CEngine objects{CEngine::Headless{}};
    bench::SheetSink sink(objects.sheet);
    CSteadyPlayClock clock;
    CPlayTimer timer{clock};
    const CPlayEngine* engine = nullptr;
    CountingTicks ticks(timer, engine);
    objects.settings.Set(FrameRate, kRate);
    objects.settings.Set(LoopMode, 0);
    objects.display.CreateDevice(kViewSize, 32);
    objects.display.Loader().SetCacheBudget(budgetMb * 1024 * 1024);

    QElapsedTimer opening;
    opening.start();
    {
        CMdiaList::CBulkAdd bulk(objects.media);
        for (int col = 0; col < c.columns; ++col) {
            CNode* column = objects.sheet.GetColumn(col, QStringLiteral("c%1").arg(col));
            for (int i = 0; i < c.frames; ++i) {
                CNode* item = objects.media.AddMediaFile(kTypeImage, PicturePath(dir, col, i));
                if (item == nullptr) return 1;
                column->children->append(CNode::NewCell(item));
            }
        }
    }
    bench::Settle(objects);
    objects.display.LoadPendingImages(true);
    const double openSeconds = static_cast<double>(opening.elapsed()) / 1000.0;
    const double openedMb = ResidentMb();

    std::unique_ptr<CPlayMainPanel> view =
        bench::ShowPlayer(objects, sink, clock, ticks, kViewSize);
    if (view == nullptr) return 1;
    engine = &view->Engine();
    view->Engine().GoToFrame(0);
    view->OnCommand(cmd::kPlay);
    if (!view->Engine().IsPlaying()) {
        std::fprintf(stderr, "scene_memory: the run did not start\n");
        return 1;
    }
    QEventLoop loop;
    QTimer::singleShot(std::chrono::seconds(seconds), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    const PlayStatistics statistics = view->Engine().Statistics();
    const double playedMb = ResidentMb();
    view->OnCommand(cmd::kPlay);
    const PictureCacheStatistics cache = objects.display.CacheStatistics();
    constexpr double kMiB = 1048576.0;
    std::printf(
        "figures %.3f %.1f %.1f %u %u %u %.1f %d %.2f %llu %llu\n", openSeconds, openedMb, playedMb,
        ticks.ticks, statistics.skippedFrames, statistics.skippedFrames - ticks.skippedFirstSecond,
        static_cast<double>(cache.bytes) / kMiB, cache.textures,
        static_cast<double>(cache.thumbnailBytes) / kMiB,
        static_cast<unsigned long long>(cache.hits), static_cast<unsigned long long>(cache.misses));
    return 0;
}

bool ParseFigures(const QByteArray& output, Figures& f) {
    for (const QByteArray& line : output.split('\n')) {
        if (!line.startsWith("figures ")) continue;
        const QList<QByteArray> v = line.mid(8).split(' ');
        if (v.size() != 11) return false;
        double* out[] = {&f.openSeconds, &f.openedMb,     &f.playedMb, &f.ticks,
                         &f.skipped,     &f.skippedLater, &f.cacheMb,  &f.textures,
                         &f.thumbnailMb, &f.hits,         &f.misses};
        for (int i = 0; i < 11; ++i)
            *out[i] = v[i].toDouble();
        return true;
    }
    return false;
}

bench::Spread Of(const std::vector<Figures>& runs, double Figures::*field) {
    std::vector<double> values;
    for (const Figures& f : runs)
        values.push_back(f.*field);
    return bench::Summarise(values);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("KOLVANE_AUDIO_SINK", "fakesink", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    gst_init(&argc, &argv);

    std::vector<int> sizes{5000, 20000};
    std::vector<int> columns{1, 3};
    int seconds = 30;
    int runs = bench::kRuns;
    std::int64_t budgetMb = 1024;
    QString caseDir;  // set: one case in this process, for the parent
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool more = i + 1 < argc;
        if (arg == "--quick") {
            sizes = {500};
            seconds = 5;
            budgetMb = 256;
            runs = 1;
        } else if (arg == "--frames" && more) {
            sizes = {std::atoi(argv[++i])};
        } else if (arg == "--columns" && more) {
            columns = {std::atoi(argv[++i])};
        } else if (arg == "--seconds" && more) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--budget-mb" && more) {
            budgetMb = std::atoll(argv[++i]);
        } else if (arg == "--runs" && more) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--case-in" && more) {
            caseDir = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "scene_memory: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (!caseDir.isEmpty())
        return PlayCase({sizes.front(), columns.front()}, caseDir, seconds, budgetMb);

    bench::MachineReport machine("scene_memory");
    const int largest = *std::max_element(sizes.begin(), sizes.end());
    const int widest = *std::max_element(columns.begin(), columns.end());
    QTemporaryDir dir;
    std::vector<QString> sources;
    QElapsedTimer making;
    making.start();
    if (!dir.isValid() || !MakeFiles(dir.path(), largest, widest, sources)) {
        std::fprintf(stderr, "scene_memory: could not write the pictures\n");
        return 1;
    }
    std::printf("scene_memory: %d pictures (%d distinct files, hard links) made in %.1f s\n",
                largest * widest, kDistinct, static_cast<double>(making.elapsed()) / 1000.0);

    // The baseline: one picture decoded at the view's size, as a worker does.
    std::vector<double> decodeMs;
    for (int run = 0; run < std::max(runs, bench::kRuns); ++run) {
        constexpr int kDecodes = 20;
        QElapsedTimer decoding;
        decoding.start();
        for (int i = 0; i < kDecodes; ++i)
            DecodeImage(sources[static_cast<std::size_t>(i % kDistinct)],
                        {kViewSize, TextureFormat::X8R8G8B8});
        decodeMs.push_back(static_cast<double>(decoding.nsecsElapsed()) / 1e6 / kDecodes);
    }
    const bench::Spread decode = bench::Summarise(decodeMs);
    std::printf(
        "scene_memory: baseline: one 1920 x 1080 JPEG decoded for the 1280 x 720 view in %s ms "
        "(median %.0f %% of a 40 ms frame)\n",
        bench::Format(decode, "%.1f").c_str(), 100.0 * decode.median / 40.0);
    std::printf(
        "scene_memory: %d run(s) of %d s a case, each case in its own process; "
        "budget %lld MiB\n",
        runs, seconds, static_cast<long long>(budgetMb));
    std::fflush(stdout);

    std::vector<Case> cases;
    for (int size : sizes) {
        for (int count : columns)
            cases.push_back({size, count});
    }
    // Runs go round the cases, so that a change of load falls on all of them.
    std::map<std::pair<int, int>, std::vector<Figures>> results;
    for (int run = 0; run < runs; ++run) {
        for (const Case& c : cases) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(
                QCoreApplication::applicationFilePath(),
                {QStringLiteral("--frames"), QString::number(c.frames), QStringLiteral("--columns"),
                 QString::number(c.columns), QStringLiteral("--seconds"), QString::number(seconds),
                 QStringLiteral("--budget-mb"), QString::number(budgetMb),
                 QStringLiteral("--case-in"), dir.path()});
            Figures f;
            if (!child.waitForFinished(-1) || child.exitCode() != 0 ||
                !ParseFigures(child.readAllStandardOutput(), f)) {
                std::fprintf(stderr, "scene_memory: the case %d x %d failed\n", c.frames,
                             c.columns);
                return 1;
            }
            std::printf(
                "scene_memory:   run %d, %5d frames x %d: opened in %.1f s, resident %.0f MB "
                "opened, %.0f MB played; %.0f ticks, %.0f skipped, %.0f after the first second\n",
                run + 1, c.frames, c.columns, f.openSeconds, f.openedMb, f.playedMb, f.ticks,
                f.skipped, f.skippedLater);
            std::fflush(stdout);
            results[{c.frames, c.columns}].push_back(f);
        }
    }

    std::printf("scene_memory: median (lowest-highest) of %d run(s):\n", runs);
    for (const Case& c : cases) {
        const std::vector<Figures>& r = results[{c.frames, c.columns}];
        std::vector<Figures> shares = r;
        for (Figures& f : shares) {
            f.skipped = f.ticks > 0 ? 100.0 * f.skipped / f.ticks : 0.0;
            f.playedMb -= static_cast<double>(budgetMb);
        }
        std::printf(
            "scene_memory: %5d frames x %d column(s): opened in %s s; resident %s MB opened, %s "
            "MB after %d s (budget + %s MB)\n",
            c.frames, c.columns, bench::Format(Of(r, &Figures::openSeconds), "%.1f").c_str(),
            bench::Format(Of(r, &Figures::openedMb), "%.0f").c_str(),
            bench::Format(Of(r, &Figures::playedMb), "%.0f").c_str(), seconds,
            bench::Format(Of(shares, &Figures::playedMb), "%.0f").c_str());
        std::printf(
            "scene_memory:        %s ticks, %s skipped (%s %%), %s after the first second; "
            "cache %s MiB in %s textures, thumbnails %s MiB, %s hits, %s misses\n",
            bench::Format(Of(r, &Figures::ticks), "%.0f").c_str(),
            bench::Format(Of(r, &Figures::skipped), "%.0f").c_str(),
            bench::Format(Of(shares, &Figures::skipped), "%.1f").c_str(),
            bench::Format(Of(r, &Figures::skippedLater), "%.0f").c_str(),
            bench::Format(Of(r, &Figures::cacheMb), "%.0f").c_str(),
            bench::Format(Of(r, &Figures::textures), "%.0f").c_str(),
            bench::Format(Of(r, &Figures::thumbnailMb), "%.1f").c_str(),
            bench::Format(Of(r, &Figures::hits), "%.0f").c_str(),
            bench::Format(Of(r, &Figures::misses), "%.0f").c_str());
    }
    std::printf(
        "scene_memory: targets: resident <= budget + 400 MB; 1 column 0 skipped after the first "
        "second; 3 columns <= 2 %% skipped\n");
    return 0;
}
