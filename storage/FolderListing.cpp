#include "storage/FolderListing.h"

#include <sys/stat.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "model/MediaNames.h"

namespace kolvane {

std::optional<std::vector<FolderEntry>> ListFolder(const QString& folder, NameOrder order) {
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (!dir.exists() || !QFileInfo(dir.path()).isReadable()) return std::nullopt;
    const QFileInfoList infos = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    std::vector<FolderEntry> entries;
    entries.reserve(static_cast<std::size_t>(infos.size()));
    for (const QFileInfo& info : infos)
        entries.push_back({info.fileName(), info.isDir(), info.isFile()});
    std::sort(entries.begin(), entries.end(), [order](const FolderEntry& a, const FolderEntry& b) {
        if (order == NameOrder::IgnoringCase) {
            const int folded = a.name.compare(b.name, Qt::CaseInsensitive);
            if (folded != 0) return folded < 0;
        }
        return CompareNames(a.name, b.name) < 0;
    });
    return entries;
}

std::optional<FolderId> IdentifyFolder(const QString& folder) {
    struct stat status {};
    const QByteArray path = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
    return FolderId{status.st_dev, status.st_ino};
}

}  // namespace kolvane
