// Movie export to H.264/AAC MP4 at 1920 x 1080 against the tools animators
// would otherwise use, each encoding exactly the pictures the export encodes:
//
//   twos:     250 frames in three picture columns (a background held
//             throughout and two drawing layers on twos) and a sound column:
//             125 distinct pictures, each shown twice.
//   distinct: 250 distinct pictures in one column, no sound.
//
// Baselines, over JPEG files numbered in play order (a repeated frame is a
// hard link to the same file, so that they read it once more; the twos
// scene's frames are its composed pictures):
//   plain:  multifilesrc ! jpegdec ! videoconvert ! x264enc ! mp4mux ! filesink
//   ffmpeg: ffmpeg -framerate 25 -i img%04d.jpg -c:v libx264 ... (when installed)
// All three encode with the x264 settings of the export's encoder: x264enc's
// own (preset medium, no tune, constant bitrate 2048 kbit/s with a 1228 kbit
// VBV buffer, a key frame at most every 250 frames, threads chosen by x264);
// the options each wrote into its stream are compared at the end.
// Then the raw AVI export in MB/s next to dd writing as many bytes.
//
// Each side runs kRuns times, the sides taking turns; figures are medians
// with the lowest and highest run. Targets: distinct >= 1.0x ffmpeg, twos
// >= 1.1x ffmpeg, both >= 1.0x the plain pipeline.

#include <gst/gst.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "bench/BenchReport.h"
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
constexpr int kFrameRate = 25;
const QSize kSize(1920, 1080);
// The settings x264enc runs with when nothing is set, which the movie
// writer's chain leaves as they are: for the two baselines.
const char* const kX264Args[] = {"-preset", "medium",   "-b:v",  "2048k", "-maxrate",
                                 "2048k",   "-bufsize", "1228k", "-g",    "250"};

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;  // every thread (the encoder's too), or the child's
    bool ok = false;
    std::string error;
};

// Times `work`, counting the CPU of this process and of its children.
Run Timed(const std::function<std::string()>& work) {
    const double cpu = CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    Run run;
    run.error = work();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpuSeconds = CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN) - cpu;
    run.ok = run.error.empty();
    return run;
}

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

// JPEG at quality 90, 4:2:0 as cameras write them (and as ffmpeg then
// encodes without converting the pictures).
bool WriteJpeg(const QImage& image, const QString& path) {
    tjhandle handle = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    const bool made = tjCompress2(handle, image.constBits(), image.width(),
                                  static_cast<int>(image.bytesPerLine()), image.height(), TJPF_BGRX,
                                  &bytes, &size, TJSAMP_420, 90, 0) == 0;
    tjDestroy(handle);
    bool written = false;
    if (made) {
        QFile file(path);
        written = file.open(QIODevice::WriteOnly) &&
                  file.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(size)) ==
                      static_cast<qint64>(size);
    }
    tjFree(bytes);
    return written;
}

// Runs `make(i)` for i in [0, count) on two threads.
void OnTwoThreads(int count, const std::function<void(int)>& make) {
    auto other = std::async(std::launch::async, [&] {
        for (int i = 1; i < count; i += 2)
            make(i);
    });
    for (int i = 0; i < count; i += 2)
        make(i);
    other.get();
}

QString Numbered(const QString& folder, int index) {
    return QStringLiteral("%1/img%2.jpg").arg(folder).arg(index, 4, 10, QLatin1Char('0'));
}

// The frames a baseline reads: frame f is `picture(f)`'s file, hard-linked.
bool LinkSequence(const QString& folder, const std::function<QString(int)>& picture) {
    QDir().mkpath(folder);
    for (int f = 0; f < kFrames; ++f) {
        if (::link(QFile::encodeName(picture(f)).constData(),
                   QFile::encodeName(Numbered(folder, f)).constData()) != 0) {
            return false;
        }
    }
    return true;
}

void WriteMusic(const QString& path) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    std::vector<std::int16_t> samples(48000 * 2 * kFrames / kFrameRate);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((i * 37) % 20000 - 10000);
    sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// One case: its pictures, the play-order JPEGs for the baselines, and how
