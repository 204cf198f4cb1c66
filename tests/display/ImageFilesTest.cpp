#include <functional>

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "display/ImageFiles.h"
#include "settings/Settings.h"
#include "tests/display/ImageFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using test::CornerImage;

const QColor kRed(220, 20, 20);
const QColor kBlue(20, 20, 220);
const QSize kFixtureSize(40, 30);

// Colours compared with a margin for lossy files and premultiplication.
void ExpectNear(QRgb actual, QColor expected, int margin, const char* where) {
    EXPECT_NEAR(qRed(actual), expected.red(), margin) << where;
    EXPECT_NEAR(qGreen(actual), expected.green(), margin) << where;
    EXPECT_NEAR(qBlue(actual), expected.blue(), margin) << where;
}

struct FormatCase {
    const char* name;
    std::function<void(const QString& path)> write;
    TextureFormat chosen;    // ChooseImageFormat for an X8R8G8B8 target
    QImage::Format texture;  // what the texture ends up as
    int margin;              // colour margin of the file format
};

QImage Fixture(QImage::Format format = QImage::Format_ARGB32, int alpha = 255) {
    QColor corner = kRed;
    corner.setAlpha(alpha);
    return CornerImage(kFixtureSize, corner, kBlue, format);
}

std::vector<FormatCase> FormatCases() {
    using F = TextureFormat;
    const auto rgb32 = QImage::Format_RGB32;
    const auto argb = QImage::Format_ARGB32_Premultiplied;
    const QImage opaque = Fixture();
    return {
        {"rgba.png",
         [](const QString& p) { test::WriteWithQt(p, Fixture(QImage::Format_ARGB32, 128)); },
         F::A8R8G8B8, argb, 3},
        {"grey-alpha.png", [](const QString& p) { test::WriteGreyAlphaPng(p, 40, 30, 200, 100); },
         F::A8R8G8B8, argb, 0},
        {"rgb.png",
         [opaque](const QString& p) { test::WriteWithQt(p, opaque.convertToFormat(rgb32)); },
         F::X8R8G8B8, rgb32, 0},
        {"palette.png",
         [](const QString& p) {
             QImage indexed(kFixtureSize, QImage::Format_Indexed8);
             indexed.setColorTable({kRed.rgb(), kBlue.rgb()});
             indexed.fill(1);
             for (int y = 0; y < 15; ++y) {
                 for (int x = 0; x < 20; ++x)
                     indexed.setPixel(x, y, 0);
             }
             test::WriteWithQt(p, indexed);
         },
         F::X8R8G8B8, rgb32, 0},
        {"grey.png",
         [opaque](const QString& p) {
             test::WriteWithQt(p, opaque.convertToFormat(QImage::Format_Grayscale8));
         },
         F::X8R8G8B8, rgb32, 0},
        {"companion.lvw",
         [](const QString& p) { test::WriteWithQt(p, Fixture(QImage::Format_ARGB32, 128), "png"); },
         F::A8R8G8B8, argb, 3},
        {"bmp32.bmp", [opaque](const QString& p) { test::WriteBmp(p, opaque, 32); }, F::A8R8G8B8,
         argb, 0},
        {"bmp24.bmp", [opaque](const QString& p) { test::WriteBmp(p, opaque, 24); }, F::X8R8G8B8,
         rgb32, 0},
        // Version 2 files are Qt's; older and run-length coded ones are ours.
        {"tga32.tga", [opaque](const QString& p) { test::WriteTga(p, opaque, 32, false, true); },
         F::A8R8G8B8, argb, 0},
        {"tga24.tga", [opaque](const QString& p) { test::WriteTga(p, opaque, 24); }, F::X8R8G8B8,
         rgb32, 0},
        {"rle32.tga",
         [](const QString& p) { test::WriteTga(p, Fixture(QImage::Format_ARGB32, 128), 32, true); },
         F::A8R8G8B8, argb, 3},
        {"RLE24.TGA", [opaque](const QString& p) { test::WriteTga(p, opaque, 24, true); },
         F::Default, rgb32, 0},
        {"photo.jpg",
         [opaque](const QString& p) { test::WriteWithQt(p, opaque.convertToFormat(rgb32)); },
         F::X8R8G8B8, rgb32, 24},
        {"scan.tif", [opaque](const QString& p) { test::WriteWithQt(p, opaque); }, F::X8R8G8B8,
         rgb32, 0},
        // Upper-case and long extensions are not recognised: the decoder
        // picks, by whether the picture has an alpha channel.
        {"IMAGE.PNG",
         [](const QString& p) { test::WriteWithQt(p, Fixture(QImage::Format_ARGB32, 128), "png"); },
         F::Default, argb, 3},
        {"PLAIN.PNG",
         [opaque](const QString& p) { test::WriteWithQt(p, opaque.convertToFormat(rgb32), "png"); },
         F::Default, rgb32, 0},
        {"photo.jpeg",
         [opaque](const QString& p) { test::WriteWithQt(p, opaque.convertToFormat(rgb32)); },
         F::Default, rgb32, 24},
    };
}

