#include "filters/zantho/ZanthoEngine.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace kolvane::zantho {

namespace {

constexpr int kMotionDivisorMoving = 64;
constexpr int kMotionDivisorStill = 32;

void AddEvent(FrameResult* result, int code) {
    if (result->eventCount < static_cast<int>(result->events.size())) {
        result->events[static_cast<std::size_t>(result->eventCount++)] = code;
    }
}

}  // namespace

CZantho::CZantho() {
    UpdateLevels();
}

void CZantho::SetWhiteness(float whiteness) {
    // 127.5 would divide by zero, more would invert the picture.
    whiteness_ = whiteness > 0.0f ? std::min(whiteness, 127.0f) : 0.0f;
    UpdateLevels();
}

void CZantho::SetBrightness(float brightness) {
    brightness_ = brightness;
    UpdateLevels();
}

void CZantho::SetContrast(float contrast) {
    contrast_ = contrast;
    UpdateLevels();
}

void CZantho::SetColor(float color) {
    color_ = color;
    UpdateLevels();
}

bool CZantho::SetDenoise(int frames) {
    if (frames < 1 || frames > kMaxDenoise) return false;
    denoise_ = frames;
    historyIndex_ = 0;
    frameLength_ = 0;
    return true;
}

void CZantho::UpdateLevels() {
    levels_ = MakeLevelTables(whiteness_, brightness_, contrast_, color_);
}

Orientation CZantho::CurrentOrientation() const {
    return Orientation{horizontal_ != 1.0f, vertical_ == -1.0f};
}

void CZantho::SetInputFormat(InputFormat format, int width, int height) {
    if (format == format_ && width == width_ && height == height_) return;
    DetachHeld();
    // Allocate first: a failure leaves the previous format whole.
    std::vector<std::uint8_t> converted;
    if (format == InputFormat::kBgr) {
        converted.resize(static_cast<std::size_t>(Yuy2RowBytes(width)) *
                         static_cast<std::size_t>(height));
    }
    converted_ = std::move(converted);
    format_ = format;
    width_ = width;
    height_ = height;
    live_ = false;
    still_ = false;
}

bool CZantho::WantsPassthrough() const {
    const Orientation orientation = CurrentOrientation();
    return format_ == InputFormat::kYuy2 && levels_.neutral && !orientation.mirror &&
           !orientation.flip;
}

FrameResult CZantho::ProcessFrame(const std::uint8_t* frame, std::ptrdiff_t pitch,
                                  std::uint8_t* out, std::ptrdiff_t outPitch, FrameHold hold) {
    FrameResult result;
    if (format_ == InputFormat::kNone || width_ <= 0 || height_ <= 0) return result;

    // The live path reads the input once: no copy for the history, the
    // conversion, levels and orientation in one pass into the output.
    if (hold != nullptr && denoise_ == 1) {
        result.live = UpdateHeld(frame, pitch, std::move(hold), out, outPitch, &result);
        return result;
    }
    if (held_.data != nullptr) HeldToHistory();

    const std::uint8_t* yuy2 = frame;
    std::ptrdiff_t yuy2Pitch = pitch;
    if (format_ == InputFormat::kBgr) {
        const std::ptrdiff_t convertedPitch = Yuy2RowBytes(width_);
        ConvertBgrToYuy2(frame, pitch, width_, height_, converted_.data(), convertedPitch);
        const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
        lastInput_.resize(rowBytes * static_cast<std::size_t>(height_));
        for (int row = 0; row < height_; ++row) {
            std::memcpy(lastInput_.data() + rowBytes * static_cast<std::size_t>(row),
                        frame + pitch * row, rowBytes);
        }
        lastInputWidth_ = width_;
        lastInputHeight_ = height_;
        yuy2 = converted_.data();
        yuy2Pitch = convertedPitch;
    }

    result.live = UpdateHistory(yuy2, yuy2Pitch, &result);
    if (result.live && out != nullptr) {
        AdjustAndOrient(yuy2, yuy2Pitch, out, outPitch, width_, height_, CurrentOrientation(),
                        levels_);
    }
    return result;
}