// to lay out its scene (one engine at a time: the program has one).
struct Case {
    const char* name;
    QString sequence;  // img0000.jpg ... in play order
    int distinct = 0;
    std::function<void(CEngine&)> build;
    bool made = false;
};

// The engine with a player view whose textures the idle loader has made.
std::unique_ptr<CEngine> NewScene(const Case& c) {
    auto scene = std::make_unique<CEngine>(CEngine::Headless{});
    scene->display.CreateDevice(QSize(960, 540));
    c.build(*scene);
    scene->sheet.SetCurrentFrame(0);
    scene->sheet.RecomputeSummaries();
    scene->sheet.Normalise();
    scene->display.LoadPendingImages(true);
    return scene;
}

void AddColumn(CEngine& scene, int index, const QString& name,
               const std::function<CNode*(int)>& cellOf) {
    CNode* level = scene.sheet.GetColumn(index, name);
    for (int f = 0; f < kFrames; ++f)
        level->children->append(CNode::NewCell(cellOf(f)));
}

std::vector<CNode*> AddImages(CEngine& scene, const QString& folder, int count) {
    std::vector<CNode*> images;
    for (int i = 0; i < count; ++i)
        images.push_back(scene.media.AddMediaFile(kTypeImage, Numbered(folder, i)));
    return images;
}

// Background held, two layers on twos, music; the baselines get the
// composed pictures (multiplied layers, as the export draws them).
Case MakeTwos(const QString& root) {
    const QString folder = root + "/twos";
    const QString music = root + "/music.wav";
    Case made{"twos", root + "/twos-sequence", kFrames / 2, [folder, music](CEngine& scene) {
                  const std::vector<CNode*> images = AddImages(scene, folder, kFrames);
                  AddColumn(scene, 0, QStringLiteral("background"), [&](int) { return images[0]; });
                  AddColumn(scene, 1, QStringLiteral("walk"), [&](int f) { return images[f / 2]; });
                  AddColumn(scene, 2, QStringLiteral("rain"),
                            [&](int f) { return images[kFrames / 2 + f / 2]; });
                  CNode* sound = scene.media.AddMediaFile(kTypeSound, music);
                  scene.sheet.SetCurrentFrame(0);
                  scene.sheet.PlaceSound(sound);
              }};
    QDir().mkpath(folder);
    OnTwoThreads(kFrames, [&](int i) { WriteJpeg(Drawing(i), Numbered(folder, i)); });
    const QString composed = root + "/twos-composed";
    QDir().mkpath(composed);
    OnTwoThreads(kFrames / 2, [&](int k) {
        QImage frame(Numbered(folder, 0));
        QPainter painter(&frame);
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        painter.drawImage(0, 0, QImage(Numbered(folder, k)));
        painter.drawImage(0, 0, QImage(Numbered(folder, kFrames / 2 + k)));
        painter.end();
        WriteJpeg(frame.convertToFormat(QImage::Format_RGB32), Numbered(composed, k));
    });
    WriteMusic(music);
    made.made = LinkSequence(made.sequence, [&](int f) { return Numbered(composed, f / 2); });
    return made;
}

// Every frame its own picture, one column: the pictures are the sequence.
Case MakeDistinct(const QString& root) {
    const QString folder = root + "/distinct";
    Case made{"distinct", folder, kFrames, [folder](CEngine& scene) {
                  const std::vector<CNode*> images = AddImages(scene, folder, kFrames);
                  AddColumn(scene, 0, QStringLiteral("shots"), [&](int f) { return images[f]; });
              }};
    QDir().mkpath(folder);
    OnTwoThreads(kFrames, [&](int i) { WriteJpeg(Drawing(1000 + i), Numbered(folder, i)); });
    made.made = true;
    return made;
}

std::string Export(CEngine& scene, const QString& path, const char* codec) {
    CNoProgress progress;
    CMovieWriter& writer = scene.Writer();
    const Result result = writer.WriteMovie(path, QString(), QString::fromLatin1(codec),
                                            QRect(QPoint(0, 0), kSize), 2, progress);
    return result == kOk ? std::string() : writer.ErrorDetail().toStdString();
}

