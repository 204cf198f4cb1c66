#pragma once

#include <gst/gst.h>

#include <condition_variable>
#include <mutex>

namespace kolvane::feddick {

// The one-slot hand-over between the thread that puts frames and a pad's
// streaming thread (see README.md). The slot is closed until its pad starts
// streaming, and closes again when the pad stops or its stream fails: then
// nothing waits, and every put is refused.
class CFrameSlot {
  public:
    enum class Take {
        kFrame,        // a frame was taken: the slot is free again
        kEndOfStream,  // end of stream was asked for and every frame is out
        kClosed,       // the slot was closed
        kEmpty,        // Poll only: nothing to do
    };

    CFrameSlot() = default;
    ~CFrameSlot();
    CFrameSlot(const CFrameSlot&) = delete;
    CFrameSlot& operator=(const CFrameSlot&) = delete;

    // Streaming starts: the slot is empty and accepts frames.
    void Open();
    // Streaming stops or failed: drops a pending frame and wakes both sides.
    void Close();
    bool IsOpen() const;

    // Caller's side. Takes ownership of `frame`; waits while the slot is
    // full. False, with the frame dropped, when the slot is closed or end of
    // stream was asked for.
    bool Put(GstBuffer* frame);
    // End of stream after the pending frame. False when closed.
    bool EndOfStream();

    // Streaming side: waits for a frame, the end of stream or closing.
    Take Wait(GstBuffer** frame);
    // The same without waiting (a stream that makes its own frames).
    Take Poll();

  private:
    Take TakeLocked(GstBuffer** frame);

    mutable std::mutex lock_;
    std::condition_variable changed_;
    GstBuffer* pending_ = nullptr;
    bool open_ = false;
    bool endRequested_ = false;
};

}  // namespace kolvane::feddick
