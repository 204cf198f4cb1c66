#pragma once

#include <chrono>
#include <cstdint>

#include <QImage>
#include <QSize>

namespace kolvane {

// One preview frame, ready to paint: RGB32 at the frame's size.
struct CVideoFrame {
    QImage image;
    std::uint64_t sequence = 0;  // counts every frame that reached the view's slot
    std::chrono::steady_clock::time_point arrived{};  // when it left the adjustment element
    // When the source captured it, on the pipeline's clock (the system's
    // monotonic clock) in nanoseconds; -1 when the frame carries no time.
    std::int64_t capturedNs = -1;
    bool IsEmpty() const { return image.isNull(); }
};

// The window that shows the live video, as the capture graph sees it: the
// graph places the video in its client area and tells it when a frame is
// there to paint. All calls come on the user-interface thread.
class IVideoView {
  public:
    virtual ~IVideoView() = default;
    virtual bool IsShown() const = 0;
    virtual QSize ClientSize() const = 0;
    // A new frame waits in the graph (`LatestFrame`), or the placement or
    // overlay changed: paint again.
    virtual void RepaintVideo() = 0;
};

}  // namespace kolvane
