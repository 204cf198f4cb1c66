#include "tool/SceneCommand.h"

#include <cerrno>
#include <cstdio>
#include <optional>

#include <QFileInfo>

#include "engine/Engine.h"
#include "model/MediaInfo.h"
#include "platform/Progress.h"
#include "storage/Import.h"
#include "storage/MediaFiles.h"
#include "storage/TimingFile.h"
#include "tool/ToolMain.h"

namespace kolvane::tool {
namespace {

// The files Open Scene takes for each format; "default" is every image kind
// and the WAV and AIFF sounds.
std::optional<QStringList> OpenExtensions(const QString& format) {
    if (format == QLatin1String("default")) return DefaultSceneExtensions();
    for (const char* known : {"bmp", "jpg", "png", "gif", "tif", "tga"}) {
        if (format == QLatin1String(known)) return QStringList{u'.' + format};
    }
    return std::nullopt;
}

// The extension Save Scene gives every image; "" keeps each one's own.
std::optional<QString> SaveExtension(const QString& format) {
    if (format == QLatin1String("default")) return QString();
    for (const char* known : {"bmp", "jpg", "png"}) {
        if (format == QLatin1String(known)) return u'.' + format;
    }
    return std::nullopt;
}

struct SceneOptions {
    QString action;
    QStringList folders;
    QString format = QStringLiteral("default");
};

std::optional<QString> Parse(const QStringList& args, SceneOptions& options) {
    if (args.isEmpty()) return QStringLiteral("scene needs 'open' or 'save'");
    options.action = args[0];
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--format")) {
            if (i + 1 >= args.size()) return QStringLiteral("--format needs a value");
            options.format = args[++i];
        } else if (args[i].startsWith(QLatin1String("--"))) {
            return QStringLiteral("unknown option '%1'").arg(args[i]);
        } else {
            options.folders << args[i];
        }
    }
    if (options.action == QLatin1String("open")) {
        if (options.folders.size() != 1) return QStringLiteral("scene open needs one FOLDER");
        if (!OpenExtensions(options.format))
            return QStringLiteral("--format must be default, bmp, jpg, png, gif, tif or tga");
    } else if (options.action == QLatin1String("save")) {
        if (options.folders.size() != 2) return QStringLiteral("scene save needs SRC and DST");
        if (!SaveExtension(options.format))
            return QStringLiteral("--format must be png, jpg, bmp or default");
    } else {
        return QStringLiteral("unknown scene action '%1'").arg(options.action);
    }
    return std::nullopt;
}

Result Open(CEngine& scene, const QString& folder, const QStringList& extensions) {
    if (!QFileInfo(folder).isDir()) return ENOENT;
    CNoProgress progress;
    return scene.storage.OpenScene(folder, extensions, progress);
}

}  // namespace

int RunScene(const QStringList& args) {
    SceneOptions options;
    if (auto usage = Parse(args, options)) return UsageError(*usage);
    // The scene as the program holds it, in working folders of the tool's own.
    CEngine scene(
        CEngine::Headless{.workingRoot = {}, .documents = {}, .loadImage = &ProbeImageFile});
    if (!scene.IsUsable()) {
        PrintError(EACCES);
        return kExitError;
    }

    const bool opening = options.action == QLatin1String("open");
    const QStringList extensions =
        opening ? *OpenExtensions(options.format) : *OpenExtensions(QStringLiteral("default"));
    if (const Result result = Open(scene, options.folders[0], extensions); result != kOk) {
        PrintError(result, result == ENOENT ? options.folders[0] : scene.storage.ErrorSubject());
        return kExitError;
    }
    if (opening) {
        const QByteArray text = FormatTiming(scene.sheet);
        if (std::fwrite(text.constData(), 1, text.size(), stdout) !=
                static_cast<std::size_t>(text.size()) ||
            std::fflush(stdout) != 0) {
            PrintError(EIO);
            return kExitError;
        }
        return kExitOk;
    }

    // Without questions: a folder that exists is never replaced, also one
    // that another save made meanwhile (the save would ask then).
    const QString target = options.folders[1];
    if (QFileInfo::exists(target)) {
        PrintError(EEXIST, target);
        return kExitError;
    }
    CNoProgress progress;
    bool taken = false;
    const Result result =
        scene.storage.SaveScene(target, *SaveExtension(options.format), progress, [&taken] {
            taken = true;
            return false;
        });
    if (taken || result == EEXIST) {
        PrintError(EEXIST, target);
        return kExitError;
    }
    if (result != kOk) {
        PrintError(result, scene.storage.ErrorSubject());
        return kExitError;
    }
    return kExitOk;
}

}  // namespace kolvane::tool
