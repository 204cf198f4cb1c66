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
    m_whiteness = whiteness > 0.0f ? std::min(whiteness, 127.0f) : 0.0f;
    UpdateLevels();
}

void CZantho::SetBrightness(float brightness) {
    m_brightness = brightness;
    UpdateLevels();
}

void CZantho::SetContrast(float contrast) {
    m_contrast = contrast;
    UpdateLevels();
}

void CZantho::SetColor(float color) {
    m_color = color;
    UpdateLevels();
}

bool CZantho::SetDenoise(int frames) {
    if (frames < 1 || frames > kMaxDenoise) return false;
    m_denoise = frames;
    m_historyIndex = 0;
    m_frameLength = 0;
    return true;
}

void CZantho::UpdateLevels() {
    m_levels = MakeLevelTables(m_whiteness, m_brightness, m_contrast, m_color);
}

Orientation CZantho::CurrentOrientation() const {
    return Orientation{m_horizontal != 1.0f, m_vertical == -1.0f};
}

void CZantho::SetInputFormat(InputFormat format, int width, int height) {
    if (format == m_format && width == m_width && height == m_height) return;
    // Allocate first: a failure leaves the previous format whole.
    std::vector<std::uint8_t> converted;
    if (format == InputFormat::kBgr) {
        converted.resize(static_cast<std::size_t>(Yuy2RowBytes(width)) *
                         static_cast<std::size_t>(height));
    }
    m_converted = std::move(converted);
    m_format = format;
    m_width = width;
    m_height = height;
    m_live = false;
    m_still = false;
}

bool CZantho::WantsPassthrough() const {
    const Orientation orientation = CurrentOrientation();
    return m_format == InputFormat::kYuy2 && m_levels.neutral && !orientation.mirror &&
           !orientation.flip;
}

FrameResult CZantho::ProcessFrame(const std::uint8_t* frame, std::ptrdiff_t pitch,
                                  std::uint8_t* out, std::ptrdiff_t outPitch) {
    FrameResult result;
    if (m_format == InputFormat::kNone || m_width <= 0 || m_height <= 0) return result;

    const std::uint8_t* yuy2 = frame;
    std::ptrdiff_t yuy2Pitch = pitch;
    if (m_format == InputFormat::kBgr) {
        const std::ptrdiff_t convertedPitch = Yuy2RowBytes(m_width);
        ConvertBgrToYuy2(frame, pitch, m_width, m_height, m_converted.data(), convertedPitch);
        const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 3;
        m_lastInput.resize(rowBytes * static_cast<std::size_t>(m_height));
        for (int row = 0; row < m_height; ++row) {
            std::memcpy(m_lastInput.data() + rowBytes * static_cast<std::size_t>(row),
                        frame + pitch * row, rowBytes);
        }
        m_lastInputWidth = m_width;
        m_lastInputHeight = m_height;
        yuy2 = m_converted.data();
        yuy2Pitch = convertedPitch;
    }

    result.live = UpdateHistory(yuy2, yuy2Pitch, &result);
    if (result.live && out != nullptr) {
        AdjustAndOrient(yuy2, yuy2Pitch, out, outPitch, m_width, m_height, CurrentOrientation(),
                        m_levels);
    }
    return result;
}

void CZantho::RebuildHistory(const std::uint8_t* frame, std::ptrdiff_t pitch) {
    const std::ptrdiff_t rowBytes = Yuy2RowBytes(m_width);
    const std::size_t bytes =
        static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(m_height);
    // Allocate first: a failure leaves the held frames whole.
    m_history.resize(bytes * static_cast<std::size_t>(m_denoise));
    m_historyBytes = bytes;
    m_frameLength = bytes;
    m_historyWidth = m_width;
    m_historyHeight = m_height;
    m_historyCount = m_denoise;
    for (int slot = 0; slot < m_historyCount; ++slot) {
        CopyYuy2(frame, pitch, Slot(slot), rowBytes, m_width, m_height);
    }
    // The frame just taken counts as written into slot 0.
    m_historyIndex = 1 % m_historyCount;
}

bool CZantho::UpdateHistory(const std::uint8_t* frame, std::ptrdiff_t pitch, FrameResult* result) {
    const std::ptrdiff_t rowBytes = Yuy2RowBytes(m_width);
    const std::size_t length =
        static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(m_height);
    if (length != m_frameLength || m_width != m_historyWidth || m_height != m_historyHeight) {
        RebuildHistory(frame, pitch);
        return m_live;
    }

    // Identical frames count only in a row: a camera that repeats every other
    // frame in low light is still a live camera.
    if (SampledLumaEqual(frame, pitch, Slot(0), rowBytes, m_width, m_height)) {
        if (++m_sameCount >= kFreezeFrames) {
            m_sameCount = 0;
            m_live = false;
            AddEvent(result, kZanthoPictureFroze);
        }
    } else {
        m_sameCount = 0;
        if (!m_live) {
            m_live = true;
            AddEvent(result, kZanthoPictureLive);
        }
    }

    if (m_motionDetect) {
        const std::size_t moved =
            CountMovedSamples(frame, pitch, Slot(m_historyIndex), rowBytes, m_width, m_height);
        const std::size_t samples = length / 4;
        const std::size_t threshold = samples / static_cast<std::size_t>(m_motionDivisor);
        if (moved > threshold) {
            if (m_still) {
                m_still = false;
                m_motionDivisor = kMotionDivisorMoving;
                AddEvent(result, kZanthoMotionStarted);
            }
        } else if (!m_still) {
            m_still = true;
            m_motionDivisor = kMotionDivisorStill;
            AddEvent(result, kZanthoSceneStill);
        }
    }

    CopyYuy2(frame, pitch, Slot(m_historyIndex), rowBytes, m_width, m_height);
    m_historyIndex = (m_historyIndex + 1) % m_historyCount;
    return m_live;
}

ZanthoFrameSize CZantho::CurrentFrameSize() const {
    if (m_format == InputFormat::kBgr && m_levels.neutral && m_denoise == 1 &&
        !m_lastInput.empty()) {
        return {m_lastInputWidth, m_lastInputHeight};
    }
    if (m_historyCount > 0) return {m_historyWidth, m_historyHeight};
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
    if (m_format == InputFormat::kBgr && m_levels.neutral && m_denoise == 1 &&
        !m_lastInput.empty()) {
        CopyBgrOriented(m_lastInput.data(), static_cast<std::ptrdiff_t>(size.width) * 3, size.width,
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
        for (int slot = 0; slot < m_historyCount; ++slot)
            rows[slot] = Slot(slot) + start;
        const std::uint8_t* source = rows[0];
        if (m_historyCount > 1) {
            AverageFrames(rows, m_historyCount, rowBytes, mean.data());
            source = mean.data();
        }
        ConvertYuy2ToBgr(source, 0, size.width, 1, Orientation{orientation.mirror, false}, m_levels,
                         destination + pitch * row, pitch);
    }
    return kOk;
}

}  // namespace kolvane::zantho
