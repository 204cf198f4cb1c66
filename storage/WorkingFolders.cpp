#include "storage/WorkingFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "storage/FolderListing.h"
#include "storage/SafeFile.h"

namespace kolvane {
namespace {

const QString kScenePathFile = QStringLiteral("ScenePath.txt");
// Says, while Grab and Undo move, which move it is and which folders were
// Grab and Undo before it (device and inode: a folder keeps them when renamed).
const QString kJournalFile = QStringLiteral("Moving.txt");
// ScenePath.txt holds one path; anything longer is no path of ours.
constexpr qint64 kMaxScenePathBytes = 64 * 1024;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// Whether anything (also a dangling link) is at `path`.
bool Exists(const QString& path) {
    struct stat status {};
    return ::lstat(Native(path).constData(), &status) == 0;
}

bool IsRealFolder(const QString& path) {
    struct stat status {};
    return ::lstat(Native(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

Result MakeFolder(const QString& path) {
    return ::mkdir(Native(path).constData(), 0777) == 0 ? kOk : errno;
}

Result RemoveFolder(const QString& path) {
    return ::rmdir(Native(path).constData()) == 0 ? kOk : errno;
}

QString ParentOf(const QString& path) {
    return QFileInfo(WithoutTrailingSlashes(path)).path();
}

QByteArray IdText(const QString& folder) {
    const auto id = IdentifyFolder(folder);
    if (!id) return "-";
    return QByteArray::number(static_cast<qulonglong>(id->first)) + ':' +
           QByteArray::number(static_cast<qulonglong>(id->second));
}

}  // namespace

QString WithoutTrailingSlashes(QString path) {
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString WithTrailingSlash(const QString& folder) {
    if (folder.isEmpty()) return folder;
    return WithoutTrailingSlashes(folder) + (folder == QStringLiteral("/") ? "" : "/");
}

CWorkingFolders::CWorkingFolders(const QString& workingRoot, const QString& documents)
    : root_(WithoutTrailingSlashes(workingRoot)),
      grab_(WithTrailingSlash(root_ + QStringLiteral("/Grab"))),
      undo_(WithTrailingSlash(root_ + QStringLiteral("/Undo"))),
      sounds_(WithTrailingSlash(documents + QStringLiteral("/My Sounds"))) {
    for (const QString& folder : {grab_, undo_}) {
        FinishInterruptedSwap(folder);
    }
    FinishInterruptedMove();
    for (const QString& folder : {grab_, undo_, sounds_}) {
        if (!QFileInfo(folder).isDir()) CreateFolder(folder);
    }
}

QString CWorkingFolders::DefaultWorkingRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString CWorkingFolders::DefaultDocuments() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}

QString CWorkingFolders::BackupOf(const QString& folder) {
    return WithoutTrailingSlashes(folder) + QStringLiteral("~/");
}

QString CWorkingFolders::SwapPathOf(const QString& folder) {
    return WithoutTrailingSlashes(folder) + QStringLiteral("$/");
}

Result CWorkingFolders::CreateFolder(const QString& folder) {
    if (folder.isEmpty()) return msg::kCannotCreateFolder;
    if (QFileInfo(folder).isDir()) return kOk;
    return QDir().mkpath(folder) ? kOk : msg::kCannotCreateFolder;
}

Result CWorkingFolders::MakeFolders(const QString& folder, QStringList* made) {
    if (folder.isEmpty()) return ENOENT;
    QStringList missing;
    for (QString at = WithoutTrailingSlashes(QDir::cleanPath(folder)); !IsRealFolder(at);
         at = ParentOf(at)) {
        if (Exists(at) && !QFileInfo(at).isDir()) return ENOTDIR;
        if (QFileInfo(at).isDir()) break;  // a link to a folder
        missing.prepend(at);
        if (ParentOf(at) == at) break;
    }
    for (const QString& path : missing) {
        const Result result = MakeFolder(path);
        if (result == EEXIST && QFileInfo(path).isDir()) continue;  // made meanwhile
        if (result != kOk) return result;
        if (made != nullptr) made->append(path);
    }
    return kOk;
}

Result CWorkingFolders::DeleteFolderContents(const QString& folder) {
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        if (IsRealFolder(path)) {
            if (const Result result = DeleteFolderContents(path); result != kOk) return result;
            if (const Result result = RemoveFolder(path); result != kOk) return result;
        } else if (::unlink(Native(path).constData()) != 0) {
            return errno;
        }
    }
    return kOk;
}

bool CWorkingFolders::IsEmptyFolder(const QString& folder) {
    return QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

Result CWorkingFolders::RotateFolder(const QString& folder) const {
    if (IsEmptyFolder(folder)) return kOk;
    const QString current = WithoutTrailingSlashes(folder);
    const QString backup = WithoutTrailingSlashes(BackupOf(folder));
    Checkpoint();
    if (IsRealFolder(backup)) {
        if (const Result result = DeleteFolderContents(backup); result != kOk) return result;
        Checkpoint();
        if (const Result result = RemoveFolder(backup); result != kOk) return result;
    } else if (Exists(backup) && ::unlink(Native(backup).constData()) != 0) {
        return errno;
    }
    Checkpoint();
    if (const Result result = MovePath(current, backup); result != kOk) return result;
    Checkpoint();
    const Result made = MakeFolder(current);
    SyncFolder(ParentOf(folder));
    return made;
}

Result CWorkingFolders::RotateWorkingFolders() const {
    return MoveBoth(Move::Rotate);
}

// A -> T, B -> A (or a new empty A without B), T -> B. Every failed move is
// undone, so the folder ends either swapped or as it was.
Result CWorkingFolders::SwapWithBackup(const QString& folder) const {
    const QString a = WithoutTrailingSlashes(folder);
    const QString b = WithoutTrailingSlashes(BackupOf(folder));
    const QString t = WithoutTrailingSlashes(SwapPathOf(folder));
    Checkpoint();
    if (Exists(t) && RemoveFolder(t) != kOk) return EEXIST;  // only an empty one goes
    if (!Exists(a)) {
        if (const Result result = MakeFolder(a); result != kOk) return result;
    }
    Checkpoint();
    if (const Result result = MovePath(a, t); result != kOk) return result;
    const bool hadBackup = Exists(b);
    Checkpoint();
    Result result = hadBackup ? MovePath(b, a) : MakeFolder(a);
    if (result != kOk) {
        MovePath(t, a);
        return result;
    }
    Checkpoint();
    result = MovePath(t, b);
    if (result != kOk) {
        if (hadBackup) {
            MovePath(a, b);
        } else {
            RemoveFolder(a);
        }
        MovePath(t, a);
        return result;
    }
    SyncFolder(ParentOf(folder));
    return kOk;
}

Result CWorkingFolders::SwapBackups() const {
    return MoveBoth(Move::Swap);
}

QString CWorkingFolders::JournalPath() const {
    return root_ + u'/' + kJournalFile;
}

Result CWorkingFolders::MoveBoth(Move move) const {
    const QByteArray grabId = IdText(grab_);
    Checkpoint();
    if (const Result result =
            WriteFileAtomically(JournalPath(), (move == Move::Rotate ? "rotate\n" : "swap\n") +
                                                   grabId + '\n' + IdText(undo_) + '\n');
        result != kOk) {
        return result;  // nothing moved
    }
    auto moveOne = [this, move](const QString& folder) {
        return move == Move::Rotate ? RotateFolder(folder) : SwapWithBackup(folder);
    };
    Result result = moveOne(grab_);
    if (result == kOk) {
        result = moveOne(undo_);
        if (result != kOk && IdText(grab_) != grabId) {
            // Grab goes back to the snapshots it belongs with.
            if (move == Move::Swap) {
                SwapWithBackup(grab_);
            } else {
                RemoveFolder(WithoutTrailingSlashes(grab_));
                MovePath(WithoutTrailingSlashes(BackupOf(grab_)), WithoutTrailingSlashes(grab_));
            }
        }
    }
    Checkpoint();
    QFile::remove(JournalPath());
    return result;
}

// Grab and Undo that are still the folders the journal names have not moved
// yet: they move now, so both end moved.
void CWorkingFolders::FinishInterruptedMove() const {
    QFile journal(JournalPath());
    if (!journal.open(QIODevice::ReadOnly)) return;
    const QList<QByteArray> lines = journal.read(1024).split('\n');
    journal.close();
    if (lines.size() >= 3 && (lines[0] == "rotate" || lines[0] == "swap")) {
        const bool rotate = lines[0] == "rotate";
        const QString folders[] = {grab_, undo_};
        for (int i = 0; i < 2; ++i) {
            if (lines[i + 1] == "-" || IdText(folders[i]) != lines[i + 1]) continue;
            if (rotate) {
                RotateFolder(folders[i]);
            } else {
                SwapWithBackup(folders[i]);
            }
        }
    }
    QFile::remove(JournalPath());
}

// The steps of SwapWithBackup are finished from wherever they stopped: T
// holds the generation that was current, so it becomes the backup.
void CWorkingFolders::FinishInterruptedSwap(const QString& folder) const {
    const QString a = WithoutTrailingSlashes(folder);
    const QString b = WithoutTrailingSlashes(BackupOf(folder));
    const QString t = WithoutTrailingSlashes(SwapPathOf(folder));
    if (!IsRealFolder(t)) return;
    if (!Exists(a)) {
        if (Exists(b)) {
            MovePath(b, a);
        } else {
            MakeFolder(a);
        }
    }
    if (!Exists(b)) {
        MovePath(t, b);
    } else {
        RemoveFolder(t);  // an empty leftover; one with files is kept, never deleted
    }
    SyncFolder(ParentOf(folder));
}

bool CWorkingFolders::HasBackup() const {
    const QString backup = BackupOf(grab_);
    return QFileInfo(backup).isDir() && !IsEmptyFolder(backup);
}

QString CWorkingFolders::ReadScenePath() const {
    QFile file;
    if (OpenRegularFile(grab_ + kScenePathFile, file) != kOk) return {};
    QByteArray line = file.read(kMaxScenePathBytes);
    const qsizetype end = line.indexOf('\n');
    if (end >= 0) line.truncate(end);
    if (line.endsWith('\r')) line.chop(1);
    return QString::fromUtf8(line);
}

Result CWorkingFolders::WriteScenePath(const QString& folder) const {
    if (const Result result = CreateFolder(grab_); result != kOk) return result;
    return WriteFileAtomically(grab_ + kScenePathFile, WithTrailingSlash(folder).toUtf8());
}

}  // namespace kolvane
