#include "app/ProcessObjects.h"

namespace kolvane {

CProcessObjects::CProcessObjects(int nativeAspect)
    : settings(nativeAspect),
      title(settings),
      sheet(settings),
      display(settings, media),
      sound(settings),
      movie(settings, sheet, display, storage, sound) {
    media.SetAudioRingFactory(&sound);
    sheet.SetAudioRingFactory(&sound);
    // The undo snapshots live in the storage's Undo folder, where they outlive
    // a crash. The history goes on from the snapshots a previous run left,
    // never over them (the frame's first showing reads them again with the
    // rest of the working scene).
    undo.SetFolder(storage.GetUndoFolder());
    undo.Rebuild();
    CStorage::Links links{&settings, &media, &sound,
                          [this](CNode& item) { return display.LoadImage(item); }};
    links.sheet = &sheet;
    links.title = &title;
    links.undo = &undo;
    storage.Connect(std::move(links));
}

// The storage outlives the objects it was given: it lets go of them first.
CProcessObjects::~CProcessObjects() {
    storage.Connect({});
    media.SetAudioRingFactory(nullptr);
    sheet.SetAudioRingFactory(nullptr);
}

}  // namespace kolvane
