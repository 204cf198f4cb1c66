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
    storage.Connect(
        {&settings, &media, &sound, [this](CNode& item) { return display.LoadImage(item); }});
}

// The storage outlives the objects it was given: it lets go of them first.
CProcessObjects::~CProcessObjects() {
    storage.Connect({});
    media.SetAudioRingFactory(nullptr);
    sheet.SetAudioRingFactory(nullptr);
}

}  // namespace kolvane
