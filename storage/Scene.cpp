// CStorage: the working scene and the scene folders.

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "platform/Progress.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "storage/SafeFile.h"
#include "storage/SceneSave.h"
#include "storage/Storage.h"
#include "storage/TimingFile.h"
#include "storage/Undo.h"

namespace kolvane {
namespace {

bool HasColumns(const CXshtList& sheet) {
    return !sheet.Levels().empty();
}

// More than the leftovers of writes cut short: a kill while ScenePath.txt
// was being replaced, just after a save had closed the scene, leaves only
// such a file, and that is no scene to resume.
bool HoldsFiles(const QString& folder) {
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot);
    return std::any_of(names.begin(), names.end(),
                       [](const QString& name) { return !IsLeftoverTemporary(name); });
}

}  // namespace

// ---- the working scene

Result CStorage::CloseScene() {
    if (links_.title != nullptr) links_.title->SetMark(QString());
    if (links_.sheet == nullptr || !HasColumns(*links_.sheet)) return kOk;
    // Without its snapshot the scene would come back one edit short; the
    // folders move all the same, as that edit cannot be kept either way.
    if (links_.undo != nullptr) links_.undo->RecordEdit(*links_.sheet);

    if (const Result result = folders_.RotateWorkingFolders(); result != kOk) return result;
    // The history's files went with the folder: it starts over, numbered
    // from 0001 again, so that the next start finds it.
    if (links_.undo != nullptr) links_.undo->Reset();
    return kOk;
}

bool CStorage::HasWorkingScene() const {
    return HoldsFiles(folders_.Grab()) || HoldsFiles(folders_.Undo());
}

Result CStorage::LoadSounds() {
    return ImportFolder(folders_.Sounds(), kTypeSound);
}

void CStorage::PlaceAllImages() {
    CXshtList& sheet = *links_.sheet;
    if (const CNode* level = links_.media->ImageLevel()) {
        for (CNode* item : *level->children)
            sheet.PlaceImage(item);
    }
    sheet.Normalise();
    sheet.RecomputeSummaries();
}

void CStorage::ReloadWorkingScene(CAnim* grabLevel) {
    if (links_.media == nullptr || links_.sheet == nullptr) return;
    const QString scenePath = folders_.ReadScenePath();
    if (!scenePath.isEmpty()) {
        ImportFolder(scenePath, kTypeImage);
        if (links_.title != nullptr) links_.title->SetSceneName(scenePath);
    }
    ImportFolder(folders_.Grab(), kTypeImage);

    const CNode* images = links_.media->ImageLevel();
    if (grabLevel != nullptr && images != nullptr && !images->children->empty())
        grabLevel->TakeLevel(images->children->front()->name);
    // The history is read also without images: a sheet of sounds alone is
    // a scene too.
    if (links_.undo != nullptr) {
        links_.undo->Rebuild();
        if (!links_.undo->UndoList().isEmpty() &&
            links_.undo->LoadNewest(*links_.sheet, *links_.media) == kOk) {
            return;
        }
    }
    // No step yet since the scene was saved (or opened): its own timing file
    // holds the sheet, which placing every image once would lose.
    const QString timing = scenePath.isEmpty() ? QString() : SceneTimingFileIn(scenePath);
    if (!timing.isEmpty()) {
        links_.sheet->Clear();
        if (ReadTimingFile(*links_.sheet, *links_.media, timing) == kOk &&
            !links_.sheet->Levels().empty()) {
            return;
        }
        links_.sheet->Clear();
    }
    PlaceAllImages();
}

bool CStorage::ResumeWorkingScene(CAnim* grabLevel) {
    LoadSounds();
    if (!HasWorkingScene()) return false;
    ReloadWorkingScene(grabLevel);
    if (links_.title != nullptr) links_.title->SetMark(QStringLiteral("*"));
    return true;
}

