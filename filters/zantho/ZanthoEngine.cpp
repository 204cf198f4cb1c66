#include "filters/zantho/ZanthoEngine.h"

#include <algorithm>
#include <cstring>
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
                                  std::uint8_t* out, std::ptrdiff_t outPitch) {
    FrameResult result;
    if (format_ == InputFormat::kNone || width_ <= 0 || height_ <= 0) return result;

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

bool CZantho::UpdateHistory(const std::uint8_t* frame, std::ptrdiff_t pitch, FrameResult* result) {
    const std::ptrdiff_t rowBytes = Yuy2RowBytes(width_);
    const std::size_t length =
        static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height_);
    if (length != frameLength_ || width_ != historyWidth_ || height_ != historyHeight_) {
        RebuildHistory(frame, pitch);
        return live_;
    }

    // Identical frames count only in a row: a camera that repeats every other
    // frame in low light is still a live camera.
    if (SampledLumaEqual(frame, pitch, Slot(0), rowBytes, width_, height_)) {
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
        const std::size_t moved =
            CountMovedSamples(frame, pitch, Slot(historyIndex_), rowBytes, width_, height_);
        const std::size_t samples = length / 4;
        const std::size_t threshold = samples / static_cast<std::size_t>(motionDivisor_);
        if (moved > threshold) {
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

    CopyYuy2(frame, pitch, Slot(historyIndex_), rowBytes, width_, height_);
    historyIndex_ = (historyIndex_ + 1) % historyCount_;
    return live_;
}

ZanthoFrameSize CZantho::CurrentFrameSize() const {
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

}  // namespace kolvane::zantho