TEST(ImageFiles, FormatComesFromExtensionAndHeaderAndTheTextureFollowsIt) {
    const QString dir = test::MakeTempDir(QStringLiteral("formats"));
    for (const FormatCase& c : FormatCases()) {
        SCOPED_TRACE(c.name);
        const QString path = dir + QLatin1Char('/') + QLatin1String(c.name);
        c.write(path);
        EXPECT_EQ(ChooseImageFormat(path, TextureFormat::X8R8G8B8), c.chosen);

        const DecodedImage decoded = DecodeImage(path, RenderTarget{QSize(800, 600)});
        ASSERT_EQ(decoded.result, kOk);
        EXPECT_EQ(decoded.imageSize, kFixtureSize);
        // The probe of a file without its pixels says what the display reads.
        EXPECT_EQ(ProbeImageSize(path), kFixtureSize);
        EXPECT_EQ(decoded.texture.size(), kFixtureSize);
        EXPECT_EQ(decoded.texture.format(), c.texture);
        if (QLatin1String(c.name) == QLatin1String("grey-alpha.png")) {
            const QRgb pixel = decoded.texture.pixel(5, 5);
            EXPECT_EQ(qAlpha(pixel), 100);
            EXPECT_NEAR(qRed(qUnpremultiply(pixel)), 200, 2);
            continue;
        }
        const bool grey = QLatin1String(c.name) == QLatin1String("grey.png");
        if (!grey) {
            ExpectNear(qUnpremultiply(decoded.texture.pixel(2, 2)), kRed, c.margin, "top left");
            ExpectNear(decoded.texture.pixel(37, 27), kBlue, c.margin, "bottom right");
        }
    }
}

