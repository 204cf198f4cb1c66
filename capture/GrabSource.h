#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include <QImage>
#include <QRect>
#include <QString>

#include "display/FrameBytes.h"

namespace kolvane {

// One frame taken for a grab: top-down rows of exactly width x 3 bytes,
// blue, green, red per pixel, orientation applied, averaged over the denoise
// frames. Empty when the live video had no frame to give.
struct CGrabbedFrame {
    int width = 0;
    int height = 0;
    FrameBytes bgr;
    bool IsEmpty() const { return width <= 0 || height <= 0 || bgr.empty(); }
};

// What the grabber needs of the live video. The capture graph is the one
// implementation the program runs; tests of the grabber may hand in their
// own frames through it.
class IGrabSource {
  public:
    virtual ~IGrabSource() = default;

    // Graph, source and sink exist, a picture is present and motion
    // detection allows grabbing: the Grab command is enabled only then.
    virtual bool IsReadyToGrab() const = 0;
    virtual bool HasGraph() const = 0;
    virtual bool IsVideoPresent() const = 0;
    // 0 searching, 1 webcam, 2 analog, 3 DV, 4 tuner, 5 HD card, 6 camera.
    virtual int SourceKind() const = 0;
    // (0, 0, width, height) of the adjustment element's current frame;
    // empty before it has a format.
    virtual QRect GetFrameRect() const = 0;
    // The size of the image a grab will produce (the camera's still size
    // for its quality, else the frame size); empty when unknown.
    virtual QRect GetGrabSize() const = 0;
    virtual CGrabbedFrame GrabFrame() = 0;
    // The onion skin blended over the live video at the `Opacity` setting;
    // a null image removes it.
    virtual void SetOverlay(const QImage& overlay) = 0;
    // The connected camera's model name ("Canon 550D"); empty without one.
    virtual QString CameraName() const = 0;
    // Passes a still-picture request to the camera: it writes `basePath`
    // plus its file's extension and moves `*progress` to 100; -1 stored by
    // the caller cancels. 0 when passed on, 1 when the source is not the
    // camera.
    virtual int TakeCameraPicture(const QString& basePath, std::atomic<int>* progress) = 0;
};

}  // namespace kolvane
