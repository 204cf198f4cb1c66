#include "storage/MediaFiles.h"

#include <algorithm>
#include <cerrno>

#include <QDir>

#include "model/MdiaList.h"
#include "model/MediaNames.h"

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

Result AddFolderMedia(CMdiaList& media, const QString& folder, int* added) {
    if (added != nullptr) *added = 0;
    const QDir dir(folder);
    if (!dir.exists() || !dir.isReadable()) return ENOENT;
    QStringList names = dir.entryList(QDir::Files | QDir::Readable);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return CompareNames(a, b) < 0; });
    for (std::uint32_t kind : {kTypeImage, kTypeSound}) {
        for (const QString& name : names) {
            if (MediaKindOfFile(name) != kind) continue;
            bool isNew = false;
            media.AddMediaFile(kind, QDir::cleanPath(dir.absoluteFilePath(name)), &isNew);
            if (isNew && added != nullptr) ++*added;
        }
    }
    media.RecomputeSummaries();
    return kOk;
}

}  // namespace kolvane
