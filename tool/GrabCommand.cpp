#include "tool/GrabCommand.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include "capture/Grabber.h"
#include "capture/HeadlessCapture.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "model/MediaInfo.h"
#include "platform/Progress.h"
#include "storage/MediaFiles.h"
#include "storage/TimingFile.h"
#include "tool/ToolMain.h"

namespace kolvane::tool {
namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) {
    g_stop = 1;
}

struct GrabOptions {
    QString folder;
    QString device;
    int count = 1;
    double interval = 0.0;
    std::optional<int> denoise;
};

std::optional<QString> Parse(const QStringList& args, GrabOptions& options) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (arg == QLatin1String("--device")) {
            const auto text = value();
            if (!text || text->isEmpty()) return QStringLiteral("--device needs a name");
            options.device = *text;
        } else if (arg == QLatin1String("--count")) {
            bool ok = false;
            const auto text = value();
            options.count = text ? text->toInt(&ok) : 0;
            if (!ok || options.count < 1 || options.count > 1000000)
                return QStringLiteral("--count must be a number from 1 to 1000000");
        } else if (arg == QLatin1String("--interval")) {
            bool ok = false;
            const auto text = value();
            options.interval = text ? text->toDouble(&ok) : -1.0;
            if (!ok || options.interval < 0.0 || options.interval > 86400.0)
                return QStringLiteral("--interval must be seconds from 0 to 86400");
        } else if (arg == QLatin1String("--denoise")) {
            bool ok = false;
            const auto text = value();
            const int frames = text ? text->toInt(&ok) : 0;
            if (!ok || (frames != 1 && frames != 2 && frames != 4 && frames != 8 && frames != 16))
                return QStringLiteral("--denoise must be 1, 2, 4, 8 or 16 frames");
            options.denoise = frames;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option '%1'").arg(arg);
        } else if (options.folder.isEmpty()) {
            options.folder = arg;
        } else {
            return QStringLiteral("grab needs one SCENE_FOLDER");
        }
    }
    if (options.folder.isEmpty()) return QStringLiteral("grab needs a SCENE_FOLDER");
    return std::nullopt;
}

Result ProbeImage(CNode& item) {
    QImageReader reader(item.imageInfo->path);
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid()) return kFail;
    item.imageInfo->imageWidth = size.width();
    item.imageInfo->imageHeight = size.height();
    return kOk;
}

bool HasSceneFiles(const QString& folder) {
    return !QDir(folder).entryList(QDir::Files).isEmpty();
}

}  // namespace

int RunGrab(const QStringList& args) {
    GrabOptions options;
    if (auto usage = Parse(args, options)) return UsageError(*usage);
    const QString folder = QDir::cleanPath(QFileInfo(options.folder).absoluteFilePath()) + u'/';
    if (!QDir().mkpath(folder)) {
        PrintError(msg::kCannotCreateFolder, folder);
        return kExitError;
    }

    // The scene as the program holds it, in working folders of the tool's own.
    CEngine scene(CEngine::Headless{.workingRoot = {},
                                    .documents = {},
                                    .loadImage = &ProbeImage,
                                    .videoDevices = VideoDeviceModeFromEnvironment()});
    if (!scene.IsUsable()) {
        PrintError(EACCES);
        return kExitError;
    }
    if (HasSceneFiles(folder)) {
        CNoProgress progress;
        const Result opened = scene.storage.OpenScene(folder, DefaultSceneExtensions(), progress);
        if (opened != kOk) {
            PrintError(opened, folder);
            return kExitError;
        }
    }
    CAnim grabLevel(scene.media);
    if (const CNode* images = scene.media.ImageLevel(); images && !images->children->empty()) {
        grabLevel.TakeLevel(images->children->front()->name);
    }
    if (options.denoise) scene.settings.Set(Denoise, *options.denoise);

    CHeadlessCapture capture(scene.capture);
    if (const Result started = capture.Start(options.device); started != kOk) {
        PrintError(started,
                   options.device.isEmpty() ? QStringLiteral("no video source") : options.device);
        return kExitError;
    }
    capture.Graph().ApplyDenoise();

    CGrabber::Links links = scene.GrabberLinks(grabLevel);
    // The scene folder's timing file, written after every grab, is what
    // outlives a kill here; the tool's own undo folder goes with it.
    links.undo = nullptr;
    links.folder = folder;
    CGrabber grabber(links);

    g_stop = 0;
    std::signal(SIGINT, &OnStopSignal);
    std::signal(SIGTERM, &OnStopSignal);
    const auto period = std::chrono::milliseconds(std::llround(options.interval * 1000.0));
    const auto start = std::chrono::steady_clock::now();
    int grabbed = 0;
    int exitCode = kExitOk;
    for (int i = 0; i < options.count && g_stop == 0; ++i) {
        // Deadlines from the start: a slow grab does not push the rest back.
        const auto due = start + i * period;
        capture.RunUntil([&] { return g_stop != 0 || std::chrono::steady_clock::now() >= due; },
                         std::chrono::hours(48));
        if (g_stop != 0) break;
        const QString name = grabLevel.NextName();
        Result result = grabber.Grab();
        if (result == kFail) result = ENODATA;  // the source gave no frame
        if (result == kOk) result = WriteTiming(scene.sheet, folder);
        if (result != kOk) {
            PrintError(result, name);
            exitCode = kExitError;
            break;
        }
        ++grabbed;
        const CNode* item = grabber.LastGrabbed();
        std::printf("%d %s\n", grabbed,
                    QFileInfo(item->imageInfo->path).fileName().toUtf8().constData());
        std::fflush(stdout);
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (g_stop != 0) std::fprintf(stderr, "kolvane-tool: stopped after %d grabs\n", grabbed);
    return exitCode;
}

}  // namespace kolvane::tool
