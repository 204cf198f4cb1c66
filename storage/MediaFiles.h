#pragma once

#include <cstdint>
#include <optional>

#include <QString>

#include "platform/ResultCodes.h"

namespace kolvane {

class CMdiaList;

// What a file holds by its extension (".png", ".WAV", ...): kTypeImage,
// kTypeSound, or 0 for anything else.
std::uint32_t MediaKindOfFile(const QString& fileName);

// The text less its extension when that is a media file's extension; none
// otherwise ("shot.1 0001" keeps its dot).
std::optional<QString> WithoutMediaExtension(const QString& text);

// Adds the images of `folder`, in name order, then its sounds to the media
// list by the media list's add rules, and recomputes its summaries.
// Subfolders are not searched. `added` receives the number of new items.
// Returns 0, or ENOENT when the folder cannot be listed.
Result AddFolderMedia(CMdiaList& media, const QString& folder, int* added = nullptr);

}  // namespace kolvane
