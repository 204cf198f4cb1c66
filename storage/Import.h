#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include <QString>
#include <QStringList>

#include "platform/MemoryLoad.h"
#include "platform/ResultCodes.h"

namespace kolvane {

class CMdiaList;
class CNode;
class IProgress;

// Loads an image item's picture into its display texture; fails for a file
// that cannot be decoded.
using ImageLoader = std::function<Result(CNode& imageItem)>;

// An image loader that reads only the picture's size, the way the display
// reads the file, into the item's info: for work without a display (the
// tool). Fails for a file the display cannot read.
Result ProbeImageFile(CNode& imageItem);

// Adds the images (kinds has kTypeImage) and sounds (kTypeSound) of `folder`
// and of all its subfolders to the media list, entries in name order without
// regard to case. Files whose name starts with "._" and files already in the
// list (same path whatever the extension and case) are skipped; a media
// kind is told by the extension in any case. Links are followed, but no
// folder is entered twice, so a link that leads back up cannot make the walk
// endless. Images are not loaded here. A folder that cannot be listed imports
// nothing. Returns 0, or 60118 when an item cannot be added.
Result ImportFolder(CMdiaList& media, const QString& folder, std::uint32_t kinds);

// What opening a scene folder needs besides the media list.
struct SceneImport {
    IProgress* progress = nullptr;  // required
    ImageLoader loadImage;          // none: images are added without loading
    MemoryLoadSource memoryLoad;    // none: memory is not checked
    // Holds the full bar on screen for a moment before it closes.
    std::function<void(std::chrono::milliseconds)> pause;
    QString* failedPath = nullptr;  // when given: the file an import failed at
};

// Adds the files of `folder` (not of its subfolders) whose lower-cased
// four-character extension is in `extensions` (".png", ...) under the
// progress window "Opening Scene...": sounds are opened as they are added,
// images loaded. Returns 0 when done or stopped ("stop" keeps what is
// loaded); 60117 when more than 96 % of memory is in use before an entry;
// 60118 when nothing matches, the folder cannot be listed, an item cannot be
// added, an image cannot be loaded (that item is removed again), or on
// "abort". What was loaded before a failure stays.
Result ImportSceneFolder(CMdiaList& media, const QString& folder, const QStringList& extensions,
                         const SceneImport& with);

}  // namespace kolvane
