// CStorage: the working scene and the scene folders.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
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

QString WithReason(const QString& path, Result error) {
    return error > 0 && error <= 32767
               ? path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error))
               : path;
}

// A scene being saved into a new folder is built in ".<name>.saving-<pid>-XXXXXX"
// beside it.
const QString kBuildMark = QStringLiteral(".saving-");

Result MakeSceneBuildFolder(const QString& parent, const QString& name, QString* path) {
    const QString stem = name.size() <= 200 ? name : QStringLiteral("scene");
    for (int tries = 0;; ++tries) {
        const QString candidate = parent + QStringLiteral("/.") + stem + kBuildMark +
                                  QString::number(::getpid()) + u'-' +
                                  QString::number(QRandomGenerator::global()->bounded(1000000));
        if (::mkdir(QFile::encodeName(candidate).constData(), 0777) == 0) {
            *path = candidate;
            return kOk;
        }
        if (errno != EEXIST || tries >= 100) return errno;
    }
}

void RemoveTree(const QString& folder) {
    CWorkingFolders::DeleteFolderContents(folder);
    ::rmdir(QFile::encodeName(folder).constData());
}

// The build folders of saves whose process is gone (killed in the middle).
void RemoveAbandonedSceneBuilds(const QString& parent) {
    const QStringList names =
        QDir(parent).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& name : names) {
        const qsizetype mark = name.lastIndexOf(kBuildMark);
        if (!name.startsWith(u'.') || mark < 0) continue;
        const QStringList parts = name.mid(mark + kBuildMark.size()).split(u'-');
        bool ok = false;
        const pid_t pid = parts.size() == 2 ? parts[0].toInt(&ok) : 0;
        if (!ok || pid <= 0 || pid == ::getpid()) continue;
        if (::kill(pid, 0) == 0 || errno == EPERM) continue;  // still saving
        RemoveTree(parent + u'/' + name);
    }
}

std::vector<std::pair<CNode*, QString>> ImagePaths(const CMdiaList& media) {
    std::vector<std::pair<CNode*, QString>> paths;
    if (const CNode* level = media.ImageLevel()) {
        for (CNode* item : *level->children) {
            if (item->imageInfo) paths.emplace_back(item, item->imageInfo->path);
        }
    }
    return paths;
}

// Items copied into a folder that was then renamed follow it.
void RepointImages(CMdiaList& media, const QString& from, const QString& to) {
    const CNode* level = media.ImageLevel();
    if (level == nullptr) return;
    const QString prefix = from + u'/';
    for (CNode* item : *level->children) {
        if (item->imageInfo && item->imageInfo->path.startsWith(prefix))
            item->imageInfo->path = to + u'/' + item->imageInfo->path.mid(prefix.size());
    }
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
    errorSubject_.clear();
    Result result = ImportSceneFolder(folder, extensions, progress);
    if (result == kOk)
        result = ReadTiming(*links_.sheet, *links_.media, folder, nullptr, &errorSubject_);
    else if (errorSubject_.isEmpty())
        errorSubject_ = folder;
    // The timing opened is the first step of its history.
    if (links_.undo != nullptr) links_.undo->RecordEdit(*links_.sheet);
    folders_.WriteScenePath(folder);
    if (result == kOk && links_.title != nullptr) links_.title->SetSceneName(folder);
    return result;
}

Result CStorage::SaveScene(const QString& folder, const QString& extension, IProgress& progress,
                           const std::function<bool()>& confirmReplace) {
    if (links_.media == nullptr || links_.sheet == nullptr) return kFail;
    errorSubject_.clear();
    CMdiaList& media = *links_.media;
    Result result = kOk;
    if (QFileInfo(folder).isDir()) {
        if (confirmReplace && confirmReplace()) {
            DeleteUnusedFiles(media, folder);
            result = MarkRenamedImages(media, folder);
            if (result != kOk) errorSubject_ = folder;
            if (result == kOk)
                result = WriteSceneInto(folder, QFileInfo(folder).fileName(), extension, progress);
            if (result == kOk) DeleteMarkedFiles(media, folder);
            if (result == kOk) result = CloseScene();
        }
    } else {
        result = SaveSceneAsNewFolder(folder, extension, progress);
    }
    if (result == kOk && links_.title != nullptr) links_.title->SetSceneName(folder);
    folders_.WriteScenePath(folder);
    return result;
}

Result CStorage::WriteSceneInto(const QString& folder, const QString& sceneName,
                                const QString& extension, IProgress& progress) {
    SceneCopy copy;
    copy.progress = &progress;
    copy.freeSpace = freeSpace_;
    copy.pause = pause_;
    copy.failedPath = &errorSubject_;
    Result result = CopySceneImages(*links_.media, folder, extension, copy);
    if (result != kOk) return result;
    // Named after the scene, whatever the folder is called while it is built.
    const QString timing = WithoutTrailingSlashes(folder) + u'/' + sceneName;
    result = WriteTiming(*links_.sheet, timing);
    if (result != kOk) {
        errorSubject_ = TimingFilePath(timing);
        return result;
    }
    WriteKeyframes(*links_.sheet, folder);  // extras: the save stands without them
    return kOk;
}

Result CStorage::SaveSceneAsNewFolder(const QString& folder, const QString& extension,
                                      IProgress& progress) {
    const QString target = WithoutTrailingSlashes(QDir::cleanPath(folder));
    const QString parent = QFileInfo(target).path();
    const QString name = QFileInfo(target).fileName();
    QStringList made;
    if (const Result result = CWorkingFolders::MakeFolders(parent, &made); result != kOk) {
        errorSubject_ = WithReason(parent, result);
        return msg::kCannotCreateFolder;
    }
    RemoveAbandonedSceneBuilds(parent);
    // The scene is built under a hidden name beside its own and takes that
    // name in one step once complete: a kill leaves no half scene under it,
    // and of two saves to one new folder the second is refused.
    const std::vector<std::pair<CNode*, QString>> paths = ImagePaths(*links_.media);
    QString building;
    Result result = MakeSceneBuildFolder(parent, name, &building);
    if (result != kOk) {
        errorSubject_ = WithReason(target, result);
        result = msg::kCannotCreateFolder;
    }
    if (result == kOk) result = WriteSceneInto(building, name, extension, progress);
    if (result == kOk) {
        result = MovePath(building, target);
        if (result != kOk) errorSubject_ = WithReason(target, result);
    }
    if (result != kOk) {
        // What this save made goes again; the items keep their old paths.
        for (const auto& [item, path] : paths)
            item->imageInfo->path = path;
        if (!building.isEmpty()) RemoveTree(building);
        for (auto it = made.crbegin(); it != made.crend(); ++it)
            ::rmdir(QFile::encodeName(*it).constData());
        return result;
    }
    SyncFolder(parent);
    RepointImages(*links_.media, building, target);
    return CloseScene();
}

Result CStorage::OpenSceneTiming(const QString& folder, QStringList* notes) {
    if (links_.media == nullptr || links_.sheet == nullptr) return kFail;
    errorSubject_.clear();
    const Result result = ReadTiming(*links_.sheet, *links_.media, folder, notes, &errorSubject_);
    if (links_.undo != nullptr) links_.undo->RecordEdit(*links_.sheet);
    if (links_.title != nullptr) {
        links_.title->SetMark(QStringLiteral("*"));
        if (result == kOk) links_.title->SetSceneName(folder);
    }
    folders_.WriteScenePath(folder);
    return result;
}

}  // namespace kolvane
