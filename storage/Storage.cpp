#include "storage/Storage.h"

#include <thread>

#include "model/MediaInfo.h"
#include "settings/Settings.h"
#include "sound/DirectSound.h"
#include "sound/SoundClip.h"
#include "storage/SoundRefit.h"

namespace kolvane {

CStorage::CStorage()
    : CStorage(CWorkingFolders::DefaultWorkingRoot(), CWorkingFolders::DefaultDocuments()) {}

CStorage::CStorage(const QString& workingRoot, const QString& documents)
    : folders_(workingRoot, documents),
      pause_([](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }) {}

CStorage::~CStorage() = default;

void CStorage::Connect(Links links) {
    if (links_.media != nullptr) links_.media->SetSoundOpener(nullptr);
    links_ = std::move(links);
    if (links_.media != nullptr) links_.media->SetSoundOpener(this);
}

int CStorage::FrameRate() const {
    const int rate = links_.settings != nullptr ? links_.settings->Get(kolvane::FrameRate) : 0;
    return rate > 0 ? rate : 25;
}

Result CStorage::OpenSound(CNode& soundItem) {
    if (soundItem.soundInfo == nullptr) return kFail;
    return OpenSoundClip(*soundItem.soundInfo, FrameRate());
}

void CStorage::CloseSound(CSoundInfo& clip) {
    CloseSoundClip(clip);
}

Result CStorage::WriteSoundFrame(CListInfo& track, bool backwards) {
    if (links_.sound == nullptr) return kFail;
    return kolvane::WriteSoundFrame(track, backwards, *links_.sound);
}

Result CStorage::BuildWaveform(CSoundInfo& clip, int rowHeight) {
    return kolvane::BuildWaveform(clip, rowHeight);
}

void CStorage::RefitSoundCells(CXshtList& sheet) {
    if (links_.media == nullptr) return;
    kolvane::RefitSoundCells(*links_.media, sheet, FrameRate());
}

Result CStorage::ImportFolder(const QString& folder, std::uint32_t kinds) {
    if (links_.media == nullptr) return kFail;
    return kolvane::ImportFolder(*links_.media, folder, kinds);
}

Result CStorage::ImportSceneFolder(const QString& folder, const QStringList& extensions,
                                   IProgress& progress) {
    if (links_.media == nullptr) return kFail;
    SceneImport with;
    with.progress = &progress;
    with.loadImage = links_.loadImage;
    with.memoryLoad = memoryLoad_;
    with.pause = pause_;
    with.failedPath = &errorSubject_;
    return kolvane::ImportSceneFolder(*links_.media, folder, extensions, with);
}

}  // namespace kolvane
