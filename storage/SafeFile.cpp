#include "storage/SafeFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace kolvane {
namespace {

constexpr int kNameTries = 100;
constexpr std::size_t kCopyBlock = std::size_t{1} << 16;
// A file name may hold 255 bytes; longer ones get a short temporary name.
constexpr qsizetype kMaxDecoratedName = 200;

class CFileDescriptor {
  public:
    explicit CFileDescriptor(int fd = -1) : fd_(fd) {}
    ~CFileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and answers the close's error (a delayed write error shows
    // up here on some file systems).
    Result Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? kOk : errno;
    }

  private:
    int fd_;
};

QString RandomSuffix() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
    return suffix;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `fd` is still the file at `path`: a cleaner may have removed the
// name between its making and its lock.
bool IsAt(int fd, const QString& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(QFile::encodeName(path).constData(), &named) == 0 &&
           SameFile(opened, named);
}

Result WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return kOk;
}

// Writes a new file through `fill` and renames it over `path`. The temporary
// file is removed again on any failure.
Result ReplaceWith(const QString& path, const std::function<Result(int fd)>& fill,
                   const timespec* modified) {
    CAtomicFile file;
    if (const Result result = file.Open(path); result != kOk) return result;
    if (const Result result = fill(file.Descriptor()); result != kOk) return result;
    return file.Commit(modified);
}

}  // namespace

CAtomicFile::~CAtomicFile() {
    Discard();
}

Result CAtomicFile::Open(const QString& path) {
    Discard();
    const QFileInfo target(path);
    const QString name = target.fileName();
    if (name.isEmpty()) return EISDIR;
    const QString stem = name.size() <= kMaxDecoratedName ? name : QStringLiteral("kolvane");
    for (int tries = 0;; ++tries) {
        const QString temporary =
            target.path() + QStringLiteral("/.") + stem + QStringLiteral(".part-") + RandomSuffix();
        const int fd = ::open(QFile::encodeName(temporary).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno != EEXIST || tries >= kNameTries) return errno;
            continue;
        }
        // Held while the file is written, and let go by the kernel when the
        // writer dies: what nobody holds is a leftover. A cleaner that took
        // the name before the lock did is seen, and another name is tried.
        // Where the file system has no locks, nothing is cleaned either.
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
        if (held && IsAt(fd, temporary)) {
            fd_ = fd;
            temporary_ = temporary;
            target_ = path;
            return kOk;
        }
        ::close(fd);
        if (tries >= kNameTries) return EBUSY;
    }
}

Result CAtomicFile::Commit(const timespec* modified) {
    if (fd_ < 0) return EBADF;
    Result result = ::fsync(fd_) == 0 ? kOk : errno;
    if (result == kOk && modified != nullptr) {
        const timespec times[2] = {{0, UTIME_OMIT}, *modified};
        ::futimens(fd_, times);  // a lost time is no reason to fail a copy
    }
    // The lock belongs to the open file, which the copy keeps open until
    // the rename: a cleaner must not take the temporary in between.
    CFileDescriptor lock(::fcntl(fd_, F_DUPFD_CLOEXEC, 0));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && result == kOk) result = errno;  // delayed write errors show here
    if (result == kOk && ::rename(QFile::encodeName(temporary_).constData(),
                                  QFile::encodeName(target_).constData()) != 0) {
        result = errno;
    }
    if (result != kOk) {
        Discard();
        return result;
    }
    temporary_.clear();
    lock.Reset(-1);
    SyncFolder(QFileInfo(target_).path());
    return kOk;
}

void CAtomicFile::Discard() {
    // The name goes while the lock is held.
    if (!temporary_.isEmpty()) ::unlink(QFile::encodeName(temporary_).constData());
    temporary_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Result WriteFileAtomically(const QString& path, const QByteArray& data) {
    return ReplaceWith(
        path,
        [&data](int fd) {
            return WriteAll(fd, data.constData(), static_cast<std::size_t>(data.size()));
        },
        nullptr);
}

Result CopyFileAtomically(const QString& from, const QString& to) {
    CFileDescriptor source(::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC));
    if (source.Get() < 0) return errno;
    struct stat status {};
    if (::fstat(source.Get(), &status) != 0) return errno;
    if (!S_ISREG(status.st_mode)) return EISDIR;
    return ReplaceWith(
        to,
        [&source](int fd) {
            std::vector<char> block(kCopyBlock);
            for (;;) {
                const ssize_t got = ::read(source.Get(), block.data(), block.size());
                if (got < 0) {
                    if (errno == EINTR) continue;
                    return Result{errno};
                }
                if (got == 0) return kOk;
                if (const Result result = WriteAll(fd, block.data(), static_cast<std::size_t>(got));
                    result != kOk) {
                    return result;
                }
            }
        },
        &status.st_mtim);
}

Result OpenRegularFile(const QString& path, QFile& file) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that never comes.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    CFileDescriptor owned(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0) return errno;
    if (!S_ISREG(status.st_mode)) return msg::kNotARegularFile;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return EIO;
    owned.Release();
    return kOk;
}

Result MovePath(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return kOk;
    }
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace rename: look first.
    struct stat status {};
    if (::lstat(target.constData(), &status) == 0) return EEXIST;
    return ::rename(source.constData(), target.constData()) == 0 ? kOk : errno;
}

void SyncFolder(const QString& folder) {
    CFileDescriptor dir(
        ::open(QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
}

bool IsLeftoverTemporary(const QString& name) {
    constexpr qsizetype kSuffix = 12;  // ".part-" and six letters
    if (!name.startsWith(u'.') || name.size() < kSuffix + 2) return false;
    if (name.mid(name.size() - kSuffix, 6) != QLatin1String(".part-")) return false;
    const QStringView letters = QStringView(name).right(6);
    return std::all_of(letters.begin(), letters.end(),
                       [](QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); });
}

bool RemoveIfAbandoned(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    CFileDescriptor fd(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) return false;
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid())
        return false;
    // Held: a writer is at work. The lock is kept over the unlink, so that
    // a writer that made the file just now sees its name gone.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return false;
    if (!IsAt(fd.Get(), path)) return false;
    return ::unlink(name.constData()) == 0;
}

int RemoveAbandonedTemporaries(const QString& folder) {
    const QDir dir(folder);
    int removed = 0;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (IsLeftoverTemporary(name) && RemoveIfAbandoned(dir.filePath(name))) ++removed;
    }
    return removed;
}

}  // namespace kolvane
