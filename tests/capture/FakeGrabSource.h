#pragma once

#include <turbojpeg.h>

#include <QColor>
#include <QFile>
#include <QImage>

#include "capture/GrabSource.h"

namespace kolvane::test {

// A frame of one colour, as the adjustment element hands it over (B, G, R).
inline CGrabbedFrame SolidFrame(int width, int height, QColor colour) {
    CGrabbedFrame frame;
    frame.width = width;
    frame.height = height;
    frame.bgr.resize(static_cast<std::size_t>(width * height * 3));
    for (std::size_t i = 0; i < frame.bgr.size(); i += 3) {
        frame.bgr[i] = static_cast<std::uint8_t>(colour.blue());
        frame.bgr[i + 1] = static_cast<std::uint8_t>(colour.green());
        frame.bgr[i + 2] = static_cast<std::uint8_t>(colour.red());
    }
    return frame;
}

// A frame no other shares: a gradient moved by `seed`.
inline CGrabbedFrame PatternFrame(int width, int height, int seed) {
    CGrabbedFrame frame;
    frame.width = width;
    frame.height = height;
    frame.bgr.resize(static_cast<std::size_t>(width * height * 3));
    std::size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, i += 3) {
            frame.bgr[i] = static_cast<std::uint8_t>(x * 3 + seed * 41);
            frame.bgr[i + 1] = static_cast<std::uint8_t>(y * 5 + seed * 13);
            frame.bgr[i + 2] = static_cast<std::uint8_t>((x ^ y) + seed);
        }
    }
    return frame;
}

// A JPEG of `image` (4:4:4, so that a lossless turn is pixel-exact).
inline QByteArray EncodeJpeg(const QImage& image, int subsampling = TJSAMP_444) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.constBits(), rgb.width(), static_cast<int>(rgb.bytesPerLine()),
                rgb.height(), TJPF_RGB, &out, &size, subsampling, 90, 0);
    QByteArray jpeg(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    tjFree(out);
    tjDestroy(handle);
    return jpeg;
}

inline QImage FrameToImage(const CGrabbedFrame& frame) {
    const QImage bgr(frame.bgr.data(), frame.width, frame.height, frame.width * 3,
                     QImage::Format_BGR888);
    return bgr.convertToFormat(QImage::Format_RGB32);
}

// The live video as the grabber sees it, with frames of our own. By default
// a webcam of 64 x 48 whose every frame differs.
class FakeGrabSource final : public IGrabSource {
  public:
    bool IsReadyToGrab() const override { return ready && graph; }
    bool HasGraph() const override { return graph; }
    bool IsVideoPresent() const override { return videoPresent; }
    int SourceKind() const override { return kind; }
    QRect GetFrameRect() const override { return QRect(0, 0, width, height); }
    QRect GetGrabSize() const override { return grabSize.isNull() ? GetFrameRect() : grabSize; }
    CGrabbedFrame GrabFrame() override {
        ++framesTaken;
        if (noFrame) return {};
        if (colours.empty()) return PatternFrame(width, height, framesTaken);
        return SolidFrame(width, height, colours[(framesTaken - 1) % colours.size()]);
    }
    void SetOverlay(const QImage& image) override {
        overlay = image;
        ++overlaysSet;
    }
    QString CameraName() const override { return kind == 6 ? cameraName : QString(); }
    int TakeCameraPicture(const QString& basePath, std::atomic<int>* progress) override {
        if (kind != 6) return 1;
        stillBase = basePath;
        progressValue = progress;
        if (!holdDownload) {
            QFile file(basePath + ".jpg");
            if (file.open(QIODevice::WriteOnly)) file.write(stillJpeg);
            progress->store(100);
        }
        return 0;
    }

    bool graph = true;
    bool ready = true;
    bool videoPresent = true;
    bool noFrame = false;
    int kind = 1;
    int width = 64;
    int height = 48;
    QRect grabSize;
    std::vector<QColor> colours;  // solid frames in turn; empty: patterns
    int framesTaken = 0;
    QImage overlay;
    int overlaysSet = 0;
    QString cameraName = QStringLiteral("Canon 550D");
    QByteArray stillJpeg;
    bool holdDownload = false;  // the still never finishes downloading
    QString stillBase;
    std::atomic<int>* progressValue = nullptr;
};

}  // namespace kolvane::test
