#pragma once

#include <QByteArray>
#include <QString>

class QFile;

#include "platform/ResultCodes.h"

namespace kolvane {

// File writes that a crash cannot leave half done: the data goes into a hidden
// temporary file beside the target, is flushed to the disk, and is then
// renamed over the target. The target therefore holds either its old content
// or the whole new one. Results are 0 or the errno value of the failing call.

Result WriteFileAtomically(const QString& path, const QByteArray& data);

// Copies `from` over `to` the same way; the copy keeps the source's
// modification time.
Result CopyFileAtomically(const QString& from, const QString& to);

// A file written in pieces (by a library that wants a descriptor or a path)
// that appears under its name only once complete: it is made as a hidden
// temporary beside the target; Commit() flushes it and renames it over the
// target. Destroyed without a commit, the temporary is removed and the target
// keeps what it held. A kill leaves at most the hidden temporary, which
// RemoveAbandonedTemporaries can tell from one still being written.
class CAtomicFile {
  public:
    CAtomicFile() = default;
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary for `path`: 0 or the errno of the failing call.
    Result Open(const QString& path);
    // The temporary's descriptor (open for writing) and its path.
    int Descriptor() const { return fd_; }
    const QString& TemporaryPath() const { return temporary_; }
    // Flushes, closes and renames into place: 0 or the errno of the failing
    // call (the temporary is then gone too).
    Result Commit(const timespec* modified = nullptr);
    // Removes the temporary; the target stays as it was.
    void Discard();

  private:
    QString target_;
    QString temporary_;
    int fd_ = -1;
};

// Opens `path` for reading into `file` only when it is a regular file (a
// link to one will do): a FIFO, a device (a link to /dev/zero) or a folder
// is refused with 60129 without waiting or reading. 0, or the errno of the
// failing call (ENOENT for a missing file).
Result OpenRegularFile(const QString& path, QFile& file);

// Renames a file or folder (errno on failure, EEXIST when `to` exists: a
// rename never replaces anything here).
Result MovePath(const QString& from, const QString& to);

// Flushes a folder's entries (names just created or renamed) to the disk.
void SyncFolder(const QString& folder);

// Whether `name` is named as the temporary files above are: a file a
// killed write left, or one still being written.
bool IsLeftoverTemporary(const QString& name);

// Removes the temporary `path` unless a write holds it (a live writer
// holds a lock on its temporary until the rename; a killed one holds
// none). Only a regular file of ours is taken, never through a link.
// Answers whether it went.
bool RemoveIfAbandoned(const QString& path);

// The same for every temporary in `folder`; answers how many went.
int RemoveAbandonedTemporaries(const QString& folder);

}  // namespace kolvane
