#include "engine/Engine.h"

#include "storage/ScratchFolder.h"

namespace kolvane {
namespace {

std::unique_ptr<CScratchFolder> OwnFoldersFor(const CEngine::Headless& form) {
    if (!form.workingRoot.isEmpty()) return nullptr;
    // Named after this process, so a later start removes it if a kill left it.
    return std::make_unique<CScratchFolder>();
}

CCaptureGraph::Options CaptureOptions(VideoDeviceMode devices) {
    CCaptureGraph::Options options;
    options.devices = devices;
    return options;
}

}  // namespace

CEngine::CEngine(Program form)
    : storage(CWorkingFolders::DefaultWorkingRoot(), CWorkingFolders::DefaultDocuments()),
      settings(form.nativeAspect),
      capture(settings, CaptureOptions(form.videoDevices)) {
    Link({});
}

CEngine::CEngine(Headless form)
    : ownFolders_(OwnFoldersFor(form)),
      storage(ownFolders_ ? ownFolders_->path() + QStringLiteral("/work") : form.workingRoot,
              ownFolders_ ? ownFolders_->path() + QStringLiteral("/docs") : form.documents),
      settings(CSettings::Unstored{}),
      capture(settings, CaptureOptions(form.videoDevices)) {
    Link(std::move(form.loadImage));
    storage.SetPause([](std::chrono::milliseconds) {});
}

// The storage outlives the objects it was given: it lets go of them first.
CEngine::~CEngine() {
    Unlink();
}

bool CEngine::IsUsable() const {
    return ownFolders_ == nullptr || ownFolders_->isValid();
}

void CEngine::Link(ImageLoader loadImage) {
    scene.SetShownBy([this](bool unsaved) { title.ShowUnsavedChanges(unsaved); });
    media.SetAudioRingFactory(&sound);
    sheet.SetAudioRingFactory(&sound);
    // The undo snapshots live in the storage's Undo folder, where they outlive
    // a crash. The history goes on from the snapshots a previous run left,
    // never over them (the frame's first showing reads them again with the
    // rest of the working scene).
    undo.SetFolder(storage.GetUndoFolder());
    undo.Rebuild();
    CStorage::Links links;
    links.settings = &settings;
    links.media = &media;
    links.sound = &sound;
    links.loadImage = loadImage
                          ? std::move(loadImage)
                          : ImageLoader([this](CNode& item) { return display.LoadImage(item); });
    links.sheet = &sheet;
    links.title = &title;
    links.scene = &scene;
    links.undo = &undo;
    storage.Connect(std::move(links));
}

void CEngine::Unlink() {
    storage.Connect({});
    scene.SetShownBy(nullptr);
    media.SetAudioRingFactory(nullptr);
    sheet.SetAudioRingFactory(nullptr);
}

CPlayEngine::Links CEngine::PlayLinks() {
    CPlayEngine::Links links;
    links.sheet = &sheet;
    links.media = &media;
    links.settings = &settings;
    links.display = &display;
    links.sound = &sound;
    links.storage = &storage;
    links.title = &title;
    return links;
}

CGrabber::Links CEngine::GrabberLinks(CAnim& grabLevel) {
    CGrabber::Links links;
    links.settings = &settings;
    links.media = &media;
    links.sheet = &sheet;
    links.title = &title;
    links.storage = &storage;
    links.display = &display;
    links.undo = &undo;
    links.grabLevel = &grabLevel;
    links.source = &capture;
    return links;
}

}  // namespace kolvane