// The output is written before the checks decide whether the picture is
// live, so that the frame is read once; a frame that is not live is dropped.
bool CZantho::UpdateHeld(const std::uint8_t* frame, std::ptrdiff_t pitch, FrameHold hold,
                         std::uint8_t* out, std::ptrdiff_t outPitch, FrameResult* result) {
    const std::ptrdiff_t rowBytes = Yuy2RowBytes(width_);
    const std::size_t length =
        static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height_);
    const std::size_t sampleCount =
        static_cast<std::size_t>((width_ + 1) / 2) * static_cast<std::size_t>(height_);
    // The checks need the previous frame's samples: from the held frame, or
    // from the one-slot history this takes over.
    bool previous = false;
    if (held_.data != nullptr) {
        previous = length == frameLength_ && width_ == held_.width && height_ == held_.height;
    } else if (historyCount_ == 1 && length == frameLength_ && width_ == historyWidth_ &&
               height_ == historyHeight_) {
        samples_.resize(sampleCount);
        ReplaceLumaSamples(Slot(0), rowBytes, width_, height_, samples_.data());
        previous = true;
    }
    if (!previous) samples_.resize(sampleCount);

    const bool bgr = format_ == InputFormat::kBgr;
    SampleChange change;
    if (out != nullptr) {
        change = bgr ? ConvertAdjustOrientAndSample(frame, pitch, out, outPitch, width_, height_,
                                                    CurrentOrientation(), levels_, samples_.data())
                     : AdjustOrientAndSample(frame, pitch, out, outPitch, width_, height_,
                                             CurrentOrientation(), levels_, samples_.data());
    } else {
        change = bgr ? ReplaceBgrLumaSamples(frame, pitch, width_, height_, samples_.data())
                     : ReplaceLumaSamples(frame, pitch, width_, height_, samples_.data());
    }
    const bool live = previous ? Judge(change, sampleCount, result) : live_;

    held_ = HeldFrame{frame, pitch, format_, width_, height_, std::move(hold)};
    std::vector<std::uint8_t>().swap(heldCopy_);
    std::vector<std::uint8_t>().swap(history_);
    std::vector<std::uint8_t>().swap(lastInput_);
    historyCount_ = 0;
    historyIndex_ = 0;
    historyBytes_ = 0;
    historyWidth_ = width_;
    historyHeight_ = height_;
    frameLength_ = length;
    return live;
}

// Frames come without a hold now, or N changed: the held frame becomes the
// one-slot history, so that the next frame is still checked against it.
void CZantho::HeldToHistory() {
    const bool fits =
        denoise_ == 1 && frameLength_ != 0 && held_.width == width_ && held_.height == height_;
    if (fits) {
        const std::ptrdiff_t rowBytes = Yuy2RowBytes(width_);
        const std::size_t bytes =
            static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height_);
        std::vector<std::uint8_t> history(bytes);
        if (held_.format == InputFormat::kBgr) {
            ConvertBgrToYuy2(held_.data, held_.pitch, width_, height_, history.data(), rowBytes);
        } else {
            CopyYuy2(held_.data, held_.pitch, history.data(), rowBytes, width_, height_);
        }
        history_ = std::move(history);
        historyBytes_ = bytes;
        historyCount_ = 1;
        historyIndex_ = 0;
    } else {
        frameLength_ = 0;
    }
    held_ = HeldFrame{};
    std::vector<std::uint8_t>().swap(heldCopy_);
    std::vector<std::uint8_t>().swap(samples_);
}

// The owner of the held frame is about to go (the stream stops or changes):
// keep a copy, so that a grab still finds the last frame.
void CZantho::DetachHeld() {
    if (held_.owner == nullptr) return;
    const std::size_t rowBytes = held_.format == InputFormat::kBgr
                                     ? static_cast<std::size_t>(held_.width) * 3
                                     : static_cast<std::size_t>(Yuy2RowBytes(held_.width));
    try {
        std::vector<std::uint8_t> copy(rowBytes * static_cast<std::size_t>(held_.height));
        for (int row = 0; row < held_.height; ++row) {
            std::memcpy(copy.data() + rowBytes * static_cast<std::size_t>(row),
                        held_.data + held_.pitch * row, rowBytes);
        }
        heldCopy_ = std::move(copy);
        held_.data = heldCopy_.data();
        held_.pitch = static_cast<std::ptrdiff_t>(rowBytes);
    } catch (const std::bad_alloc&) {
        held_ = HeldFrame{};
        frameLength_ = 0;
    }
    held_.owner.reset();
}

void CZantho::RebuildHistory(const std::uint8_t* frame, std::ptrdiff_t pitch) {
    const std::ptrdiff_t rowBytes = Yuy2RowBytes(width_);
    const std::size_t bytes =
        static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height_);
    // Allocate first: a failure leaves the held frames whole.
    history_.resize(bytes * static_cast<std::size_t>(denoise_));
    historyBytes_ = bytes;
    frameLength_ = bytes;
    historyWidth_ = width_;
    historyHeight_ = height_;
    historyCount_ = denoise_;
    for (int slot = 0; slot < historyCount_; ++slot) {
        CopyYuy2(frame, pitch, Slot(slot), rowBytes, width_, height_);
    }
    // The frame just taken counts as written into slot 0.
    historyIndex_ = 1 % historyCount_;
}

bool CZantho::Judge(const SampleChange& change, std::size_t samples, FrameResult* result) {
    // Identical frames count only in a row: a camera that repeats every other
    // frame in low light is still a live camera.
    if (change.same) {
        if (++sameCount_ >= kFreezeFrames) {
            sameCount_ = 0;
            live_ = false;
            AddEvent(result, kZanthoPictureFroze);
        }
    } else {
        sameCount_ = 0;
        if (!live_) {
            live_ = true;
            AddEvent(result, kZanthoPictureLive);
        }
    }

    if (motionDetect_) {
        const std::size_t threshold = samples / static_cast<std::size_t>(motionDivisor_);
        if (change.moved > threshold) {
            if (still_) {
                still_ = false;
                motionDivisor_ = kMotionDivisorMoving;
                AddEvent(result, kZanthoMotionStarted);
            }
        } else if (!still_) {
            still_ = true;
            motionDivisor_ = kMotionDivisorStill;
            AddEvent(result, kZanthoSceneStill);
        }
    }
    return live_;
}

