#include <array>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/Node.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

// An image item holding `texture`, with the picture size it came from.
std::unique_ptr<CNode> ImageItem(QImage texture, QSize imageSize = QSize()) {
    auto item = std::make_unique<CNode>(kTypeImageItem, QStringLiteral("item"));
    item->imageInfo = std::make_unique<CImageInfo>(QStringLiteral("/nowhere/item.png"));
    if (!imageSize.isValid()) imageSize = texture.size();
    item->imageInfo->imageWidth = imageSize.width();
    item->imageInfo->imageHeight = imageSize.height();
    item->imageInfo->textureWidth = texture.width();
    item->imageInfo->textureHeight = texture.height();
    item->texture = std::move(texture);
    return item;
}

// An opaque texture whose pixels are `colours`, left to right, one row.
QImage Row(const std::vector<QRgb>& colours) {
    QImage image(static_cast<int>(colours.size()), 1, QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x)
        image.setPixel(x, 0, colours[static_cast<std::size_t>(x)]);
    return image;
}

QImage Filled(QSize size, QRgb colour, QImage::Format format = QImage::Format_RGB32) {
    QImage image(size, format);
    image.fill(QColor::fromRgba(colour));
    return image;
}

class RendererFixture : public ::testing::Test {
  protected:
    void MakeView(QSize size) { ASSERT_EQ(display_.CreateDevice(size), kOk); }

    // The render target's pixels, read the way movie frames are.
    QImage Frame() {
        const QSize size = display_.TargetSize();
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.width() * size.height() * 4));
        EXPECT_EQ(display_.ReadFrame(bytes, false), kOk);
        QImage frame(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            const std::uint8_t* row = bytes.data() + (size.height() - 1 - y) * size.width() * 4;
            for (int x = 0; x < size.width(); ++x) {
                const std::uint8_t* p = row + x * 4;
                frame.setPixel(x, y, qRgb(p[2], p[1], p[0]));
            }
        }
        return frame;
    }

    CSettings settings_;
    CMdiaList media_;
    CDirect3D display_{settings_, media_};
};

struct Placement {
    const char* what;
    int monitor;    // MonitorAspect
    int letterbox;  // GrabLetterbox
    QRect rect;
    QSize image;
    int fitMode;
    QRect drawn;
};

TEST_F(RendererFixture, PlacesImagesByFitMode) {
    const Placement cases[] = {
        // c = 133 for 720 wide, m = 177: width factor 133/177, height 1.
        {"PAL on 16:9", 177, 133, {0, 0, 1280, 720}, {720, 576}, kFitMonitor, {159, 0, 962, 720}},
        {"anamorphic PAL", 177, 255, {0, 0, 1280, 720}, {720, 576}, kFitMonitor, {0, 0, 1280, 720}},
        // c = 177, m = 133: letterboxed.
        {"16:9 on 4:3", 133, 133, {0, 0, 800, 600}, {1920, 1080}, kFitMonitor, {0, 75, 800, 450}},
        {"4:3 on 4:3", 133, 133, {10, 20, 800, 600}, {640, 480}, kFitMonitor, {10, 20, 800, 600}},
        {"inside", 133, 133, {0, 0, 1920, 1080}, {640, 481}, kFitInside, {241, 0, 1438, 1080}},
        {"inside, taller rect",
         133,
         133,
         {0, 0, 1000, 1000},
         {1920, 1080},
         kFitInside,
         {0, 219, 1000, 562}},
        {"fill overflows",
         133,
         133,
         {0, 0, 1920, 1080},
         {641, 480},
         kFitFill,
         {0, -178, 1920, 1436}},
        {"stretch", 133, 133, {5, 5, 300, 200}, {640, 480}, kFitStretch, {5, 5, 300, 200}},
        {"unknown size stretches",
         177,
         133,
         {0, 0, 300, 200},
         {0, 0},
         kFitInside,
         {0, 0, 300, 200}},
    };
    for (const Placement& c : cases) {
        SCOPED_TRACE(c.what);
        settings_.Set(MonitorAspect, c.monitor);
        settings_.Set(GrabLetterbox, c.letterbox);
        EXPECT_EQ(display_.PlaceImage(c.rect, c.image, c.fitMode), c.drawn);
    }
}

TEST_F(RendererFixture, PictureRectIsTheLastDrawnOrTheDefaultArea) {
    EXPECT_EQ(display_.GetPictureRect(), QRect());  // no view yet
    MakeView(QSize(1280, 720));
    settings_.Set(MonitorAspect, 133);
    // The viewport's own aspect (177) on a 4:3 monitor.
    EXPECT_EQ(display_.GetPictureRect(), QRect(0, 89, 1280, 542));
    settings_.Set(MonitorAspect, 177);
    EXPECT_EQ(display_.GetPictureRect(), QRect(0, 0, 1280, 720));

    auto item = ImageItem(Filled(QSize(72, 57), 0xFF808080), QSize(720, 576));
    display_.DrawImage(QRect(0, 0, 1280, 720), *item, false, kFitMonitor);
    EXPECT_EQ(display_.GetPictureRect(), QRect(159, 0, 962, 720));

    ASSERT_EQ(display_.OnDisplayChange(QSize(640, 360), 32), kOk);
    EXPECT_EQ(display_.GetPictureRect(), QRect(0, 0, 640, 360));
}

