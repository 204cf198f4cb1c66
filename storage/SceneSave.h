#pragma once

#include <chrono>
#include <functional>

#include <QString>

#include "platform/ResultCodes.h"
#include "storage/FreeSpace.h"

namespace kolvane {

class CMdiaList;
class IProgress;

// The steps of saving a scene into a folder, in the order Save Scene runs
// them. Folders are paths with or without a trailing "/"; results are 0, a
// message number or an errno value.

// Whether a file's name makes it part of a scene folder: an image (by its
// media extension), a ".lvw" live-view companion, a scene timing ".csv", a
// keyframe file (" timing.txt"), or a temporary file a crashed save left.
bool IsSceneFile(const QString& name);

// Deletes the scene files directly in `folder` (never in its subfolders) that
// belong to no media item (same path whatever the extension and case). A
// file the scene does not consist of is never touched, whatever folder the
// user picked. A file that cannot be deleted is left; the save goes on.
void DeleteUnusedFiles(const CMdiaList& media, const QString& folder);

// Frees the old names of images the user renamed: an image whose file lies in
// `folder` under a base name other than the item's is moved to the same name
// with "~" before its extension, with every file of its base name (a ".lvw"
// companion, ...), and the item follows it. More "~" are added while a name
// is taken, so no file is ever replaced. Answers the errno of a move that
// failed: copying over a name that could not be freed would destroy a source.
Result MarkRenamedImages(CMdiaList& media, const QString& folder);

// What copying the images needs besides the media list.
struct SceneCopy {
    IProgress* progress = nullptr;  // required
    FreeSpaceSource freeSpace;      // none: the space is not checked
    // Holds the full bar on screen for a moment before it closes.
    std::function<void(std::chrono::milliseconds)> pause;
    QString* failedPath = nullptr;  // when given: the file a failure was at
};

// Copies every image into `folder` as "<item name><extension>" (the image's
// own extension when `extension` is empty), converting it when the extension
// changes, together with its companions under the new base name; the items
// then point at their copies. Every file goes through a temporary name. Needs
// 1.25 times the images' size free first (60116). Answers 60123 for an image
// whose file is gone, 60119 after "abort" or "stop", the errno of a failed
// conversion or copy (ENOTSUP for a format without an encoder); the items
// keep their paths on any failure.
Result CopySceneImages(CMdiaList& media, const QString& folder, const QString& extension,
                       const SceneCopy& with);

// Deletes the files directly in `folder` whose base name (the name less its
// four-character extension) ends in "~": the sources MarkRenamedImages kept.
// A file a media item points at (an image named with a "~") stays.
void DeleteMarkedFiles(const CMdiaList& media, const QString& folder);

// The bytes a save of `size` bytes of images needs free: 1.25 times as many,
// truncated.
std::int64_t RequiredFreeSpace(std::int64_t size);

}  // namespace kolvane
