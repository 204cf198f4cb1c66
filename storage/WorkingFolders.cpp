#include "storage/WorkingFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "storage/SafeFile.h"

namespace kolvane {
namespace {

const QString kScenePathFile = QStringLiteral("ScenePath.txt");
// ScenePath.txt holds one path; anything longer is no path of ours.
constexpr qint64 kMaxScenePathBytes = 64 * 1024;

QString WithoutTrailingSlashes(QString path) {
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

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

}  // namespace

QString WithTrailingSlash(const QString& folder) {
    if (folder.isEmpty()) return folder;
    return WithoutTrailingSlashes(folder) + (folder == QStringLiteral("/") ? "" : "/");
}

CWorkingFolders::CWorkingFolders(const QString& workingRoot, const QString& documents)
    : grab_(WithTrailingSlash(workingRoot + QStringLiteral("/Grab"))),
      undo_(WithTrailingSlash(workingRoot + QStringLiteral("/Undo"))),
      sounds_(WithTrailingSlash(documents + QStringLiteral("/My Sounds"))) {
    for (const QString& folder : {grab_, undo_}) {
        FinishInterruptedSwap(folder);
    }
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

Result CWorkingFolders::RotateFolder(const QString& folder) {
    if (IsEmptyFolder(folder)) return kOk;
    const QString current = WithoutTrailingSlashes(folder);
    const QString backup = WithoutTrailingSlashes(BackupOf(folder));
    if (IsRealFolder(backup)) {
        if (const Result result = DeleteFolderContents(backup); result != kOk) return result;
        if (const Result result = RemoveFolder(backup); result != kOk) return result;
    } else if (Exists(backup) && ::unlink(Native(backup).constData()) != 0) {
        return errno;
    }
    if (const Result result = MovePath(current, backup); result != kOk) return result;
    const Result made = MakeFolder(current);
    SyncFolder(ParentOf(folder));
    return made;
}

// A -> T, B -> A (or a new empty A without B), T -> B. Every failed move is
// undone, so the folder ends either swapped or as it was.
Result CWorkingFolders::SwapWithBackup(const QString& folder) {
    const QString a = WithoutTrailingSlashes(folder);
    const QString b = WithoutTrailingSlashes(BackupOf(folder));
    const QString t = WithoutTrailingSlashes(SwapPathOf(folder));
    if (Exists(t) && RemoveFolder(t) != kOk) return EEXIST;  // only an empty one goes
    if (!Exists(a)) {
        if (const Result result = MakeFolder(a); result != kOk) return result;
    }
    if (const Result result = MovePath(a, t); result != kOk) return result;
    const bool hadBackup = Exists(b);
    Result result = hadBackup ? MovePath(b, a) : MakeFolder(a);
    if (result != kOk) {
        MovePath(t, a);
        return result;
    }
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

Result CWorkingFolders::SwapBackups() {
    if (const Result result = SwapWithBackup(grab_); result != kOk) return result;
    if (const Result result = SwapWithBackup(undo_); result != kOk) {
        SwapWithBackup(grab_);
        return result;
    }
    return kOk;
}

// The steps of SwapWithBackup are finished from wherever they stopped: T
// holds the generation that was current, so it becomes the backup.
void CWorkingFolders::FinishInterruptedSwap(const QString& folder) {
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
    QFile file(grab_ + kScenePathFile);
    if (!file.open(QIODevice::ReadOnly)) return {};
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