TEST_F(RendererFixture, OpaqueLayersMultiplyLikeDrawingsOnALightBox) {
    MakeView(QSize(5, 1));
    display_.Clear(std::nullopt, 0x00FF00);
    const QRect all(0, 0, 5, 1);
    auto first = ImageItem(Row({0xFF000000, 0xFFFFFFFF, 0xFF808080, 0xFFFF0000, 0xFFC86432}));
    auto second = ImageItem(Row({0xFFFFFFFF, 0xFF000000, 0xFF808080, 0xFFFFFFFF, 0xFF808080}));

    display_.DrawImage(all, *first, false, kFitStretch);
    EXPECT_EQ(Frame(), first->texture);  // the first layer replaces

    display_.DrawImage(all, *second, true, kFitStretch);
    const QImage frame = Frame();
    EXPECT_EQ(frame.pixel(0, 0), qRgb(0, 0, 0));  // black stays black
    EXPECT_EQ(frame.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(frame.pixel(2, 0), qRgb(64, 64, 64));  // 128 × 128 / 255
    EXPECT_EQ(frame.pixel(3, 0), qRgb(255, 0, 0));   // white leaves it as it is
    EXPECT_EQ(frame.pixel(4, 0), qRgb(100, 50, 25));
}

TEST_F(RendererFixture, ScaledAndClippedLayersMultiplyToo) {
    MakeView(QSize(40, 20));
    display_.Clear(std::nullopt, 0xC8C8C8);
    // A uniform half-grey layer, drawn larger than the target and cut by it.
    auto grey = ImageItem(Filled(QSize(6, 6), 0xFF808080));
    display_.DrawImage(QRect(10, -10, 60, 40), *grey, true, kFitStretch);
    const QImage frame = Frame();
    EXPECT_EQ(frame.pixel(9, 10), qRgb(200, 200, 200));
    EXPECT_EQ(frame.pixel(10, 0), qRgb(100, 100, 100));
    EXPECT_EQ(frame.pixel(39, 19), qRgb(100, 100, 100));
}

TEST_F(RendererFixture, TransparentImagesAreLaidOverWhiteOrOverTheLayersBelow) {
    MakeView(QSize(3, 1));
    QImage texture(3, 1, QImage::Format_ARGB32);
    texture.setPixel(0, 0, qRgba(0, 0, 0, 0));      // clear
    texture.setPixel(1, 0, qRgba(255, 0, 0, 255));  // solid red
    texture.setPixel(2, 0, qRgba(0, 0, 255, 128));  // half blue
    auto cel = ImageItem(texture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    auto background = ImageItem(Filled(QSize(3, 1), 0xFF00FF00));
    const QRect all(0, 0, 3, 1);

    display_.Clear(std::nullopt, 0x000000);
    display_.DrawImage(all, *cel, false, kFitStretch);
    QImage frame = Frame();
    EXPECT_EQ(frame.pixel(0, 0), qRgb(255, 255, 255));  // cleared to white first
    EXPECT_EQ(frame.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_NEAR(qRed(frame.pixel(2, 0)), 127, 1);
    EXPECT_EQ(qBlue(frame.pixel(2, 0)), 255);

    display_.DrawImage(all, *background, false, kFitStretch);
    display_.DrawImage(all, *cel, true, kFitStretch);
    frame = Frame();
    EXPECT_EQ(frame.pixel(0, 0), qRgb(0, 255, 0));  // the layer below shows through
    EXPECT_EQ(frame.pixel(1, 0), qRgb(255, 0, 0));

    // With "Ignore Image Opacity" the same picture is opaque: its colours,
    // multiplied into the layer below.
    settings_.Set(IgnoreOpacity, 1);
    display_.DrawImage(all, *background, false, kFitStretch);
    display_.DrawImage(all, *cel, true, kFitStretch);
    frame = Frame();
    EXPECT_EQ(frame.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(frame.pixel(1, 0), qRgb(0, 0, 0));  // red × green
    display_.DrawImage(all, *cel, false, kFitStretch);
    frame = Frame();
    EXPECT_EQ(frame.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_NEAR(qBlue(frame.pixel(2, 0)), 255, 2);  // straight blue, not darkened
    EXPECT_EQ(qRed(frame.pixel(2, 0)), 0);
}

TEST_F(RendererFixture, AnImageNotLoadedYetIsABlankSheet) {
    MakeView(QSize(4, 4));
    auto pending = ImageItem(QImage(), QSize(0, 0));
    display_.Clear(std::nullopt, 0x102030);
    display_.DrawImage(QRect(0, 0, 4, 4), *pending, true, kFitMonitor);
    EXPECT_EQ(Frame().pixel(1, 1), qRgb(0x10, 0x20, 0x30));
    display_.DrawImage(QRect(0, 0, 4, 4), *pending, false, kFitMonitor);
    EXPECT_EQ(Frame().pixel(1, 1), qRgb(255, 255, 255));
}

TEST_F(RendererFixture, ReadFrameWritesBottomRowFirstAndNeverPastTheBuffer) {
    MakeView(QSize(640, 480));
    ASSERT_TRUE(display_.BeginOffscreen(QRect(0, 0, 10, 2)));
    EXPECT_EQ(display_.GetViewportRect(), QRect(0, 0, 10, 2));
    display_.Clear(QRect(0, 0, 10, 1), 0xFF0000);  // top row red
    display_.Clear(QRect(0, 1, 10, 1), 0x0000FF);  // bottom row blue

    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xAA);
    ASSERT_EQ(display_.ReadFrame(buffer, true), kOk);
    for (int i = 0; i < 60; ++i) {
        const int x = i % 3;
        const std::uint8_t expected = i < 30 ? (x == 0 ? 255 : 0) : (x == 2 ? 255 : 0);
        EXPECT_EQ(buffer[static_cast<std::size_t>(i)], expected) << "byte " << i;
    }
    EXPECT_EQ(buffer[60], 0xAA);
    EXPECT_EQ(buffer[63], 0xAA);

    std::array<std::uint8_t, 80> wide;
    ASSERT_EQ(display_.ReadFrame(wide, false), kOk);
    EXPECT_EQ((std::array<int, 4>{wide[0], wide[1], wide[2], wide[3]}),
              (std::array<int, 4>{255, 0, 0, 255}));
    EXPECT_EQ((std::array<int, 4>{wide[40], wide[41], wide[42], wide[43]}),
              (std::array<int, 4>{0, 0, 255, 255}));

    // A buffer one byte short is refused untouched.
    std::array<std::uint8_t, 59> small;
    small.fill(0x55);
    EXPECT_EQ(display_.ReadFrame(small, true), kFail);
    EXPECT_EQ(small[0], 0x55);
    EXPECT_EQ(display_.ReadFrame(wide, false), kOk);
    EXPECT_EQ(display_.ReadFrame(std::span<std::uint8_t>(wide.data(), 79), false), kFail);

    display_.EndOffscreen();
    EXPECT_EQ(display_.GetViewportRect(), QRect(0, 0, 640, 480));
}

TEST_F(RendererFixture, OffscreenFramesReportFailure) {
    EXPECT_FALSE(display_.BeginOffscreen(QRect()));
    EXPECT_FALSE(display_.BeginOffscreen(QRect(0, 0, 0, 10)));
    EXPECT_FALSE(display_.BeginOffscreen(QRect(0, 0, 1 << 20, 1 << 20)));  // no memory for it
    EXPECT_FALSE(display_.InOffscreen());
    ASSERT_TRUE(display_.BeginOffscreen(QRect(0, 0, 32, 18)));
    EXPECT_FALSE(display_.BeginOffscreen(QRect(0, 0, 64, 36)));
    EXPECT_EQ(display_.TargetSize(), QSize(32, 18));
    display_.EndOffscreen();
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_EQ(display_.ReadFrame(buffer, false), kFail);  // no target at all
}

TEST_F(RendererFixture, TextIsCentredOnOneLine) {
    MakeView(QSize(200, 40));
    display_.Clear(std::nullopt, 0x000000);
    display_.DrawText(QRect(0, 0, 200, 40), 0xFFFFFF, QStringLiteral("0042 &x"));
    const QImage frame = Frame();
    QRect lit;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            if (qGreen(frame.pixel(x, y)) > 128) lit |= QRect(x, y, 1, 1);
        }
    }
    ASSERT_FALSE(lit.isEmpty());
    EXPECT_NEAR(lit.center().x(), 100, 4);
    EXPECT_NEAR(lit.center().y(), 20, 4);
}

TEST_F(RendererFixture, PresentScalesTheBackBufferIntoAnyWidget) {
    MakeView(QSize(8, 4));
    display_.Clear(std::nullopt, 0x00FF00);
    display_.Clear(QRect(0, 0, 4, 4), 0xFF0000);
    QImage widget(16, 8, QImage::Format_RGB32);
    widget.fill(Qt::black);
    {
        QPainter painter(&widget);
        display_.Present(painter, widget.rect());
    }
    EXPECT_EQ(widget.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(widget.pixel(13, 5), qRgb(0, 255, 0));
}

TEST_F(RendererFixture, BitsPerPixelFollowTheDisplay) {
    EXPECT_EQ(display_.BitsPerPixel(), 0);  // no device
    const std::pair<int, int> cases[] = {{16, 16}, {15, 16}, {24, 32}, {32, 32},
                                         {30, 32}, {48, 48}, {8, 0}};
    for (const auto& [depth, bits] : cases) {
        ASSERT_EQ(display_.OnDisplayChange(QSize(4, 4), depth), kOk);
        EXPECT_EQ(display_.BitsPerPixel(), bits) << depth;
    }
    ASSERT_EQ(display_.OnDisplayChange(QSize(4, 4), 16), kOk);
    EXPECT_EQ(display_.TargetFormat(), TextureFormat::R5G6B5);
}

}  // namespace
}  // namespace kolvane
