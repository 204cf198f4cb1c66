#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "display/ImageScale.h"
#include "display/PictureCache.h"

namespace kolvane {
namespace {

QImage Checkerboard(QSize size, QImage::Format format) {
    QImage image(size, format);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = (x + y) % 2 == 0 ? 0xFF000000u : 0xFFFFFFFFu;
    }
    return image;
}

QImage Gradient(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = qRgb(x * 255 / size.width(), y * 255 / size.height(), 128);
    }
    return image;
}

int LargestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)),
                                std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

// A strong reduction averages the whole area: sampling a few pixels of a fine
// pattern would give a thumbnail of black and white noise.
TEST(ImageScale, AStrongReductionAveragesEveryPixel) {
    const struct {
        QSize from, to;
    } cases[] = {{{1280, 720}, {64, 36}}, {{1281, 721}, {64, 36}}, {{1920, 1080}, {333, 187}}};
    for (const auto& c : cases) {
        for (QImage::Format format :
             {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB16}) {
            SCOPED_TRACE(testing::Message()
                         << c.from.width() << "x" << c.from.height() << " to " << c.to.width()
                         << "x" << c.to.height() << " format " << format);
            const QImage board = Checkerboard(c.from, QImage::Format_RGB32).convertToFormat(format);
            const QImage scaled = ScaleImage(board, c.to);
            ASSERT_EQ(scaled.size(), c.to);
            EXPECT_EQ(scaled.format(), format);
            for (int y = 1; y + 1 < c.to.height(); ++y) {
                for (int x = 1; x + 1 < c.to.width(); ++x)
                    ASSERT_NEAR(qGray(scaled.pixel(x, y)), 128, 24) << x << ", " << y;
            }
        }
    }
}

TEST(ImageScale, AGentleReductionIsBilinearAndKeepsAlpha) {
    const QImage gradient = Gradient({1920, 1080});
    const QImage scaled = ScaleImage(gradient, {1280, 720});
    ASSERT_EQ(scaled.size(), QSize(1280, 720));
    EXPECT_LE(LargestDifference(scaled, gradient.scaled(1280, 720, Qt::IgnoreAspectRatio,
                                                        Qt::SmoothTransformation)),
              3);

    QImage clear(400, 300, QImage::Format_ARGB32_Premultiplied);
    clear.fill(qPremultiply(qRgba(200, 100, 50, 128)));
    const QImage half = ScaleImage(clear, {300, 200});
    EXPECT_EQ(half.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(half.pixel(150, 100), clear.pixel(0, 0)) << "a flat colour stays what it was";

    EXPECT_EQ(ScaleImage(gradient, gradient.size()), gradient);
    EXPECT_TRUE(ScaleImage(QImage(), {10, 10}).isNull());
    EXPECT_TRUE(ScaleImage(gradient, {0, 10}).isNull());
}

TEST(ImageScale, AThumbnailKeepsTheAspectOfItsTexture) {
    EXPECT_EQ(CPictureCache::MakeThumbnail(Gradient({1280, 720})).size(), QSize(64, 36));
    EXPECT_EQ(CPictureCache::MakeThumbnail(Gradient({300, 600})).size(), QSize(24, 48));
    EXPECT_EQ(CPictureCache::MakeThumbnail(Gradient({4000, 10})).size(), QSize(64, 1));
    EXPECT_EQ(CPictureCache::MakeThumbnail(Gradient({40, 30})).size(), QSize(40, 30));
}

}  // namespace
}  // namespace kolvane
