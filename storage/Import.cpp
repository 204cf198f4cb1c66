#include "storage/Import.h"

#include <set>

#include <QDir>

#include "display/ImageFiles.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "platform/Progress.h"
#include "storage/FolderListing.h"
#include "storage/MediaFiles.h"
#include "storage/MediaIndex.h"

namespace kolvane {
namespace {

constexpr int kOpeningSceneTitle = 40204;  // "Opening Scene..."
constexpr int kMemoryLoadLimit = 96;       // percent
constexpr auto kFullBarPause = std::chrono::milliseconds(200);

bool IsResourceFork(const QString& name) {
    return name.startsWith(QStringLiteral("._"));
}

QString PathIn(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + QLatin1Char('/') + name;
}

Result ImportTree(CMdiaList& media, CMediaIndex& present, const QString& folder,
                  std::uint32_t kinds, std::set<FolderId>& entered) {
    const auto id = IdentifyFolder(folder);
    if (!id || !entered.insert(*id).second) return kOk;
    const auto entries = ListFolder(folder, NameOrder::IgnoringCase);
    if (!entries) return kOk;
    for (const FolderEntry& entry : *entries) {
        const QString path = PathIn(folder, entry.name);
        if (entry.isFolder) {
            if (const Result result = ImportTree(media, present, path, kinds, entered);
                result != kOk) {
                return result;
            }
            continue;
        }
        if (!entry.isFile || IsResourceFork(entry.name)) continue;
        const std::uint32_t kind = MediaKindOfFile(entry.name) & kinds;
        if (kind == 0 || present.HasPath(path)) continue;
        CNode* item = media.AddMediaFile(kind, path);
        if (item == nullptr) return msg::kNotAllFilesLoaded;
        present.Add(item);
    }
    return kOk;
}

bool InExtensionList(const QString& name, const QStringList& extensions) {
    return name.size() >= 4 && extensions.contains(name.right(4).toLower());
}

void RemoveItem(CMdiaList& media, CNode* item) {
    for (CNode* level : media.Levels()) {
        const int index = level->children->indexOf(item);
        if (index >= 0) {
            level->children->erase(index);
            return;
        }
    }
}

// Closes the progress window however the import ends, and leaves the media
// list's totals right.
class CSceneImportEnd {
  public:
    CSceneImportEnd(CMdiaList& media, IProgress& progress) : media_(media), progress_(progress) {}
    ~CSceneImportEnd() {
        if (progress_.IsOpen()) progress_.Close();
        media_.RecomputeSummaries();
    }
    CSceneImportEnd(const CSceneImportEnd&) = delete;
    CSceneImportEnd& operator=(const CSceneImportEnd&) = delete;

  private:
    CMdiaList& media_;
    IProgress& progress_;
};

}  // namespace

Result ProbeImageFile(CNode& imageItem) {
    if (!imageItem.imageInfo) return kFail;
    const QSize size = ProbeImageSize(imageItem.imageInfo->path);
    if (!size.isValid() || size.isEmpty()) return kFail;
    imageItem.imageInfo->imageWidth = size.width();
    imageItem.imageInfo->imageHeight = size.height();
    return kOk;
}

Result ImportFolder(CMdiaList& media, const QString& folder, std::uint32_t kinds) {
    std::set<FolderId> entered;
    const CMdiaList::CBulkAdd bulk(media);
    CMediaIndex present(media);
    const Result result = ImportTree(media, present, QDir::cleanPath(folder), kinds, entered);
    media.RecomputeSummaries();
    return result;
}

Result ImportSceneFolder(CMdiaList& media, const QString& folder, const QStringList& extensions,
                         const SceneImport& with) {
    if (with.progress == nullptr) return kFail;
    const QString root = QDir::cleanPath(folder);
    const auto entries = ListFolder(root, NameOrder::IgnoringCase);
    if (!entries) return msg::kNotAllFilesLoaded;
    std::vector<QString> names;
    for (const FolderEntry& entry : *entries) {
        if (entry.isFile && !IsResourceFork(entry.name) && InExtensionList(entry.name, extensions))
            names.push_back(entry.name);
    }
    if (names.empty()) return msg::kNotAllFilesLoaded;

    IProgress& progress = *with.progress;
    CSceneImportEnd end(media, progress);
    const CMdiaList::CBulkAdd bulk(media);
    CMediaIndex present(media);
    progress.Open(kOpeningSceneTitle, IProgress::kAbortStop);
    progress.SetRange(static_cast<int>(names.size()));
    int done = 0;
    for (const QString& name : names) {
        if (with.memoryLoad) {
            const auto load = with.memoryLoad();
            if (load && *load > kMemoryLoadLimit) return msg::kNotEnoughMemory;
        }
        const QString path = PathIn(root, name);
        if (!present.HasPath(path)) {
            const bool isSound = MediaKindOfFile(name) == kTypeSound;
            CNode* item = media.AddMediaFile(isSound ? kTypeSound : kTypeImage, path);
            if (item == nullptr) {
                if (with.failedPath != nullptr) *with.failedPath = path;
                return msg::kNotAllFilesLoaded;
            }
            present.Add(item);
            // A sound is opened as it is added; one that cannot be read stays
            // as an item that plays nothing.
            if (!isSound && with.loadImage && with.loadImage(*item) != kOk) {
                if (with.failedPath != nullptr) *with.failedPath = path;
                RemoveItem(media, item);
                return msg::kNotAllFilesLoaded;
            }
        }
        const int answer = progress.Step(++done);
        if (answer == IProgress::kStop) return kOk;
        if (answer != IProgress::kGoOn) return msg::kNotAllFilesLoaded;
    }
    if (with.pause) with.pause(kFullBarPause);
    return kOk;
}

}  // namespace kolvane
