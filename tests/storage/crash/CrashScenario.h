#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// What the crash child builds, so that the test knows what every image and
// every snapshot must hold whatever moment the child was killed at.
namespace kolvane::crash {

// Images "A 0001", "A 0002", ...; image i is shown for Exposure(i) frames.
inline QString ImageName(int i) {
    return QStringLiteral("A %1").arg(i, 4, 10, QLatin1Char('0'));
}

inline int Exposure(int i) {
    return i % 3 + 1;
}

// A picture that no other image shares, large enough that writing it takes
// a moment in which the child may be killed.
inline QImage Picture(int i) {
    QImage image(96, 72, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + i * 31) & 255, (y * 5 + i * 17) & 255, i & 255));
    }
    return image;
}

// The cells of the one column "A" in snapshot `k`: taken before image k was
// placed, it shows images 1 to k - 1.
inline QStringList SnapshotCells(int k) {
    QStringList cells;
    for (int i = 1; i < k; ++i) {
        for (int e = 0; e < Exposure(i); ++e)
            cells << ImageName(i);
    }
    return cells;
}

// The working folders' root and the scene folders' parent below a test folder.
inline QString WorkingRoot(const QString& base) {
    return base + QStringLiteral("/work");
}
inline QString Documents(const QString& base) {
    return base + QStringLiteral("/docs");
}
inline QString SceneFolder(const QString& base, int save) {
    return base + QStringLiteral("/scenes/S%1").arg(save);
}

// How many images the child builds in each mode.
inline constexpr int kWorkImages = 40;
inline constexpr int kSaveImages = 6;
inline constexpr int kGrabImages = 30;

}  // namespace kolvane::crash
