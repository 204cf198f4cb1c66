// Memory of a scene larger than the picture cache: a working scene of 5,000
// and of 20,000 frames of 1920 x 1080 JPEGs (hard links of four distinct
// files: the cache keys on items, never on content), opened and played at
// 25 fps into a 1280 x 720 player view with a 1 GiB budget, one column and
// three columns. Prints resident memory after opening and after playing,
// frames shown and skipped (and skipped after the first second), the cache's
// figures, and the decode time of one picture as the baseline.
// Targets: resident memory at most budget + 400 MB; one column skips nothing
// after the first second; three columns skip at most 2 %.
//
//   bench_scene_memory [--quick] [--frames N] [--columns C] [--seconds S] [--budget-mb M]
// --quick: 500 frames, 5 s, 256 MiB. Without --frames both sizes run, and
// without --columns both column counts.

#include <sys/resource.h>
#include <unistd.h>

#include <gst/gst.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "movie/MovieScene.h"
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

double LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly)) return -1.0;
    return file.readLine().split(' ').value(0).toDouble();
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

class Sink final : public ICommandSink {
  public:
    explicit Sink(CXshtList& sheet) : sheet_(sheet) {}
    void SendCommand(int id) override {
        if (id == cmd::kSheetChanged) sheet_.Normalise();
    }
    void PostCommand(int) override {}

  private:
    CXshtList& sheet_;
};

struct Run {
    int frames;
    int columns;
    int seconds;
    std::int64_t budgetMb;
};

// The picture files: kDistinct JPEGs, linked under every frame's name.
bool MakeFiles(const QString& dir, int count, std::vector<QString>& sources) {
    for (int k = 0; k < kDistinct; ++k) {
        const QString path = dir + QStringLiteral("/source %1.jpg").arg(k);
        if (!Drawing(k).save(path, "JPEG", 90)) return false;
        sources.push_back(path);
    }
    for (int i = 0; i < count; ++i) {
        const QString path = dir + QStringLiteral("/pic %1.jpg").arg(i, 6, 10, QChar(u'0'));
        if (link(sources[static_cast<std::size_t>(i % kDistinct)].toLocal8Bit().constData(),
                 path.toLocal8Bit().constData()) != 0 &&
            !QFile::exists(path)) {
            return false;
        }
    }
    return true;
}

