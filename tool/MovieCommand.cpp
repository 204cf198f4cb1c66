#include "tool/MovieCommand.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>

#include <QDir>
#include <QFileInfo>

#include "engine/Engine.h"
#include "model/MediaInfo.h"
#include "model/Node.h"
#include "movie/MovieFrame.h"
#include "movie/MoviePipeline.h"
#include "platform/Progress.h"
#include "platform/StringTable.h"
#include "storage/Import.h"
#include "storage/MediaFiles.h"
#include "tool/ToolMain.h"

namespace kolvane::tool {
namespace {

struct MovieOptions {
    QString folder;
    QString out;
    std::optional<QSize> size;
    QString reduction;
    int fit = kFitInside;
    std::optional<int> frameRate;
};

std::optional<QString> Parse(const QStringList& args, MovieOptions& options) {
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QLatin1String("--"))) {
            positional << arg;
            continue;
        }
        if (i + 1 >= args.size()) return QStringLiteral("%1 needs a value").arg(arg);
        const QString& value = args[++i];
        if (arg == QLatin1String("--size")) {
            const QStringList parts = value.toLower().split(QLatin1Char('x'));
            bool wide = false;
            bool high = false;
            const int width = parts.size() == 2 ? parts[0].toInt(&wide) : 0;
            const int height = parts.size() == 2 ? parts[1].toInt(&high) : 0;
            if (!wide || !high || width < 16 || height < 16 || width > 8192 || height > 8192)
                return QStringLiteral("--size must be WIDTHxHEIGHT, each from 16 to 8192");
            options.size = QSize(width, height);
        } else if (arg == QLatin1String("--reduction")) {
            options.reduction = value;
        } else if (arg == QLatin1String("--fit")) {
            if (value == QLatin1String("stretch")) {
                options.fit = kFitStretch;
            } else if (value == QLatin1String("inside")) {
                options.fit = kFitInside;
            } else if (value == QLatin1String("fill")) {
                options.fit = kFitFill;
            } else {
                return QStringLiteral("--fit must be stretch, inside or fill");
            }
        } else if (arg == QLatin1String("--frame-rate")) {
            bool ok = false;
            const int rate = value.toInt(&ok);
            if (!ok || !CSettings::IsValid(FrameRate, rate))
                return QStringLiteral("--frame-rate must be 15, 24, 25 or 30");
            options.frameRate = rate;
        } else {
            return QStringLiteral("unknown option '%1'").arg(arg);
        }
    }
    if (positional.size() != 2) return QStringLiteral("movie needs SCENE_FOLDER and OUT");
    options.folder = positional[0];
    options.out = positional[1];
    const std::optional<MovieContainer> container = ContainerOfPath(options.out);
    if (!container) return QStringLiteral("OUT must end in .mp4 or .avi");
    if (options.reduction.isEmpty()) {
        options.reduction = *container == MovieContainer::kMp4 ? QStringLiteral("H.264/AVC")
                                                               : QStringLiteral("none");
    }
    return std::nullopt;
}

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
    g_interrupted = true;
}

// Ctrl-C aborts the movie (the writer then deletes the partial file)
// instead of leaving a file that no player can open.
class CInterruptGuard {
  public:
    CInterruptGuard() {
        g_interrupted = false;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~CInterruptGuard() {
        sigaction(SIGINT, &previous_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

  private:
    struct sigaction previous_ {};
    struct sigaction previousTerm_ {};
};

// A progress bar on standard error when that is a terminal; silent
// otherwise. An interrupt answers "abort".
class CTerminalProgress final : public IProgress {
  public:
    CTerminalProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {}

    void Open(int titleId, int) override {
        title_ = StringText(titleId).toUtf8();
        total_ = 0;
        shown_ = -1;
        open_ = true;
    }
    void SetRange(int total) override { total_ = std::max(0, total); }
    int Step(int position) override {
        if (terminal_ && total_ > 0) {
            const int percent = static_cast<int>(100LL * std::clamp(position, 0, total_) / total_);
            if (percent != shown_) {
                constexpr int kWidth = 30;
                const int filled = percent * kWidth / 100;
                std::fprintf(stderr, "\r%s [%.*s%*s] %3d%% %d/%d", title_.constData(), filled,
                             "##############################", kWidth - filled, "", percent,
                             position, total_);
                std::fflush(stderr);
                shown_ = percent;
            }
        }
        return g_interrupted ? kAbort : kGoOn;
    }
    void Close() override {
        if (terminal_ && shown_ >= 0) std::fprintf(stderr, "\n");
        open_ = false;
    }
    bool IsOpen() const override { return open_; }

  private:
    const bool terminal_;
    QByteArray title_;
    int total_ = 0;
    int shown_ = -1;
    bool open_ = false;
};

void PrintDetail(const QString& detail) {
    if (!detail.isEmpty()) std::fprintf(stderr, "kolvane-tool: %s\n", detail.toUtf8().constData());
}

}  // namespace

int RunMovie(const QStringList& args) {
    MovieOptions options;
    if (auto usage = Parse(args, options)) return UsageError(*usage);

    const QFileInfo folder(options.folder);
    if (!folder.isDir()) {
        PrintError(ENOENT);
        PrintDetail(QStringLiteral("no scene folder %1").arg(options.folder));
        return kExitError;
    }
    CEngine scene(
        CEngine::Headless{.workingRoot = {}, .documents = {}, .loadImage = &ProbeImageFile});
    if (options.frameRate) scene.settings.Set(FrameRate, *options.frameRate);
    CTerminalProgress progress;
    CInterruptGuard interrupts;

    if (!scene.IsUsable()) {
        PrintError(EACCES);
        return kExitError;
    }
    // Open the scene as the program does: its media, then its timing file.
    const QString path = folder.absoluteFilePath();
    Result result = scene.storage.OpenScene(path, DefaultSceneExtensions(), progress);
    if (result != kOk || scene.sheet.FrameCount() == 0) {
        PrintError(result != kOk ? result : msg::kTimingEmpty);
        PrintDetail(path);
        return kExitError;
    }

    // The frame as the movie dialog makes it, from the size asked for or else
    // the largest picture the scene shows.
    const QRect frame =
        HeldToMaxMovieSide(RoundedMovieFrame(options.size.value_or(LargestPicture(scene.sheet))));
    if (frame.isEmpty()) {
        PrintError(msg::kCannotFindFiles);
        PrintDetail(QStringLiteral("the scene shows no picture; give --size"));
        return kExitError;
    }
    CMovieWriter& writer = scene.Writer();
    const QString out = QFileInfo(options.out).absoluteFilePath();
    result = writer.WriteMovie(out, QLatin1Char('.') + QFileInfo(out).suffix(), options.reduction,
                               frame, options.fit, progress);
    if (result != kOk) {
        // A failure without a message number is what the movie dialog shows
        // as "Can't save the movie".
        PrintError(result > 32767 ? result : msg::kCannotSaveMovie);
        PrintDetail(writer.ErrorDetail());
        return kExitError;
    }
    return kExitOk;
}

}  // namespace kolvane::tool
