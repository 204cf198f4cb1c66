#include "tool/TimingCommand.h"

#include <cerrno>
#include <cstdio>
#include <optional>

#include <QDir>
#include <QFileInfo>

#include "engine/Engine.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "platform/ResultCodes.h"
#include "settings/Settings.h"
#include "storage/Import.h"
#include "storage/TimingFile.h"
#include "storage/XdtsFile.h"
#include "tool/ToolMain.h"

namespace kolvane::tool {
namespace {

struct TimingOptions {
    bool keyframes = false;
    bool xdts = false;
    QString file;
    QStringList mediaFolders;
    QString out;
    std::optional<int> frameStart;
    std::optional<int> frameRate;
};

// Parses the arguments after "timing"; a usage error is returned as its text.
std::optional<QString> Parse(const QStringList& args, TimingOptions& options) {
    if (args.isEmpty()) return QStringLiteral("timing needs 'read' or 'keyframes' (or 'xdts')");
    if (args[0] == QLatin1String("keyframes")) {
        options.keyframes = true;
    } else if (args[0] == QLatin1String("xdts")) {
        options.xdts = true;
    } else if (args[0] != QLatin1String("read")) {
        return QStringLiteral("unknown timing action '%1'").arg(args[0]);
    }
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QLatin1String("--"))) {
            if (!options.file.isEmpty()) return QStringLiteral("more than one FILE: '%1'").arg(arg);
            options.file = arg;
            continue;
        }
        if (i + 1 >= args.size()) return QStringLiteral("%1 needs a value").arg(arg);
        const QString& value = args[++i];
        bool ok = false;
        if (arg == QLatin1String("--media")) {
            options.mediaFolders << value;
        } else if (arg == QLatin1String("--out") && (options.keyframes || options.xdts)) {
            options.out = value;
        } else if (arg == QLatin1String("--frame-start")) {
            const int start = value.toInt(&ok);
            if (!ok || start < 0 || start > 255) {
                return QStringLiteral("--frame-start must be a number from 0 to 255");
            }
            options.frameStart = start;
        } else if (arg == QLatin1String("--frame-rate")) {
            const int rate = value.toInt(&ok);
            if (!ok || !CSettings::IsValid(FrameRate, rate)) {
                return QStringLiteral("--frame-rate must be 15, 24, 25 or 30");
            }
            options.frameRate = rate;
        } else {
            return QStringLiteral("unknown option '%1'").arg(arg);
        }
    }
    if (options.file.isEmpty()) return QStringLiteral("timing %1 needs a FILE").arg(args[0]);
    if (options.keyframes && options.out.isEmpty()) {
        return QStringLiteral("timing keyframes needs --out DIR");
    }
    if (options.xdts && options.out.isEmpty()) {
        return QStringLiteral("timing xdts needs --out FILE.xdts");
    }
    return std::nullopt;
}

// The timing file to read: FILE itself, or a folder's first ".csv".
std::optional<QString> TimingFileOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        PrintError(ENOENT, path);
        return std::nullopt;
    }
    const QString file = info.isDir() ? SceneTimingFileIn(path) : path;
    if (file.isEmpty()) {
        PrintError(ENOENT, QDir(path).filePath(QStringLiteral("*.csv")));
        return std::nullopt;
    }
    if (!QFileInfo(file).isReadable()) {
        PrintError(EACCES, file);
        return std::nullopt;
    }
    return file;
}

}  // namespace

int RunTiming(const QStringList& args) {
    TimingOptions options;
    if (auto usage = Parse(args, options)) return UsageError(*usage);

    // The settings stand for the user's without reading or writing them.
    CEngine engine{CEngine::Headless{}};
    if (options.frameStart) engine.settings.Set(FrameStart, *options.frameStart);
    if (options.frameRate) engine.settings.Set(FrameRate, *options.frameRate);

    // The media as listed, without loading the pictures.
    CMdiaList& media = engine.media;
    for (const QString& folder : options.mediaFolders) {
        Result result = QFileInfo(folder).isDir() ? kOk : ENOENT;
        if (result == kOk) result = ImportFolder(media, folder, kTypeImage | kTypeSound);
        if (result != kOk) {
            PrintError(result, folder);
            return kExitError;
        }
    }

    const auto file = TimingFileOf(options.file);
    if (!file) return kExitError;
    CXshtList& sheet = engine.sheet;
    QStringList notes;
    const Result read = ReadTimingFile(sheet, media, *file, &notes);
    // What could not be read is told, never dropped in silence.
    for (const QString& note : notes)
        std::fprintf(stderr, "kolvane-tool: %s: %s\n", qUtf8Printable(*file), qUtf8Printable(note));
    if (read != kOk) {
        PrintError(read, *file);
        return kExitError;
    }

    if (options.xdts) {
        QStringList leftOut;
        const Result result =
            WriteXdts(sheet, QFileInfo(*file).completeBaseName(), options.out, &leftOut);
        for (const QString& column : leftOut) {
            std::fprintf(stderr,
                         "kolvane-tool: sound column \"%s\" left out: XDTS sheets hold no sound\n",
                         qUtf8Printable(column));
        }
        if (result != kOk) {
            PrintError(result, options.out);
            return kExitError;
        }
        return kExitOk;
    }

    if (!options.keyframes) {
        const QByteArray text = FormatTiming(sheet);
        if (std::fwrite(text.constData(), 1, text.size(), stdout) != std::size_t(text.size()) ||
            std::fflush(stdout) != 0) {
            PrintError(EIO, QStringLiteral("standard output"));
            return kExitError;
        }
        return kExitOk;
    }

    if (!QDir().mkpath(options.out)) {
        PrintError(msg::kCannotCreateFolder, options.out);
        return kExitError;
    }
    if (const Result result = WriteKeyframes(sheet, options.out); result != kOk) {
        PrintError(result, options.out);
        return kExitError;
    }
    return kExitOk;
}

}  // namespace kolvane::tool
