#pragma once

#include <chrono>
#include <memory>

#include <QString>

#include "capture/CaptureGraph.h"
#include "capture/VideoView.h"
#include "platform/Commands.h"

namespace kolvane {

// The live video without a window: a capture graph whose view is never
// drawn and whose posted commands go straight back to it. For kolvane-tool
// grab, the benchmarks and the crash test; the program has the grabber
// panel for this.
class CHeadlessCapture final : private IVideoView, private ICommandSink {
  public:
    // Drives `graph` (the engine's, made with the video sources to search).
    explicit CHeadlessCapture(CCaptureGraph& graph);
    ~CHeadlessCapture() override;
    CHeadlessCapture(const CHeadlessCapture&) = delete;
    CHeadlessCapture& operator=(const CHeadlessCapture&) = delete;

    // Searches the video sources and waits (running the event loop) until
    // one gives pictures: the first, or with `deviceName` the first whose
    // name contains it (case ignored). 0, 60106 when the program's elements
    // are missing, or ENODEV when no source gave pictures in time.
    Result Start(const QString& deviceName = {},
                 std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Runs the event loop until `condition` holds or `timeout` passes.
    bool RunUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

    CCaptureGraph& Graph() { return *graph_; }

  private:
    bool IsShown() const override { return true; }
    QSize ClientSize() const override { return {640, 480}; }
    void RepaintVideo() override {}
    void SendCommand(int id) override;
    void PostCommand(int id) override;

    CCaptureGraph* graph_;
    bool attached_ = false;
};

}  // namespace kolvane
