#include "filters/feddick/FrameSlot.h"

namespace kolvane::feddick {

CFrameSlot::~CFrameSlot() {
    if (pending_ != nullptr) gst_buffer_unref(pending_);
}

void CFrameSlot::Open() {
    GstBuffer* dropped = nullptr;
    {
        std::lock_guard<std::mutex> lock(lock_);
        dropped = pending_;
        pending_ = nullptr;
        open_ = true;
        endRequested_ = false;
    }
    if (dropped != nullptr) gst_buffer_unref(dropped);
}

void CFrameSlot::Close() {
    GstBuffer* dropped = nullptr;
    {
        std::lock_guard<std::mutex> lock(lock_);
        dropped = pending_;
        pending_ = nullptr;
        open_ = false;
    }
    changed_.notify_all();
    if (dropped != nullptr) gst_buffer_unref(dropped);
}

bool CFrameSlot::IsOpen() const {
    std::lock_guard<std::mutex> lock(lock_);
    return open_;
}

bool CFrameSlot::Put(GstBuffer* frame) {
    {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return !open_ || endRequested_ || pending_ == nullptr; });
        if (open_ && !endRequested_) {
            pending_ = frame;
            frame = nullptr;
        }
    }
    if (frame != nullptr) {
        gst_buffer_unref(frame);
        return false;
    }
    changed_.notify_all();
    return true;
}

bool CFrameSlot::EndOfStream() {
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (!open_) return false;
        endRequested_ = true;
    }
    changed_.notify_all();
    return true;
}

CFrameSlot::Take CFrameSlot::Wait(GstBuffer** frame) {
    Take take;
    {
        std::unique_lock<std::mutex> lock(lock_);
        changed_.wait(lock, [this] { return !open_ || endRequested_ || pending_ != nullptr; });
        take = TakeLocked(frame);
    }
    // A taken frame frees the slot for the next put.
    if (take == Take::kFrame) changed_.notify_all();
    return take;
}

CFrameSlot::Take CFrameSlot::Poll() {
    std::lock_guard<std::mutex> lock(lock_);
    if (!open_) return Take::kClosed;
    if (endRequested_ && pending_ == nullptr) return Take::kEndOfStream;
    return Take::kEmpty;
}

CFrameSlot::Take CFrameSlot::TakeLocked(GstBuffer** frame) {
    if (pending_ != nullptr) {
        *frame = pending_;
        pending_ = nullptr;
        return Take::kFrame;
    }
    if (!open_) return Take::kClosed;
    return Take::kEndOfStream;
}

}  // namespace kolvane::feddick
