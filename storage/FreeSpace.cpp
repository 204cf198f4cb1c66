#include "storage/FreeSpace.h"

#include <QStorageInfo>

namespace kolvane {

FreeSpaceSource SystemFreeSpace() {
    return [](const QString& folder) -> std::optional<std::int64_t> {
        const QStorageInfo volume(folder);
        if (!volume.isValid() || !volume.isReady()) return std::nullopt;
        const qint64 available = volume.bytesAvailable();
        if (available < 0) return std::nullopt;
        return available;
    };
}

}  // namespace kolvane
