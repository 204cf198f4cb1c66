#include "filters/quorrel/SimulatedCamera.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "filters/quorrel/CameraCodes.h"

namespace kolvane::quorrel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFramesInLoop = 24;
constexpr int kJpegQuality = 85;

bool ParseSize(std::string_view text, int* width, int* height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    const int w = std::atoi(std::string(text.substr(0, x)).c_str());
    const int h = std::atoi(std::string(text.substr(x + 1)).c_str());
    if (w <= 0 || h <= 0 || w > kMaxJpegSide || h > kMaxJpegSide) return false;
    *width = w;
    *height = h;
    return true;
}

}  // namespace

CSimulatedCameraConfig SimulatedConfigFromText(std::string_view text) {
    CSimulatedCameraConfig config;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const std::string value =
            equals == std::string_view::npos ? std::string() : std::string(item.substr(equals + 1));
        const int number = std::atoi(value.c_str());
        if (key == "absent") {
            config.present = false;
        } else if (key == "model") {
            config.model = value;
        } else if (key == "size") {
            ParseSize(value, &config.width, &config.height);
        } else if (key == "still-size") {
            ParseSize(value, &config.stillWidth, &config.stillHeight);
        } else if (key == "fps") {
            config.framesPerSecond = std::max(0, number);
        } else if (key == "busy") {
            config.busyPreviews = number;
        } else if (key == "busy-shots") {
            config.busyTriggers = number;
        } else if (key == "unplug-after") {
            config.unplugAfterPreviews = number;
        } else if (key == "replug-after") {
            config.replugAfterOpens = number;
        } else if (key == "replug-size") {
            ParseSize(value, &config.replugWidth, &config.replugHeight);
        } else if (key == "card-delay") {
            config.cardDelayMs = std::max(0, number);
        }
    }
    return config;
}

CSimulatedBody::CSimulatedBody(CSimulatedCameraConfig config)
    : m_config(std::move(config)), m_plugged(m_config.present) {
    m_settings[CameraSetting::kWhiteBalance] = 0;
    m_settings[CameraSetting::kIso] = 0x48;
    m_settings[CameraSetting::kAperture] = 0x30;
    m_settings[CameraSetting::kShutterSpeed] = 0x58;
    m_settings[CameraSetting::kImageQuality] = kQualityLargeFine;
}

std::shared_ptr<CSimulatedBody> CSimulatedBody::Shared() {
    static const std::shared_ptr<CSimulatedBody> body = [] {
        const char* text = std::getenv("KOLVANE_SIMULATED_CAMERA");
        return std::make_shared<CSimulatedBody>(
            SimulatedConfigFromText(text != nullptr ? text : ""));
    }();
    return body;
}

void CSimulatedBody::Unplug() {
    std::lock_guard lock(m_lock);
    m_plugged = false;
    m_failedOpens = 0;
}

void CSimulatedBody::Plug(int width, int height) {
    std::lock_guard lock(m_lock);
    m_plugged = true;
    if (width > 0 && height > 0 && (width != m_config.width || height != m_config.height)) {
        m_config.width = width;
        m_config.height = height;
        m_frames.clear();
    }
}

bool CSimulatedBody::IsPlugged() {
    std::lock_guard lock(m_lock);
    return m_plugged;
}

std::string CSimulatedBody::Model() {
    std::lock_guard lock(m_lock);
    return m_config.model;
}

int CSimulatedBody::Setting(CameraSetting setting) {
    std::lock_guard lock(m_lock);
    return m_settings[setting];
}

bool CSimulatedBody::HalfPressed() {
    std::lock_guard lock(m_lock);
    return m_halfPressed;
}

int CSimulatedBody::Previews() {
    std::lock_guard lock(m_lock);
    return m_previews;
}

std::size_t CSimulatedBody::FilesOnCard() {
    std::lock_guard lock(m_lock);
    return m_card.size();
}

void CSimulatedBody::SetReadHook(
    std::function<void(const std::string& name, std::uint64_t offset)> hook) {
    std::lock_guard lock(m_lock);
    m_readHook = std::move(hook);
}

void CSimulatedBody::SetBusyPreviews(int count) {
    std::lock_guard lock(m_lock);
    m_config.busyPreviews = count;
}

void CSimulatedBody::SetBusyTriggers(int count) {
    std::lock_guard lock(m_lock);
    m_config.busyTriggers = count;
}