bool CZantho::UpdateHistory(const std::uint8_t* frame, std::ptrdiff_t pitch, FrameResult* result) {
    const std::ptrdiff_t rowBytes = Yuy2RowBytes(width_);
    const std::size_t length =
        static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height_);
    if (length != frameLength_ || width_ != historyWidth_ || height_ != historyHeight_ ||
        historyCount_ == 0) {
        RebuildHistory(frame, pitch);
        return live_;
    }

    SampleChange change;
    change.same = SampledLumaEqual(frame, pitch, Slot(0), rowBytes, width_, height_);
    if (motionDetect_) {
        change.moved =
            CountMovedSamples(frame, pitch, Slot(historyIndex_), rowBytes, width_, height_);
    }
    const bool live = Judge(change, length / 4, result);

    CopyYuy2(frame, pitch, Slot(historyIndex_), rowBytes, width_, height_);
    historyIndex_ = (historyIndex_ + 1) % historyCount_;
    return live;
}

ZanthoFrameSize CZantho::CurrentFrameSize() const {
    if (held_.data != nullptr) return {held_.width, held_.height};
    if (format_ == InputFormat::kBgr && levels_.neutral && denoise_ == 1 && !lastInput_.empty()) {
        return {lastInputWidth_, lastInputHeight_};
    }
    if (historyCount_ > 0) return {historyWidth_, historyHeight_};
    return {};
}

Result CZantho::GetFrame(std::uint8_t* destination, std::ptrdiff_t pitch, std::size_t capacity,
                         ZanthoFrameSize* written) const {
    const ZanthoFrameSize size = CurrentFrameSize();
    if (written != nullptr) *written = size;
    if (destination == nullptr || size.IsEmpty() || pitch < size.width * 3) return kFail;
    const std::size_t needed =
        static_cast<std::size_t>(pitch) * static_cast<std::size_t>(size.height - 1) +
        static_cast<std::size_t>(size.width) * 3;
    if (capacity < needed) return kFail;

    if (held_.data != nullptr) {
        GetHeldFrame(destination, pitch);
        return kOk;
    }
    const Orientation orientation = CurrentOrientation();
    if (format_ == InputFormat::kBgr && levels_.neutral && denoise_ == 1 && !lastInput_.empty()) {
        CopyBgrOriented(lastInput_.data(), static_cast<std::ptrdiff_t>(size.width) * 3, size.width,
                        size.height, orientation, destination, pitch);
        return kOk;
    }

    // Row by row, so that the mean of the history never needs a whole frame.
    const std::size_t rowBytes = static_cast<std::size_t>(Yuy2RowBytes(size.width));
    std::vector<std::uint8_t> mean(rowBytes);
    const std::uint8_t* rows[kMaxDenoise];
    for (int row = 0; row < size.height; ++row) {
        const int sourceRow = orientation.flip ? size.height - 1 - row : row;
        const std::size_t start = rowBytes * static_cast<std::size_t>(sourceRow);
        for (int slot = 0; slot < historyCount_; ++slot)
            rows[slot] = Slot(slot) + start;
        const std::uint8_t* source = rows[0];
        if (historyCount_ > 1) {
            AverageFrames(rows, historyCount_, rowBytes, mean.data());
            source = mean.data();
        }
        ConvertYuy2ToBgr(source, 0, size.width, 1, Orientation{orientation.mirror, false}, levels_,
                         destination + pitch * row, pitch);
    }
    return kOk;
}

// As GetFrame from a one-slot history, straight from the held frame.
void CZantho::GetHeldFrame(std::uint8_t* destination, std::ptrdiff_t pitch) const {
    const Orientation orientation = CurrentOrientation();
    const int width = held_.width, height = held_.height;
    if (held_.format == InputFormat::kBgr && levels_.neutral && denoise_ == 1) {
        CopyBgrOriented(held_.data, held_.pitch, width, height, orientation, destination, pitch);
        return;
    }
    std::vector<std::uint8_t> converted(
        held_.format == InputFormat::kBgr ? static_cast<std::size_t>(Yuy2RowBytes(width)) : 0);
    for (int row = 0; row < height; ++row) {
        const int sourceRow = orientation.flip ? height - 1 - row : row;
        const std::uint8_t* source = held_.data + held_.pitch * sourceRow;
        if (held_.format == InputFormat::kBgr) {
            ConvertBgrToYuy2(source, 0, width, 1, converted.data(), 0);
            source = converted.data();
        }
        ConvertYuy2ToBgr(source, 0, width, 1, Orientation{orientation.mirror, false}, levels_,
                         destination + pitch * row, pitch);
    }
}

}  // namespace kolvane::zantho
