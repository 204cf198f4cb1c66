#include "app/ProcessObjects.h"

#include "storage/WorkingFolders.h"

namespace kolvane {

namespace {

// The working scene's undo snapshots; they outlive a crash.
QString WorkingUndoFolder() {
    return CWorkingFolders::DefaultWorkingRoot() + QStringLiteral("/Undo");
}

}  // namespace

CProcessObjects::CProcessObjects(int nativeAspect)
    : undo(WorkingUndoFolder()),
      settings(nativeAspect),
      title(settings),
      sheet(settings),
      display(settings, media),
      sound(settings),
      movie(settings, sheet, display, storage, sound) {
    media.SetAudioRingFactory(&sound);
    sheet.SetAudioRingFactory(&sound);
    storage.Connect(
        {&settings, &media, &sound, [this](CNode& item) { return display.LoadImage(item); }});
    // The history goes on from the snapshots a previous run left, never over them.
    undo.Rebuild();
}

// The storage outlives the objects it was given: it lets go of them first.
CProcessObjects::~CProcessObjects() {
    storage.Connect({});
    media.SetAudioRingFactory(nullptr);
    sheet.SetAudioRingFactory(nullptr);
}

}  // namespace kolvane