// A gradient with a bright square crossing it: every frame of the loop
// differs from the one before, as a live picture does.
std::vector<std::uint8_t> CSimulatedBody::PictureLocked(int width, int height, int index) {
    const int stride = width * 3;
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(stride) * height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bgr.data() + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            row[x * 3 + 1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            row[x * 3 + 2] = 96;
        }
    }
    const int side = std::max(1, height / 4);
    const int left = index * std::max(0, width - side) / (kFramesInLoop - 1);
    const int top = (height - side) / 2;
    for (int y = top; y < std::min(height, top + side); ++y) {
        std::uint8_t* row = bgr.data() + static_cast<std::size_t>(y) * stride;
        std::memset(row + left * 3, 240,
                    static_cast<std::size_t>(std::min(side, width - left)) * 3);
    }
    return m_codec.EncodeBgr(bgr.data(), width, height, stride, kJpegQuality);
}

const std::vector<std::uint8_t>& CSimulatedBody::FrameLocked(int index) {
    if (m_frames.empty()) m_frames.resize(kFramesInLoop);
    std::vector<std::uint8_t>& frame = m_frames[static_cast<std::size_t>(index)];
    if (frame.empty()) frame = PictureLocked(m_config.width, m_config.height, index);
    return frame;
}

CSimulatedCamera::CSimulatedCamera(std::shared_ptr<CSimulatedBody> body)
    : m_body(std::move(body)) {}

bool CSimulatedCamera::ReachableLocked() {
    if (m_body->m_plugged) return true;
    m_open = false;
    return false;
}

CameraStatus CSimulatedCamera::Open() {
    std::lock_guard lock(m_body->m_lock);
    if (!m_body->m_plugged) {
        CSimulatedCameraConfig& config = m_body->m_config;
        if (config.replugAfterOpens >= 0 && ++m_body->m_failedOpens > config.replugAfterOpens) {
            m_body->m_plugged = true;
            config.replugAfterOpens = -1;
            if (config.replugWidth > 0) {
                config.width = config.replugWidth;
                config.height = config.replugHeight;
                m_body->m_frames.clear();
            }
        }
        if (!m_body->m_plugged) return CameraStatus::kGone;
    }
    m_open = true;
    m_model = m_body->m_config.model;
    m_body->m_nextFrameAt = Clock::now();
    return CameraStatus::kOk;
}

void CSimulatedCamera::Close() {
    std::lock_guard lock(m_body->m_lock);
    m_open = false;
    m_body->m_halfPressed = false;
}

CameraStatus CSimulatedCamera::CapturePreview(std::vector<std::uint8_t>* jpeg) {
    std::unique_lock lock(m_body->m_lock);
    if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
    CSimulatedCameraConfig& config = m_body->m_config;
    if (config.busyPreviews > 0) {
        --config.busyPreviews;
        return CameraStatus::kBusy;
    }
    if (config.unplugAfterPreviews == 0) {
        config.unplugAfterPreviews = -1;
        m_body->m_plugged = false;
        m_body->m_failedOpens = 0;
        m_open = false;
        return CameraStatus::kGone;
    }
    if (config.unplugAfterPreviews > 0) --config.unplugAfterPreviews;
    if (config.framesPerSecond > 0) {
        // A body delivers at its own pace; waiting for it does not hold
        // the body against the test's hands.
        const auto period = std::chrono::microseconds(1'000'000 / config.framesPerSecond);
        const Clock::time_point due = m_body->m_nextFrameAt;
        const Clock::time_point now = Clock::now();
        m_body->m_nextFrameAt = (due < now - period ? now : due) + period;
        lock.unlock();
        std::this_thread::sleep_until(due);
        lock.lock();
        if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
    }
    const int index = m_body->m_previews++ % kFramesInLoop;
    *jpeg = m_body->FrameLocked(index);
    return jpeg->empty() ? CameraStatus::kFailed : CameraStatus::kOk;
}

CameraStatus CSimulatedCamera::GetSetting(CameraSetting setting, int* code) {
    std::lock_guard lock(m_body->m_lock);
    if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
    if (setting == CameraSetting::kImageQuality && !m_body->m_config.hasImageQuality) {
        return CameraStatus::kMissing;
    }
    *code = m_body->m_settings[setting];
    return CameraStatus::kOk;
}

CameraStatus CSimulatedCamera::SetSetting(CameraSetting setting, int code) {
    std::lock_guard lock(m_body->m_lock);
    if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
    if (setting == CameraSetting::kImageQuality) {
        if (!m_body->m_config.hasImageQuality) return CameraStatus::kMissing;
        // The body keeps only qualities a shot can be made of.
        const int secondary = code & 0xFF;
        if (m_body->m_config.refusedQualities.count(code) != 0 ||
            (secondary != 0x0F && secondary != 0x12 && secondary != 0x13)) {
            return CameraStatus::kFailed;
        }
    }
    m_body->m_settings[setting] = code;
    return CameraStatus::kOk;
}

