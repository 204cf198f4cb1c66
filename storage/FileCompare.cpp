#include "storage/FileCompare.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

namespace kolvane {

bool SameFileContents(const QString& pathA, const QString& pathB) {
    const QFileInfo infoA(pathA);
    const QFileInfo infoB(pathB);
    if (!infoA.isFile() || !infoB.isFile() || infoA.size() != infoB.size()) return false;
    QFile fileA(pathA);
    QFile fileB(pathB);
    if (!fileA.open(QIODevice::ReadOnly) || !fileB.open(QIODevice::ReadOnly)) return false;
    constexpr qint64 kChunk = 1 << 16;
    for (;;) {
        const QByteArray chunkA = fileA.read(kChunk);
        const QByteArray chunkB = fileB.read(kChunk);
        if (chunkA != chunkB) return false;
        if (chunkA.isEmpty())
            return !fileA.error() && !fileB.error() && fileA.atEnd() && fileB.atEnd();
    }
}

}  // namespace kolvane
