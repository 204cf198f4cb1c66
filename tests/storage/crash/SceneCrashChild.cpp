// Builds a working scene until it is killed, telling the test what it has
// finished on standard output, one line at a time:
//   image N      image N is written (complete) into the Grab folder
//   snapshot N   undo snapshot N is written
//   saving N     save N into scenes/SN begins
//   saved N      save N is done
// Usage: scene_crash_child BASE work|save

#include <cstdio>

#include <QBuffer>
#include <QGuiApplication>

#include "engine/Engine.h"
#include "platform/Progress.h"
#include "storage/SafeFile.h"
#include "tests/storage/crash/CrashScenario.h"

namespace kolvane::crash {
namespace {

void Tell(const char* what, int number) {
    std::printf("%s %d\n", what, number);
    std::fflush(stdout);
}

QByteArray Png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

int Run(const QString& base, bool saving) {
    CEngine engine(CEngine::Headless{WorkingRoot(base), Documents(base), {}});
    CStorage& storage = engine.storage;
    CMdiaList& media = engine.media;
    CXshtList& sheet = engine.sheet;
    CUndo& undo = engine.undo;

    const int images = saving ? kSaveImages : kWorkImages;
    for (int i = 1; i <= images; ++i) {
        // As the grabber writes a grab: complete, or not at all.
        const QString path = storage.GetGrabFolder() + ImageName(i) + QStringLiteral(".png");
        if (WriteFileAtomically(path, Png(Picture(i))) != kOk) return 1;
        Tell("image", i);
        CNode* item = media.AddMediaFile(kTypeImage, path);
        // An edit: the snapshot first, then the change.
        if (undo.RecordEdit(sheet) != kOk) return 1;
        Tell("snapshot", undo.UndoList().size());
        for (int e = 0; e < Exposure(i); ++e)
            sheet.PlaceItem(item);
        sheet.Normalise();
        sheet.RecomputeSummaries();
    }
    if (!saving) return 0;

    // The scene as it stands is the newest step, as the next edit would make it.
    if (undo.RecordEdit(sheet) != kOk) return 1;
    Tell("snapshot", undo.UndoList().size());
    CNoProgress progress;
    // Until killed; a test that fails to kill must not fill the disk.
    for (int save = 1; save <= 500; ++save) {
        Tell("saving", save);
        const Result result =
            storage.SaveScene(SceneFolder(base, save), QString(), progress, [] { return false; });
        if (result != kOk) return 1;
        Tell("saved", save);
    }
    return 0;
}

}  // namespace
}  // namespace kolvane::crash

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) return 2;
    return kolvane::crash::Run(args[1], args[2] == QLatin1String("save"));
}