CameraStatus CSimulatedCamera::TriggerCapture() {
    std::lock_guard lock(m_body->m_lock);
    if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
    CSimulatedCameraConfig& config = m_body->m_config;
    if (config.busyTriggers > 0) {
        --config.busyTriggers;
        return CameraStatus::kBusy;
    }
    const int number = ++m_body->m_shots;
    char stem[32];
    std::snprintf(stem, sizeof stem, "IMG_%04d", number);
    const int quality = config.hasImageQuality ? m_body->m_settings[CameraSetting::kImageQuality]
                                               : kQualityLargeFine;
    const Clock::time_point readyAt = Clock::now() + std::chrono::milliseconds(config.cardDelayMs);
    if (QualityHasRaw(quality)) {
        std::vector<std::uint8_t> raw(config.rawBytes);
        std::uint32_t state = 0x9E3779B9u ^ static_cast<std::uint32_t>(number);
        for (std::uint8_t& byte : raw) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
        const std::string name = std::string(stem) + ".CR2";
        m_body->m_card[name] = {std::move(raw), readyAt};
        m_body->m_newFiles.push_back(name);
    }
    if (FilesPerShot(quality) == 2 || !QualityHasRaw(quality)) {
        const std::string name = std::string(stem) + ".JPG";
        m_body->m_card[name] = {
            m_body->PictureLocked(config.stillWidth, config.stillHeight, number % kFramesInLoop),
            readyAt};
        m_body->m_newFiles.push_back(name);
    }
    return CameraStatus::kOk;
}

CameraStatus CSimulatedCamera::WaitForFile(int timeoutMs, CameraFileRef* file) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(m_body->m_lock);
    for (;;) {
        if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
        Clock::time_point wakeAt = deadline;
        if (!m_body->m_newFiles.empty()) {
            const std::string name = m_body->m_newFiles.front();
            const auto it = m_body->m_card.find(name);
            if (it == m_body->m_card.end()) {
                m_body->m_newFiles.pop_front();
                continue;
            }
            if (it->second.readyAt <= Clock::now()) {
                m_body->m_newFiles.pop_front();
                *file = {"/", name, it->second.data.size()};
                return CameraStatus::kOk;
            }
            wakeAt = std::min(deadline, it->second.readyAt);
        }
        if (Clock::now() >= deadline) return CameraStatus::kTimedOut;
        lock.unlock();
        std::this_thread::sleep_until(
            std::min(wakeAt, Clock::now() + std::chrono::milliseconds(20)));
        lock.lock();
    }
}

CameraStatus CSimulatedCamera::ReadFile(const CameraFileRef& file, std::uint64_t offset,
                                        std::uint8_t* buffer, std::uint64_t* size) {
    std::function<void(const std::string&, std::uint64_t)> hook;
    {
        std::lock_guard lock(m_body->m_lock);
        hook = m_body->m_readHook;
    }
    if (hook) hook(file.name, offset);
    if (m_cancel && m_cancel()) return CameraStatus::kCancelled;
    std::lock_guard lock(m_body->m_lock);
    if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
    const auto it = m_body->m_card.find(file.name);
    if (it == m_body->m_card.end()) return CameraStatus::kFailed;
    const std::vector<std::uint8_t>& data = it->second.data;
    const std::uint64_t available = offset < data.size() ? data.size() - offset : 0;
    const std::uint64_t count = std::min(*size, available);
    const std::int64_t cut = m_body->m_config.cutDownloadAt;
    if (cut >= 0 && offset + count > static_cast<std::uint64_t>(cut)) {
        m_body->m_config.cutDownloadAt = -1;
        m_body->m_plugged = false;
        m_body->m_failedOpens = 0;
        m_open = false;
        return CameraStatus::kGone;
    }
    std::memcpy(buffer, data.data() + offset, count);
    *size = count;
    return CameraStatus::kOk;
}

CameraStatus CSimulatedCamera::DeleteFile(const CameraFileRef& file) {
    std::lock_guard lock(m_body->m_lock);
    if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
    return m_body->m_card.erase(file.name) != 0 ? CameraStatus::kOk : CameraStatus::kFailed;
}

CameraStatus CSimulatedCamera::HalfPress(bool pressed) {
    std::lock_guard lock(m_body->m_lock);
    if (!m_open || !ReachableLocked()) return CameraStatus::kGone;
    m_body->m_halfPressed = pressed;
    return CameraStatus::kOk;
}

}  // namespace kolvane::quorrel