// A gst-launch pipeline run to its end.
std::string RunPipeline(const QByteArray& description) {
    GError* error = nullptr;
    GstElementPtr pipeline(gst_parse_launch(description.constData(), &error));
    if (error != nullptr) {
        std::string message = error->message;
        g_error_free(error);
        return message;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    // Bounded, so that a pipeline that stalls ends the run with a message.
    GstMessagePtr done(gst_bus_timed_pop_filtered(
        bus.get(), 10 * 60 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (done == nullptr) return "the pipeline stalled";
    if (GST_MESSAGE_TYPE(done.get()) == GST_MESSAGE_ERROR) return "the pipeline failed";
    return {};
}

std::string Plain(const QString& sequence, const QString& out) {
    return RunPipeline("multifilesrc location=\"" + QFile::encodeName(sequence) +
                       "/img%04d.jpg\" index=0 stop-index=" + QByteArray::number(kFrames - 1) +
                       " caps=image/jpeg,framerate=" + QByteArray::number(kFrameRate) +
                       "/1 ! jpegdec ! videoconvert ! video/x-raw,format=I420 ! x264enc ! "
                       "mp4mux ! filesink location=\"" +
                       QFile::encodeName(out) + "\"");
}

std::string Ffmpeg(const QString& program, const QString& sequence, const QString& out) {
    QStringList args{"-hide_banner", "-loglevel",
                     "error",        "-y",
                     "-framerate",   QString::number(kFrameRate),
                     "-i",           sequence + "/img%04d.jpg",
                     "-c:v",         "libx264"};
    for (const char* arg : kX264Args)
        args << QString::fromLatin1(arg);
    args << out;
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(10 * 60 * 1000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return "ffmpeg failed: " + process.readAllStandardError().trimmed().toStdString();
    }
    return {};
}

// The x264 options an encoder wrote into the stream's first SEI.
QStringList X264Options(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.read(4 << 20);
    const qsizetype at = bytes.indexOf("options: ");
    if (at < 0) return {};
    const qsizetype end = bytes.indexOf('\0', at);
    return QString::fromLatin1(bytes.mid(at + 9, end < 0 ? -1 : end - at - 9))
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// "alike", or the options where `other` differs from `ours`.
std::string Differences(const QStringList& ours, const QStringList& other) {
    if (ours.isEmpty() || other.isEmpty()) return "unknown (no x264 options found)";
    QStringList differ;
    for (const QString& option : other) {
        if (!ours.contains(option)) differ << option;
    }
    return differ.isEmpty() ? "alike" : "differs in " + differ.join(QLatin1Char(' ')).toStdString();
}

struct Side {
    std::string name;
    std::function<std::string()> work;
    std::vector<Run> runs;
};

std::vector<double> Fps(const Side& side, int frames) {
    std::vector<double> values;
    for (const Run& run : side.runs) {
        if (run.ok) values.push_back(frames / run.seconds);
    }
    return values;
}

void Report(const char* title, std::vector<Side>& sides, int frames, const char* unit = "fps") {
    std::printf("movie %s:\n", title);
    for (const Side& side : sides) {
        const std::vector<double> fps = Fps(side, frames);
        if (fps.size() != side.runs.size()) {
            for (const Run& run : side.runs) {
                if (!run.ok)
                    std::printf("  %-8s failed: %s\n", side.name.c_str(), run.error.c_str());
            }
            continue;
        }
        std::vector<double> cpu;
        for (const Run& run : side.runs)
            cpu.push_back(1000 * run.cpuSeconds / kFrames);
        std::printf("  %-8s %s %s, CPU %s ms/frame\n", side.name.c_str(),
                    bench::Format(bench::Summarise(fps), "%.1f").c_str(), unit,
                    bench::Format(bench::Summarise(cpu), "%.1f").c_str());
    }
    // Ratios run by run (the sides took turns): above 1, the export is faster.
    const Side& ours = sides.front();
    for (std::size_t s = 1; s < sides.size(); ++s) {
        std::vector<double> ratios;
        for (std::size_t r = 0; r < ours.runs.size() && r < sides[s].runs.size(); ++r) {
            if (ours.runs[r].ok && sides[s].runs[r].ok)
                ratios.push_back(sides[s].runs[r].seconds / ours.runs[r].seconds);
        }
        if (ratios.size() < ours.runs.size()) continue;
        std::printf("  export / %s: %s\n", sides[s].name.c_str(),
                    bench::Format(bench::Summarise(ratios)).c_str());
    }
    std::fflush(stdout);
}

void RunInTurns(std::vector<Side>& sides) {
    for (int r = 0; r < bench::kRuns; ++r) {
        for (Side& side : sides)
            side.runs.push_back(Timed(side.work));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    InitMediaFramework();
    bench::MachineReport machine("bench_movie");
    QTemporaryDir root(QDir::tempPath() + "/kolvane-bench-movie-XXXXXX");
    const QString out = root.path() + "/out";
    QDir().mkpath(out);
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    std::printf("movie: making the pictures of two scenes, %d frames of %dx%d...\n", kFrames,
                kSize.width(), kSize.height());
    std::fflush(stdout);
    Case cases[] = {MakeTwos(root.path()), MakeDistinct(root.path())};
    if (ffmpeg.isEmpty())
        std::printf("movie: ffmpeg is not installed: no peer baseline (make bench installs it)\n");

    std::map<std::string, QStringList> options;
    for (Case& c : cases) {
        if (!c.made) {
            std::printf("movie: the %s case could not be made\n", c.name);
            continue;
        }
        const std::unique_ptr<CEngine> scene = NewScene(c);
        const QString prefix = out + QLatin1Char('/') + QLatin1String(c.name);
        std::vector<Side> sides;
        sides.push_back(
            {"export", [&] { return Export(*scene, prefix + "-export.mp4", "H.264/AVC"); }, {}});
        sides.push_back({"plain", [&] { return Plain(c.sequence, prefix + "-plain.mp4"); }, {}});
        if (!ffmpeg.isEmpty()) {
            sides.push_back(
                {"ffmpeg", [&] { return Ffmpeg(ffmpeg, c.sequence, prefix + "-ffmpeg.mp4"); }, {}});
        }
        RunInTurns(sides);
        char title[128];
        std::snprintf(title, sizeof title, "%s, H.264 MP4 %dx%d, %d frames (%d distinct)", c.name,
                      kSize.width(), kSize.height(), kFrames, c.distinct);
        Report(title, sides, kFrames);
        for (const Side& side : sides) {
            const QString movie = prefix + "-" + QString::fromStdString(side.name) + ".mp4";
            options[side.name] = X264Options(movie);
            QFile::remove(movie);
        }
        if (&c != &cases[0]) continue;

        // Uncompressed: the writer's own work and the disk, next to dd.
        const qint64 megabytes = static_cast<qint64>(static_cast<double>(kFrames) * kSize.width() *
                                                     kSize.height() * 3 / 1e6);
        std::vector<Side> raw;
        raw.push_back({"export", [&] { return Export(*scene, out + "/raw.avi", "none"); }, {}});
        raw.push_back({"dd",
                       [&] {
                           const int code = QProcess::execute(
                               QStringLiteral("dd"),
                               {"if=/dev/zero", "of=" + out + "/dd.bin", "bs=1000000",
                                "count=" + QString::number(megabytes), "status=none"});
                           return code == 0 ? std::string() : std::string("dd failed");
                       },
                       {}});
        RunInTurns(raw);
        char rawTitle[128];
        std::snprintf(rawTitle, sizeof rawTitle,
                      "raw AVI of the twos scene against dd of as many bytes (%lld MB a run)",
                      static_cast<long long>(megabytes));
        Report(rawTitle, raw, kFrames);
        QFile::remove(out + "/raw.avi");
        QFile::remove(out + "/dd.bin");
    }
    std::printf("movie: x264 options of the plain pipeline against the export's: %s\n",
                Differences(options["export"], options["plain"]).c_str());
    if (!ffmpeg.isEmpty()) {
        std::printf("movie: x264 options of ffmpeg against the export's: %s\n",
                    Differences(options["export"], options["ffmpeg"]).c_str());
    }
    return 0;
}
