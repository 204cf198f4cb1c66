#pragma once

#include <QByteArray>
#include <QString>

#include "platform/ResultCodes.h"

namespace kolvane {

// File writes that a crash cannot leave half done: the data goes into a hidden
// temporary file beside the target, is flushed to the disk, and is then
// renamed over the target. The target therefore holds either its old content
// or the whole new one. Results are 0 or the errno value of the failing call.

Result WriteFileAtomically(const QString& path, const QByteArray& data);

// Creates a new empty hidden temporary file beside `path`, named as the writes
// above name theirs, for a writer that fills it by name (a movie muxer) and
// renames it over `path` when complete. 0 with its path, or the errno value.
Result CreateTemporaryBeside(const QString& path, QString* temporary);

// Copies `from` over `to` the same way; the copy keeps the source's
// modification time.
Result CopyFileAtomically(const QString& from, const QString& to);

// Renames a file or folder (errno on failure, EEXIST when `to` exists: a
// rename never replaces anything here).
Result MovePath(const QString& from, const QString& to);

// Flushes a folder's entries (names just created or renamed) to the disk.
void SyncFolder(const QString& folder);

// Whether `name` is a temporary file left by an interrupted write above.
bool IsLeftoverTemporary(const QString& name);

}  // namespace kolvane