Result CStorage::ClearWorkingScene(CAnim* grabLevel) {
    if (const Result result = CloseScene(); result != kOk) return result;
    if (links_.sheet != nullptr) links_.sheet->Clear();
    if (links_.media != nullptr) links_.media->Clear();
    if (links_.title != nullptr) links_.title->Reset();
    if (links_.undo != nullptr) links_.undo->Reset();
    if (grabLevel != nullptr) grabLevel->Reset();
    LoadSounds();
    return kOk;
}

Result CStorage::RestoreLastScene(CAnim* grabLevel) {
    if (links_.sheet != nullptr && links_.undo != nullptr && HasColumns(*links_.sheet))
        links_.undo->RecordEdit(*links_.sheet);
    if (links_.sheet != nullptr) links_.sheet->Clear();
    if (links_.media != nullptr) links_.media->Clear();
    if (links_.title != nullptr) links_.title->Reset();
    if (grabLevel != nullptr) grabLevel->Reset();
    const Result result = folders_.SwapBackups();
    ReloadWorkingScene(grabLevel);
    return result;
}

void CStorage::ClearSceneTiming() {
    if (links_.sheet == nullptr) return;
    if (links_.title != nullptr) links_.title->SetMark(QStringLiteral("*"));
    if (links_.undo != nullptr && HasColumns(*links_.sheet)) links_.undo->RecordEdit(*links_.sheet);
    links_.sheet->Clear();
}

// ---- scene folders

Result CStorage::OpenScene(const QString& folder, const QStringList& extensions,
                           IProgress& progress) {
    if (links_.media == nullptr || links_.sheet == nullptr) return kFail;
    Result result = ImportSceneFolder(folder, extensions, progress);
    if (result == kOk) result = ReadTiming(*links_.sheet, *links_.media, folder);
    // The timing opened is the first step of its history.
    if (links_.undo != nullptr) links_.undo->RecordEdit(*links_.sheet);
    folders_.WriteScenePath(folder);
    if (result == kOk && links_.title != nullptr) links_.title->SetSceneName(folder);
    return result;
}

Result CStorage::SaveScene(const QString& folder, const QString& extension, IProgress& progress,
                           const std::function<bool()>& confirmReplace) {
    if (links_.media == nullptr || links_.sheet == nullptr) return kFail;
    CMdiaList& media = *links_.media;
    Result result = kOk;
    bool replacing = true;
    if (QFileInfo(folder).isDir()) {
        replacing = confirmReplace && confirmReplace();
        if (replacing) {
            DeleteUnusedFiles(media, folder);
            result = MarkRenamedImages(media, folder);
        }
    } else {
        result = CWorkingFolders::CreateFolder(folder);
    }
    if (replacing && result == kOk) {
        SceneCopy copy;
        copy.progress = &progress;
        copy.freeSpace = freeSpace_;
        copy.pause = pause_;
        result = CopySceneImages(media, folder, extension, copy);
    }
    if (replacing && result == kOk) result = WriteTiming(*links_.sheet, folder);
    if (replacing && result == kOk) {
        WriteKeyframes(*links_.sheet, folder);  // extras: the save stands without them
        DeleteMarkedFiles(media, folder);
        result = CloseScene();
    }
    if (result == kOk && links_.title != nullptr) links_.title->SetSceneName(folder);
    folders_.WriteScenePath(folder);
    return result;
}

Result CStorage::OpenSceneTiming(const QString& folder, QStringList* notes) {
    if (links_.media == nullptr || links_.sheet == nullptr) return kFail;
    const Result result = ReadTiming(*links_.sheet, *links_.media, folder, notes);
    if (links_.undo != nullptr) links_.undo->RecordEdit(*links_.sheet);
    if (links_.title != nullptr) {
        links_.title->SetMark(QStringLiteral("*"));
        if (result == kOk) links_.title->SetSceneName(folder);
    }
    folders_.WriteScenePath(folder);
    return result;
}

}  // namespace kolvane