TEST(ImageFiles, GifLoadsWithItsOwnSize) {
    const QString path = test::MakeTempDir(QStringLiteral("gif")) + QStringLiteral("/anim.gif");
    // 3 × 2: a red first pixel on white.
    test::WriteGif(path, 3, 2, {qRgb(255, 255, 255), qRgb(255, 0, 0)}, {1, 0, 0, 0, 0, 0});
    EXPECT_EQ(ChooseImageFormat(path, TextureFormat::X8R8G8B8), TextureFormat::X8R8G8B8);
    const DecodedImage decoded = DecodeImage(path, RenderTarget{QSize(800, 600)});
    ASSERT_EQ(decoded.result, kOk);
    EXPECT_EQ(decoded.imageSize, QSize(3, 2));
    EXPECT_EQ(decoded.texture.format(), QImage::Format_RGB32);
    EXPECT_EQ(decoded.texture.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(decoded.texture.pixel(2, 1), qRgb(255, 255, 255));
}

TEST(ImageFiles, OtherRequestsAndUnreadableHeaders) {
    const QString dir = test::MakeTempDir(QStringLiteral("requests"));
    const QString rgba = dir + QStringLiteral("/rgba.png");
    test::WriteWithQt(rgba, Fixture(QImage::Format_ARGB32, 128));

    // A 16-bit display gets its own format for every texture, alpha or not.
    EXPECT_EQ(ChooseImageFormat(rgba, TextureFormat::R5G6B5), TextureFormat::R5G6B5);
    const DecodedImage decoded =
        DecodeImage(rgba, RenderTarget{QSize(800, 600), TextureFormat::R5G6B5});
    ASSERT_EQ(decoded.result, kOk);
    EXPECT_EQ(decoded.texture.format(), QImage::Format_RGB16);

    // Headers that cannot be read count as without alpha.
    test::WriteBytes(dir + QStringLiteral("/short.png"), QByteArray("\x89PNG\r\n", 6));
    test::WriteBytes(dir + QStringLiteral("/short.bmp"), QByteArray(29, 'B'));
    for (const char* name : {"short.png", "short.bmp", "missing.png", "missing.tga"}) {
        EXPECT_EQ(ChooseImageFormat(dir + QLatin1Char('/') + QLatin1String(name),
                                    TextureFormat::X8R8G8B8),
                  TextureFormat::X8R8G8B8)
            << name;
    }
}

TEST(ImageFiles, TextureIsNeverWiderThanTheTarget) {
    const QString dir = test::MakeTempDir(QStringLiteral("caps"));
    struct Case {
        const char* name;
        QSize image;
        QSize texture;
    };
    const Case cases[] = {
        {"wide.png", {4000, 100}, {800, 600}},   // decoded whole, then scaled
        {"wide.jpg", {4000, 1000}, {800, 600}},  // scaled while decoding
        {"wider.jpg", {1200, 900}, {800, 600}},  // too little to scale while decoding
        {"tall.png", {100, 2000}, {100, 2000}},  // heights are not compared
        {"exact.png", {800, 50}, {800, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir + QLatin1Char('/') + QLatin1String(c.name);
        test::WriteWithQt(path, CornerImage(c.image, kRed, kBlue, QImage::Format_RGB32));
        const DecodedImage decoded = DecodeImage(path, RenderTarget{QSize(800, 600)});
        ASSERT_EQ(decoded.result, kOk);
        EXPECT_EQ(decoded.imageSize, c.image);
        EXPECT_EQ(decoded.texture.size(), c.texture);
        EXPECT_EQ(decoded.texture.sizeInBytes(),
                  static_cast<qsizetype>(c.texture.width()) * c.texture.height() * 4);
        ExpectNear(decoded.texture.pixel(1, 1), kRed, 24, "top left");
        ExpectNear(decoded.texture.pixel(c.texture.width() - 2, c.texture.height() - 2), kBlue, 24,
                   "bottom right");
    }
}

// A decoder thread reuses its JPEG buffer: a texture decoded earlier at the
// same size, still held, keeps its own picture, as does one decoded after it.
TEST(ImageFiles, ATextureHeldIsNotOverwrittenByTheNextDecode) {
    const QString dir = test::MakeTempDir(QStringLiteral("reuse"));
    const QString red = dir + QStringLiteral("/red.jpg");
    const QString blue = dir + QStringLiteral("/blue.jpg");
    const QString big = dir + QStringLiteral("/big.jpg");
    test::WriteWithQt(red, CornerImage({320, 240}, kRed, kRed, QImage::Format_RGB32));
    test::WriteWithQt(blue, CornerImage({320, 240}, kBlue, kBlue, QImage::Format_RGB32));
    test::WriteWithQt(big, CornerImage({1200, 900}, kBlue, kRed, QImage::Format_RGB32));
    const RenderTarget view{QSize(800, 600)};
    const DecodedImage first = DecodeImage(red, view);  // the decoded buffer is the texture
    const DecodedImage second = DecodeImage(blue, view);
    const DecodedImage scaled = DecodeImage(big, view);  // decoded whole, then scaled
    const DecodedImage again = DecodeImage(big, view);   // into the buffer `scaled` came from
    ASSERT_EQ(first.result, kOk);
    ASSERT_EQ(second.result, kOk);
    ExpectNear(first.texture.pixel(160, 120), kRed, 24, "the first");
    ExpectNear(second.texture.pixel(160, 120), kBlue, 24, "the second");
    ASSERT_EQ(scaled.texture.size(), QSize(800, 600));
    EXPECT_EQ(scaled.texture, again.texture);
    ExpectNear(scaled.texture.pixel(1, 1), kBlue, 24, "scaled");
}

TEST(ImageFiles, BrokenFilesFailWithoutAskingForRetries) {
    const QString dir = test::MakeTempDir(QStringLiteral("broken"));
    test::WriteBytes(dir + QStringLiteral("/garbage.png"), QByteArray("not a picture at all"));
    QImage whole(64, 64, QImage::Format_RGB32);
    whole.fill(Qt::green);
    test::WriteWithQt(dir + QStringLiteral("/cut.png"), whole);
    QFile cut(dir + QStringLiteral("/cut.png"));
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    ASSERT_TRUE(cut.resize(40));
    cut.close();
    QDir(dir).mkdir(QStringLiteral("folder.png"));

    QByteArray tga;
    {
        test::WriteTga(dir + QStringLiteral("/whole.tga"), whole, 24, true);
        QFile file(dir + QStringLiteral("/whole.tga"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        tga = file.readAll();
    }
    test::WriteBytes(dir + QStringLiteral("/cut.tga"), tga.left(tga.size() - 2));
    test::WriteBytes(dir + QStringLiteral("/header.tga"), tga.left(17));
    {
        QByteArray raw;
        test::WriteTga(dir + QStringLiteral("/raw.tga"), whole, 24);
        QFile file(dir + QStringLiteral("/raw.tga"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        raw = file.readAll();
        test::WriteBytes(dir + QStringLiteral("/raw cut.tga"), raw.left(raw.size() - 2));
    }
    for (const char* name :
         {"garbage.png", "cut.png", "missing.png", "folder.png", "header.tga", "raw cut.tga"}) {
        EXPECT_FALSE(ProbeImageSize(dir + QLatin1Char('/') + QLatin1String(name)).isValid())
            << name;
    }

    for (const char* name :
         {"garbage.png", "cut.png", "missing.png", "folder.png", "cut.tga", "header.tga"}) {
        const DecodedImage decoded = DecodeImage(dir + QLatin1Char('/') + QLatin1String(name),
                                                 RenderTarget{QSize(800, 600)});
        EXPECT_EQ(decoded.result, kFail) << name;
        EXPECT_FALSE(decoded.retry) << name;
        EXPECT_TRUE(decoded.texture.isNull()) << name;
    }
}

TEST(ImageFiles, DisplayPathTakesTheCompanionOnlyWhenAskedAndPresent) {
    const QString dir = test::MakeTempDir(QStringLiteral("companions"));
    const QString photo = dir + QStringLiteral("/shot 0001.jpg");
    const QString lonely = dir + QStringLiteral("/shot 0002.jpg");
    test::WriteBytes(dir + QStringLiteral("/shot 0001.lvw"), "x");
    EXPECT_EQ(CompanionPath(photo), dir + QStringLiteral("/shot 0001.lvw"));

    CSettings settings;
    settings.Set(LoadLiveView, 0);
    EXPECT_EQ(GetDisplayPath(photo, settings), photo);
    settings.Set(LoadLiveView, 1);
    EXPECT_EQ(GetDisplayPath(photo, settings), dir + QStringLiteral("/shot 0001.lvw"));
    EXPECT_EQ(GetDisplayPath(lonely, settings), lonely);
}

}  // namespace
}  // namespace kolvane
