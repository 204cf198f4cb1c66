#include "storage/SceneSave.h"

#include <cerrno>
#include <vector>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImageWriter>

#include "display/ImageFiles.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "platform/Progress.h"
#include "storage/MediaFiles.h"
#include "storage/MediaIndex.h"
#include "storage/SafeFile.h"

namespace kolvane {
namespace {

constexpr int kSavingSceneTitle = 40205;  // "Saving Scene..."
constexpr auto kFullBarPause = std::chrono::milliseconds(250);

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// The part of `name` after `base` when the file shares the base name: a dot
// and an extension without further dots (".png", ".lvw", ".jpeg"). Names
// are compared as they stand, so "[", "*" and "?" in a name mean themselves.
std::optional<QString> CompanionSuffix(const QString& name, const QString& base) {
    if (name.size() < base.size() + 2 || !name.startsWith(base)) return std::nullopt;
    const QString suffix = name.mid(base.size());
    if (!suffix.startsWith(u'.') || suffix.lastIndexOf(u'.') != 0) return std::nullopt;
    return suffix;
}

struct Companion {
    QString name;
    QString suffix;
};

std::vector<Companion> CompanionsOf(const QStringList& names, const QString& base) {
    std::vector<Companion> found;
    for (const QString& name : names) {
        if (auto suffix = CompanionSuffix(name, base)) found.push_back({name, *suffix});
    }
    return found;
}

// A folder's names by the base a companion shares: the name up to its last
// dot. Only names of one base can be companions of each other.
QHash<QString, QStringList> ByBaseName(const QStringList& names) {
    QHash<QString, QStringList> byBase;
    for (const QString& name : names) {
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot > 0) byBase[name.left(dot)].append(name);
    }
    return byBase;
}

std::vector<Companion> CompanionsOf(const QString& folder, const QString& base) {
    return CompanionsOf(FilesIn(folder), base);
}

std::vector<CNode*> ImageItems(const CMdiaList& media) {
    std::vector<CNode*> items;
    if (const CNode* level = media.ImageLevel()) {
        for (CNode* item : *level->children) {
            if (item->imageInfo) items.push_back(item);
        }
    }
    return items;
}

QString FileBase(const QString& path) {
    return DropLast(QFileInfo(path).fileName(), 4);
}

// The folder a path lies in, links and "." resolved; empty when it is gone.
QString RealFolderOf(const QString& path) {
    return QFileInfo(QFileInfo(path).path()).canonicalFilePath();
}

bool SameExtension(const QString& a, const QString& b) {
    return a.right(4).compare(b.right(4), Qt::CaseInsensitive) == 0;
}

// An item name becomes a file name: it must stay inside the scene folder.
bool IsUsableFileName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(QChar(0));
}

// Decodes `source` and encodes it as the format the target's extension names.
Result ConvertImage(const QString& source, const QString& target) {
    // Read as the display reads it, so that what plays is what is saved.
    const DecodedImage decoded = DecodeImage(source, QSize(), TextureFormat::Default);
    if (decoded.result != kOk) return QFileInfo::exists(source) ? EIO : ENOENT;
    const QImage& image = decoded.texture;
    const QByteArray format = target.right(3).toLower().toLatin1();
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.canWrite()) return ENOTSUP;
    if (!writer.write(image)) return EIO;
    return WriteFileAtomically(target, encoded);
}

// Copies the image and the files that share its base name: the image itself
// to `target`, each other one under the target's base with its own suffix. A
// converted image is never overwritten by a file of its source's base.
// `sourceNames` are the names of the source's folder of the source's base.
Result CopyWithCompanions(const QString& source, const QString& target, bool converted,
                          const QStringList& sourceNames) {
    const QFileInfo sourceInfo(source);
    const QString sourceFolder = sourceInfo.path();
    const QString targetBase = DropLast(target, 4);
    const std::vector<Companion> companions = CompanionsOf(sourceNames, FileBase(source));
    if (companions.empty()) return msg::kCannotFindFiles;
    for (const Companion& companion : companions) {
        const QString from = sourceFolder + u'/' + companion.name;
        const bool isImage = companion.name == sourceInfo.fileName();
        const QString to = isImage && !converted ? target : targetBase + companion.suffix;
        if (converted && to == target) continue;
        if (QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath()) continue;
        if (const Result result = CopyFileAtomically(from, to); result != kOk) return result;
    }
    return kOk;
}

// Closes the progress window however the copy ends.
class CProgressEnd {
  public:
    explicit CProgressEnd(IProgress& progress) : progress_(progress) {}
    ~CProgressEnd() {
        if (progress_.IsOpen()) progress_.Close();
    }
    CProgressEnd(const CProgressEnd&) = delete;
    CProgressEnd& operator=(const CProgressEnd&) = delete;

  private:
    IProgress& progress_;
};

}  // namespace

