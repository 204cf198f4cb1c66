#include "tool/ToolMain.h"

#include <cstdio>
#include <cstring>
#include <span>

#include <QGuiApplication>

#include "platform/MediaFramework.h"
#include "platform/MessageText.h"
#include "platform/StringTable.h"
#include "tool/DevicesCommand.h"
#include "tool/GrabCommand.h"
#include "tool/MovieCommand.h"
#include "tool/SceneCommand.h"
#include "tool/SoundCommands.h"
#include "tool/TimingCommand.h"

namespace kolvane::tool {
namespace {

// Subcommands are listed here as they are built.
constexpr Subcommand kSubcommands[] = {
    {"help", "help                      this list", nullptr},
    {"sound", "sound FILE [FPS [OUT.wav]]  measure a clip; write what its cells play", RunSound},
    {"glob", "glob PATTERN...           paths matching '*', '?' and '**'", RunGlob},
    {"movie",
     "movie SCENE_FOLDER OUT.(mp4|avi) [--size WxH] [--reduction NAME]\n"
     "        [--fit stretch|inside|fill] [--frame-rate N]   write the scene's movie",
     RunMovie},
    {"timing", kTimingUsage, RunTiming},
    {"scene",
     "scene open FOLDER [--format FMT]       print the scene's timing as Open Scene reads it\n"
     "  scene save SRC DST [--format png|jpg|bmp|default]  save SRC as a new scene DST",
     RunScene},
    {"grab", kGrabUsage, RunGrab},
    {"devices",
     "devices                   the video sources the grabber searches, and what they are",
     RunDevices},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: kolvane-tool SUBCOMMAND [ARGS...]\n\nsubcommands:\n");
    for (const Subcommand& sub : kSubcommands)
        std::fprintf(out, "  %s\n", sub.usage);
}

}  // namespace

void PrintError(int result) {
    PrintError(result, QString());
}

void PrintError(int result, const QString& subject) {
    QString text;
    if (result > 32767) {
        text = StringText(result);
    } else if (result > 0) {
        text = QString::fromLocal8Bit(std::strerror(result)).trimmed();
    }
    if (text.isEmpty()) text = QStringLiteral("failed");
    text = WithSubject(text, subject);
    std::fprintf(stderr, "kolvane-tool: %s (%d)\n", text.toUtf8().constData(), result);
}

int UsageError(const QString& message) {
    std::fprintf(stderr, "kolvane-tool: %s\n", message.toUtf8().constData());
    std::fprintf(stderr, "try 'kolvane-tool --help'\n");
    return kExitUsage;
}

int Main(int argc, char** argv) {
    // The tool composes and decodes images without a window: it needs no desktop.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const QString& name = args.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Subcommand& sub : kSubcommands) {
        if (sub.run != nullptr && name == QLatin1String(sub.name)) {
            InitMediaFramework();
            return sub.run(args.mid(1));
        }
    }
    return UsageError(QStringLiteral("unknown subcommand '%1'").arg(name));
}

}  // namespace kolvane::tool
