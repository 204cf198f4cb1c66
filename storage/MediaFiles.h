#pragma once

#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

namespace kolvane {

// What a file holds by its extension (".png", ".WAV", ...): kTypeImage,
// kTypeSound, or 0 for anything else.
std::uint32_t MediaKindOfFile(const QString& fileName);

// The text less its extension when that is a media file's extension; none
// otherwise ("shot.1 0001" keeps its dot).
std::optional<QString> WithoutMediaExtension(const QString& text);

// The files Open Scene takes by default: every image kind and the WAV and
// AIFF sounds.
QStringList DefaultSceneExtensions();

}  // namespace kolvane
