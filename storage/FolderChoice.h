#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kolvane {

// The base folder fields of the scene and movie dialogs, and the names typed
// below them. Folders are absolute paths without a trailing "/" ("/" itself
// is the root); "" stands for no folder yet, where the list offers the roots.

// What a typed folder text leads to, starting from the `remembered` folder:
// ".." its parent (nothing above the root), "." `dotFolder`, any other
// relative text (also none) below it, an absolute path itself. A result that
// is no existing folder gives `remembered` back.
QString ResolveFolderText(const QString& text, const QString& remembered, const QString& dotFolder);

// What the list of a base folder field offers: ".", ".." and the folder's
// subfolders in name order (hidden ones left out), or the file system roots
// when there is no folder.
QStringList FolderChoices(const QString& folder);

// The names of the folders a pattern such as "base/*/" matches (hidden ones
// left out), in the order the globber reports them.
QStringList MatchingFolderNames(const QString& pattern);

// Whether `name` can be one folder or file name below a chosen base: not
// empty, not only dots, and without "/", "\", NUL or the wildcards "*" and
// "?" (which the folder scans would take as patterns). Anything else could
// lead a save, and the deletion of unused files it does, outside the base.
bool IsValidEntryName(const QString& name);

// `folder` and `name` joined with one "/".
QString JoinPath(const QString& folder, const QString& name);

}  // namespace kolvane
