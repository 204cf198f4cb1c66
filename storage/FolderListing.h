#pragma once

#include <sys/types.h>

#include <optional>
#include <set>
#include <utility>
#include <vector>

#include <QString>

namespace kolvane {

struct FolderEntry {
    QString name;
    bool isFolder = false;  // a folder, or a link to one
    bool isFile = false;    // a file, or a link to one
};

enum class NameOrder {
    IgnoringCase,  // "a", "B", "c": the same on every machine and file system
    Bytes,         // "B", "a", "c": code point order, which is UTF-8 byte order
};

// The entries of `folder` ("" is the current folder), hidden ones included,
// "." and ".." left out, sorted by name. Names equal without regard to case
// are ordered byte-wise, so the order is total. None when the folder cannot be
// listed.
std::optional<std::vector<FolderEntry>> ListFolder(const QString& folder, NameOrder order);

// Which folder a path leads to after every link, so that walks that follow
// links can tell a folder they have been in.
using FolderId = std::pair<dev_t, ino_t>;
std::optional<FolderId> IdentifyFolder(const QString& folder);

}  // namespace kolvane
