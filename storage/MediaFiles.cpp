#include "storage/MediaFiles.h"

#include <algorithm>

#include "model/MediaNames.h"
#include "model/Node.h"

namespace kolvane {
namespace {

// Item names drop the last four characters of a file name, so only
// three-letter extensions are media extensions.
constexpr const char* kImageExtensions[] = {".bmp", ".jpg", ".png", ".gif", ".tif", ".tga"};
constexpr const char* kSoundExtensions[] = {".wav", ".aif", ".mp3"};

bool EndsWithAny(const QString& name, const auto& extensions) {
    return std::any_of(std::begin(extensions), std::end(extensions), [&](const char* ext) {
        return name.endsWith(QLatin1String(ext), Qt::CaseInsensitive);
    });
}

}  // namespace

std::uint32_t MediaKindOfFile(const QString& fileName) {
    if (EndsWithAny(fileName, kImageExtensions)) return kTypeImage;
    if (EndsWithAny(fileName, kSoundExtensions)) return kTypeSound;
    return 0;
}

std::optional<QString> WithoutMediaExtension(const QString& text) {
    if (MediaKindOfFile(text) == 0) return std::nullopt;
    return DropLast(text, 4);
}

QStringList DefaultSceneExtensions() {
    QStringList extensions;
    for (const char* extension : kImageExtensions)
        extensions << QLatin1String(extension);
    return extensions << QStringLiteral(".wav") << QStringLiteral(".aif");
}

}  // namespace kolvane
