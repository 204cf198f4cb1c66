// Grabs from the test pattern until it is killed, telling the test what it
// has finished on standard output, one line at a time:
//   ready 0      the live video runs
//   grabbed N    grab N is on disk and on the sheet
// Usage: grab_crash_child BASE

#include <cstdio>

#include <QGuiApplication>

#include "capture/Grabber.h"
#include "capture/HeadlessCapture.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "platform/MediaFramework.h"
#include "tests/storage/crash/CrashScenario.h"

namespace kolvane::crash {
namespace {

void Tell(const char* what, int number) {
    std::printf("%s %d\n", what, number);
    std::fflush(stdout);
}

int Run(const QString& base) {
    CEngine engine(
        CEngine::Headless{WorkingRoot(base), Documents(base), {}, VideoDeviceMode::TestPattern});
    CAnim grabLevel(engine.media);
    CHeadlessCapture capture(engine.capture);
    if (capture.Start() != kOk) return 3;
    Tell("ready", 0);

    CGrabber grabber(engine.GrabberLinks(grabLevel));
    for (int i = 1; i <= kGrabImages; ++i) {
        if (grabber.Grab() != kOk) return 1;
        Tell("grabbed", i);
    }
    return 0;
}

}  // namespace
}  // namespace kolvane::crash

int main(int argc, char** argv) {
    qputenv("KOLVANE_VIDEO_DEVICES", "test");
    QGuiApplication application(argc, argv);
    kolvane::InitMediaFramework();
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) return 2;
    return kolvane::crash::Run(args[1]);
}
