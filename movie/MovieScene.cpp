#include "movie/MovieScene.h"

namespace kolvane {

CMovieScene::CMovieScene(ImageLoader loadImage)
    : storage(work_.path() + QStringLiteral("/work"), work_.path() + QStringLiteral("/docs")) {
    media.SetAudioRingFactory(&sound);
    sheet.SetAudioRingFactory(&sound);
    CStorage::Links links;
    links.settings = &settings;
    links.media = &media;
    links.sound = &sound;
    links.loadImage = loadImage
                          ? std::move(loadImage)
                          : ImageLoader([this](CNode& item) { return display.LoadImage(item); });
    links.sheet = &sheet;
    storage.Connect(std::move(links));
    storage.SetPause([](std::chrono::milliseconds) {});
}

// The storage outlives the objects it was given: it lets go of them first.
CMovieScene::~CMovieScene() {
    storage.Connect({});
    media.SetAudioRingFactory(nullptr);
    sheet.SetAudioRingFactory(nullptr);
}

}  // namespace kolvane