bool IsSceneFile(const QString& name) {
    return MediaKindOfFile(name) == kTypeImage ||
           name.endsWith(QLatin1String(".lvw"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(" timing.txt"), Qt::CaseInsensitive) ||
           IsLeftoverTemporary(name);
}

std::int64_t RequiredFreeSpace(std::int64_t size) {
    return size + size / 4;  // trunc(1.25 * size), exactly for every size
}

void DeleteUnusedFiles(const CMdiaList& media, const QString& folder) {
    const QDir dir(folder);
    const CMediaIndex owned(media);
    for (const QString& name : FilesIn(folder)) {
        if (!IsSceneFile(name)) continue;
        const QString path = dir.filePath(name);
        // A temporary another save is still writing is not ours to take.
        if (IsLeftoverTemporary(name))
            RemoveIfAbandoned(path);
        else if (!owned.HasPath(path))
            QFile::remove(path);
    }
}

Result MarkRenamedImages(CMdiaList& media, const QString& folder) {
    const QString target = QFileInfo(folder).canonicalFilePath();
    if (target.isEmpty()) return kOk;
    for (CNode* item : ImageItems(media)) {
        const QString path = item->imageInfo->path;
        const QString base = FileBase(path);
        if (base == item->name || RealFolderOf(path) != target) continue;
        const QString itemFolder = QFileInfo(path).path();
        QString marked = base + u'~';
        while (!CompanionsOf(itemFolder, marked).empty())
            marked += u'~';
        for (const Companion& companion : CompanionsOf(itemFolder, base)) {
            const QString moved = itemFolder + u'/' + marked + companion.suffix;
            const bool isImage = companion.name == QFileInfo(path).fileName();
            if (const Result result = MovePath(itemFolder + u'/' + companion.name, moved);
                result != kOk) {
                return result;
            }
            if (isImage) item->imageInfo->path = moved;
        }
    }
    return kOk;
}

Result CopySceneImages(CMdiaList& media, const QString& folder, const QString& extension,
                       const SceneCopy& with) {
    if (with.progress == nullptr) return kFail;
    const std::vector<CNode*> items = ImageItems(media);
    std::int64_t total = 0;
    for (const CNode* item : items)
        total += std::max<qint64>(0, QFileInfo(item->imageInfo->path).size());
    if (with.freeSpace) {
        // When the system cannot tell, the copy goes on: a full disk still
        // fails the write that meets it, and nothing is left half written.
        const auto available = with.freeSpace(folder);
        if (available && *available < RequiredFreeSpace(total)) return msg::kNotEnoughDiskSpace;
    }

    IProgress& progress = *with.progress;
    CProgressEnd end(progress);
    progress.Open(kSavingSceneTitle, IProgress::kAbortStop);
    progress.SetRange(static_cast<int>(items.size()));
    const QDir dir(folder);
    std::vector<QString> targets;
    targets.reserve(items.size());
    // Each source folder is listed once, not once an image, and its names
    // are grouped by base name: the copies written meanwhile are the items'
    // own targets, never companions.
    QHash<QString, QHash<QString, QStringList>> listings;
    for (const CNode* item : items) {
        const QString& source = item->imageInfo->path;
        auto failed = [&with](const QString& path, Result result) {
            if (with.failedPath != nullptr) *with.failedPath = path;
            return result;
        };
        if (!IsUsableFileName(item->name)) return failed(item->name, EINVAL);
        const QString target =
            dir.filePath(item->name + (extension.isEmpty() ? source.right(4) : extension));
        const bool converted = !SameExtension(source, target);
        if (!QFileInfo::exists(source)) return failed(source, msg::kCannotFindFiles);
        if (converted) {
            if (const Result result = ConvertImage(source, target); result != kOk)
                return failed(result == EIO ? source : target, result);
        }
        const QString sourceFolder = QFileInfo(source).path();
        auto listing = listings.find(sourceFolder);
        if (listing == listings.end())
            listing = listings.insert(sourceFolder, ByBaseName(FilesIn(sourceFolder)));
        if (const Result result =
                CopyWithCompanions(source, target, converted, listing->value(FileBase(source)));
            result != kOk) {
            return failed(source, result);
        }
        targets.push_back(target);
        if (progress.Step(static_cast<int>(targets.size())) != IProgress::kGoOn)
            return msg::kScenePartiallySaved;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i]->imageInfo->path = targets[i];
    if (with.pause) with.pause(kFullBarPause);
    return kOk;
}

void DeleteMarkedFiles(const CMdiaList& media, const QString& folder) {
    const QDir dir(folder);
    const CMediaIndex owned(media);
    for (const QString& name : FilesIn(folder)) {
        if (!DropLast(name, 4).endsWith(u'~')) continue;
        // An image may well be named with a "~" at the end: its copy stays.
        const QString path = dir.filePath(name);
        // A temporary another save is still writing is not ours to take.
        if (IsLeftoverTemporary(name))
            RemoveIfAbandoned(path);
        else if (!owned.HasPath(path))
            QFile::remove(path);
    }
}

}  // namespace kolvane