int Play(const Run& run, const QString& dir) {
    CMovieScene objects;
    Sink sink(objects.sheet);
    CSteadyPlayClock clock;
    CPlayTimer timer{clock};
    objects.settings.Set(FrameRate, kRate);
    objects.settings.Set(LoopMode, 0);
    objects.display.CreateDevice(kViewSize, 32);
    objects.display.Loader().SetCacheBudget(run.budgetMb * 1024 * 1024);

    for (int c = 0; c < run.columns; ++c) {
        CNode* column = objects.sheet.GetColumn(c, QStringLiteral("c%1").arg(c));
        for (int i = 0; i < run.frames; ++i) {
            // Each column its own items over the same files.
            const int file = (i + c * 7) % run.frames;
            CNode* item = objects.media.AddMediaFile(
                kTypeImage, dir + QStringLiteral("/pic %1.jpg").arg(file, 6, 10, QChar(u'0')));
            if (item == nullptr) return 1;
            column->children->append(CNode::NewCell(item));
        }
    }
    objects.sheet.Normalise();
    objects.media.RecomputeSummaries();
    objects.sheet.RecomputeSummaries();
    objects.sheet.SetCurrentFrame(0);

    QElapsedTimer opening;
    opening.start();
    objects.display.LoadPendingImages(true);
    const double openedMb = ResidentMb();
    std::printf(
        "scene_memory: %d frames x %d columns, budget %lld MiB: opened in %.1f s, "
        "resident %.0f MB\n",
        run.frames, run.columns, static_cast<long long>(run.budgetMb),
        static_cast<double>(opening.elapsed()) / 1000.0, openedMb);

    CPlayEngine::Links links;
    links.sheet = &objects.sheet;
    links.media = &objects.media;
    links.settings = &objects.settings;
    links.display = &objects.display;
    links.sound = &objects.sound;
    links.storage = &objects.storage;
    links.clock = &clock;
    links.ticks = &timer;
    CPlayMainPanel view(sink, links, nullptr);
    view.resize(kViewSize);
    view.show();
    QApplication::processEvents();
    CPlayEngine& engine = view.Engine();
    engine.GoToFrame(0);
    view.OnCommand(cmd::kPlay);
    if (!engine.IsPlaying()) {
        std::fprintf(stderr, "scene_memory: the run did not start\n");
        return 1;
    }
    std::uint32_t skippedFirstSecond = 0;
    QTimer::singleShot(std::chrono::seconds(1), Qt::PreciseTimer, &view,
                       [&] { skippedFirstSecond = engine.Statistics().skippedFrames; });
    QEventLoop loop;
    QTimer::singleShot(std::chrono::seconds(run.seconds), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec();
    const PlayStatistics statistics = engine.Statistics();
    const double playedMb = ResidentMb();
    view.OnCommand(cmd::kPlay);
    const PictureCacheStatistics cache = objects.display.CacheStatistics();
    const auto ticks = static_cast<std::uint32_t>(run.seconds * kRate);
    const std::uint32_t later = statistics.skippedFrames - skippedFirstSecond;
    std::printf(
        "scene_memory:   after %d s: resident %.0f MB (budget + %.0f MB); about %u ticks, "
        "%u skipped (%.1f %%), %u after the first second\n",
        run.seconds, playedMb, playedMb - static_cast<double>(run.budgetMb), ticks,
        statistics.skippedFrames, 100.0 * statistics.skippedFrames / ticks, later);
    std::printf(
        "scene_memory:   cache %.0f of %.0f MiB in %d textures, thumbnails %.1f MiB, "
        "%llu hits, %llu misses\n",
        static_cast<double>(cache.bytes) / 1048576.0, static_cast<double>(cache.budget) / 1048576.0,
        cache.textures, static_cast<double>(cache.thumbnailBytes) / 1048576.0,
        static_cast<unsigned long long>(cache.hits), static_cast<unsigned long long>(cache.misses));
    return 0;
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
    std::int64_t budgetMb = 1024;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool more = i + 1 < argc;
        if (arg == "--quick") {
            sizes = {500};
            seconds = 5;
            budgetMb = 256;
        } else if (arg == "--frames" && more) {
            sizes = {std::atoi(argv[++i])};
        } else if (arg == "--columns" && more) {
            columns = {std::atoi(argv[++i])};
        } else if (arg == "--seconds" && more) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--budget-mb" && more) {
            budgetMb = std::atoll(argv[++i]);
        } else {
            std::fprintf(stderr, "scene_memory: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }

    QTemporaryDir dir;
    std::vector<QString> sources;
    int largest = 0;
    for (int size : sizes)
        largest = std::max(largest, size);
    if (!dir.isValid() || !MakeFiles(dir.path(), largest, sources)) {
        std::fprintf(stderr, "scene_memory: could not write the pictures\n");
        return 1;
    }
    // The baseline: one picture decoded at the view's size, as a worker does.
    QElapsedTimer decoding;
    decoding.start();
    constexpr int kDecodes = 20;
    for (int i = 0; i < kDecodes; ++i)
        DecodeImage(sources[i % kDistinct], {kViewSize, TextureFormat::X8R8G8B8});
    const double decodeMs = static_cast<double>(decoding.nsecsElapsed()) / 1e6 / kDecodes;
    std::printf(
        "scene_memory: baseline: one 1920 x 1080 JPEG decoded for the view in %.1f ms "
        "(%.0f %% of a 40 ms frame); resident at start %.0f MB; load average %.2f\n",
        decodeMs, 100.0 * decodeMs / 40.0, ResidentMb(), LoadAverage());
    for (int size : sizes) {
        for (int count : columns) {
            if (Play({size, count, seconds, budgetMb}, dir.path()) != 0) return 1;
        }
    }
    std::printf("scene_memory: load average %.2f at the end (2 cores)\n", LoadAverage());
    std::printf(
        "scene_memory: targets: resident <= budget + 400 MB; 1 column 0 skipped after "
        "the first second; 3 columns <= 2 %% skipped\n");
    return 0;
}
