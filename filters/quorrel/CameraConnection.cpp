#include "filters/quorrel/CameraConnection.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <thread>

#include "filters/quorrel/CameraCodes.h"
#include "filters/quorrel/IQuorrel.h"
#include "filters/quorrel/JpegCodec.h"

namespace kolvane::quorrel {
namespace {

using Clock = std::chrono::steady_clock;

// A wait for a file is cut into slices so that a cancel is seen quickly.
constexpr int kWaitSliceMs = 100;
// Enough of a JPEG's head to hold its size behind the EXIF thumbnail.
constexpr std::size_t kStillHeadBytes = 256 * 1024;

constexpr int kSettingIndex(CameraSetting setting) {
    return static_cast<int>(setting);
}

class CFileDescriptor {
  public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now; false when the data could not be written out.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

  private:
    int m_fd;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string LowerExtension(const std::string& cameraName) {
    const std::size_t dot = cameraName.rfind('.');
    std::string extension = dot == std::string::npos ? std::string(".jpg") : cameraName.substr(dot);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::string WithoutEos(std::string name) {
    static const std::string kEos = " EOS";
    for (std::size_t at = name.find(kEos); at != std::string::npos; at = name.find(kEos, at)) {
        name.erase(at, kEos.size());
    }
    return name;
}

}  // namespace

int ShutterForAperture(int apertureCode) {
    switch (apertureCode) {
        case 48:
            return 88;
        case 56:
            return 80;
        case 64:
            return 72;
        case 72:
            return 64;
        case 80:
            return 56;
        default:
            return apertureCode;
    }
}

int QualityForImageSize(int imageSize, bool withRaw, bool fallback) {
    // Rows L, M, S; columns JPEG, raw + JPEG, fallback JPEG, fallback raw.
    static const int kCodes[3][4] = {
        {kQualityLargeFine, kQualityRawLargeFine, 0x00000000, kQualityRawBits},
        {kQualityMiddleFine, kQualityRawMiddleFine, kQualityMiddle1Fine, kQualityRawMiddle1Fine},
        {kQualitySmallFine, kQualityRawSmallFine, kQualitySmall1Fine, kQualityRawSmall1Fine},
    };
    if (imageSize < 0 || imageSize > 2) return 0;
    return kCodes[imageSize][(fallback ? 2 : 0) + (withRaw ? 1 : 0)];
}

CCameraConnection::CCameraConnection(std::unique_ptr<ICameraBackend> backend,
                                     CConnectionLimits limits)
    : m_backend(std::move(backend)), m_limits(limits) {
    m_backend->SetCancelCheck([this] { return Cancelled(); });
    std::lock_guard lock(m_cameraLock);
    OpenLocked();
}

CCameraConnection::~CCameraConnection() {
    AbandonPicture();
    CloseCamera();
}

Result CCameraConnection::OpenCamera() {
    std::lock_guard lock(m_cameraLock);
    if (m_backend->IsOpen()) return kOk;
    return OpenLocked();
}

Result CCameraConnection::OpenLocked() {
    m_lastOpenAttempt = Clock::now();
    m_openAttempted = true;
    if (m_backend->Open() != CameraStatus::kOk) return kFail;
    m_productName = m_backend->ModelName();
    m_halfPressed = false;
    return kOk;
}

Result CCameraConnection::CloseCamera() {
    std::lock_guard lock(m_cameraLock);
    CloseLocked();
    return kOk;
}

void CCameraConnection::CloseLocked() {
    if (!m_backend->IsOpen()) return;
    if (m_halfPressed) m_backend->HalfPress(false);
    m_halfPressed = false;
    m_backend->Close();
}

void CCameraConnection::NoteStatusLocked(CameraStatus status) {
    if (status == CameraStatus::kGone) CloseLocked();
}

bool CCameraConnection::HasCamera() {
    std::lock_guard lock(m_cameraLock);
    return m_backend->IsOpen();
}

std::string CCameraConnection::ProductName() {
    std::lock_guard lock(m_cameraLock);
    return m_backend->IsOpen() ? WithoutEos(m_productName) : std::string();
}

LiveViewStatus CCameraConnection::GetLiveViewFrame(std::vector<std::uint8_t>* jpeg) {
    std::unique_lock lock(m_cameraLock);
    if (!m_backend->IsOpen()) {
        const auto interval = std::chrono::milliseconds(m_limits.reopenIntervalMs);
        if (m_openAttempted && Clock::now() - m_lastOpenAttempt < interval) {
            return LiveViewStatus::kNoCamera;
        }
        if (OpenLocked() != kOk) return LiveViewStatus::kNoCamera;
    }
    for (int attempt = 0; attempt < m_limits.previewAttempts; ++attempt) {
        const CameraStatus status = m_backend->CapturePreview(jpeg);
        switch (status) {
            case CameraStatus::kOk:
                return LiveViewStatus::kFrame;
            case CameraStatus::kBusy:
                // Let the program's calls in while the body is busy.
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(m_limits.previewRetryMs));
                lock.lock();
                if (!m_backend->IsOpen()) return LiveViewStatus::kNoCamera;
                break;
            case CameraStatus::kGone:
                CloseLocked();
                return LiveViewStatus::kNoCamera;
            default:
                return LiveViewStatus::kFailed;
        }
    }
    return LiveViewStatus::kFailed;
}

Result CCameraConnection::QueuePicture(const std::string& basePath, std::atomic<int>* progress) {
    if (basePath.empty() || progress == nullptr) return kFail;
    {
        std::lock_guard pending(m_pendingLock);
        if (!m_pending.basePath.empty()) return 1;
    }
    std::lock_guard lock(m_cameraLock);
    if (!m_backend->IsOpen()) return kFail;
    int quality = 0;
    int files = 1;
    const CameraStatus status = m_backend->GetSetting(CameraSetting::kImageQuality, &quality);
    if (status == CameraStatus::kOk) {
        files = FilesPerShot(quality);
    } else if (status != CameraStatus::kMissing) {
        // Nothing stays queued: the caller learns at once that no picture
        // comes, instead of waiting for one that never will.
        NoteStatusLocked(status);
        return kFail;
    }
    std::lock_guard pending(m_pendingLock);
    if (!m_pending.basePath.empty()) return 1;
    m_pending = {basePath, files, progress, 0};
    return kOk;
}

void CCameraConnection::EndPicture(int progressValue) {
    std::lock_guard pending(m_pendingLock);
    if (m_pending.progress != nullptr) m_pending.progress->store(progressValue);
    m_pending = {};
}

void CCameraConnection::AbandonPicture() {
    EndPicture(kQuorrelProgressEnded);
}

bool CCameraConnection::Cancelled() const {
    const std::atomic<int>* progress = m_shotProgress.load();
    return progress != nullptr &&
           (m_interrupted.load() || progress->load() == kQuorrelProgressCancel);
}

int CCameraConnection::TakeQueuedPicture() {
    PendingPicture picture;
    {
        std::lock_guard pending(m_pendingLock);
        if (m_pending.basePath.empty()) return 1;
        picture = m_pending;
    }
    std::lock_guard lock(m_cameraLock);
    if (picture.progress->load() == kQuorrelProgressCancel) {
        EndPicture(kQuorrelProgressEnded);
        return 0;
    }
    if (!m_backend->IsOpen()) {
        EndPicture(kQuorrelProgressEnded);
        return 0;
    }
    if (m_interrupted.load()) return 1;  // no shot while the element stops
    const CameraStatus trigger = m_backend->TriggerCapture();
    if (trigger != CameraStatus::kOk) {
        NoteStatusLocked(trigger);
        bool giveUp = trigger == CameraStatus::kGone;
        {
            std::lock_guard pending(m_pendingLock);
            giveUp = giveUp || ++m_pending.refusals >= m_limits.triggerAttempts;
        }
        if (giveUp) EndPicture(kQuorrelProgressEnded);
        return 1;
    }

    m_shotProgress.store(picture.progress);
    std::vector<Download> downloads;
    CameraStatus status = ShootLocked(picture, &downloads);
    m_shotProgress.store(nullptr);

    // A picture is whole or not at all: the files replace earlier ones (a
    // regrab) only once every one of them is home.
    if (status == CameraStatus::kOk) {
        for (const Download& download : downloads) {
            if (std::rename(download.partPath.c_str(), download.finalPath.c_str()) != 0) {
                status = CameraStatus::kFailed;
                break;
            }
        }
    }
    for (const Download& download : downloads)
        std::remove(download.partPath.c_str());
    if (status != CameraStatus::kOk) {
        NoteStatusLocked(status);
        EndPicture(kQuorrelProgressEnded);
        return 0;
    }
    for (const Download& download : downloads) {
        if (download.finalPath.size() > 4 &&
            download.finalPath.compare(download.finalPath.size() - 4, 4, ".jpg") == 0) {
            RememberStillSize(download.finalPath);
        }
    }
    EndPicture(kQuorrelProgressDone);
    return 0;
}

CameraStatus CCameraConnection::ShootLocked(const PendingPicture& picture,
                                            std::vector<Download>* downloads) {
    for (int index = 0; index < picture.files; ++index) {
        CameraFileRef file;
        const Clock::time_point deadline =
            Clock::now() + std::chrono::milliseconds(m_limits.fileWaitMs);
        CameraStatus status = CameraStatus::kTimedOut;
        while (status == CameraStatus::kTimedOut) {
            if (Cancelled()) return CameraStatus::kCancelled;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) return CameraStatus::kTimedOut;
            status = m_backend->WaitForFile(
                static_cast<int>(std::min<long long>(left, kWaitSliceMs)), &file);
        }
        if (status != CameraStatus::kOk) return status;

        const std::string finalPath = picture.basePath + LowerExtension(file.name);
        downloads->push_back({finalPath + ".part", finalPath});
        const bool last = index == picture.files - 1;
        status = DownloadLocked(file, downloads->back().partPath, picture, last);
        if (status != CameraStatus::kGone) m_backend->DeleteFile(file);
        if (status != CameraStatus::kOk) return status;
    }
    return CameraStatus::kOk;
}

CameraStatus CCameraConnection::DownloadLocked(const CameraFileRef& file,
                                               const std::string& partPath,
                                               const PendingPicture& picture, bool reportProgress) {
    CFileDescriptor out(::open(partPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.Get() < 0) return CameraStatus::kFailed;
    std::vector<std::uint8_t> part(static_cast<std::size_t>(m_limits.partBytes));
    std::uint64_t offset = 0;
    for (;;) {
        if (Cancelled()) return CameraStatus::kCancelled;
        std::uint64_t want = m_limits.partBytes;
        if (file.size > 0) want = std::min<std::uint64_t>(want, file.size - offset);
        if (want == 0) break;
        std::uint64_t got = want;
        const CameraStatus status = m_backend->ReadFile(file, offset, part.data(), &got);
        if (status != CameraStatus::kOk) return status;
        if (got == 0) {
            // A file of unknown size ends with an empty read; one of known
            // size must not.
            if (file.size > 0) return CameraStatus::kFailed;
            break;
        }
        if (!WriteAll(out.Get(), part.data(), static_cast<std::size_t>(got))) {
            return CameraStatus::kFailed;
        }
        offset += got;
        if (file.size == 0 && got < want) break;
        if (reportProgress && file.size > 0) {
            // 100 is kept for the moment the picture is complete.
            const int percent =
                static_cast<int>(std::min<std::uint64_t>(99, offset * 100 / file.size));
            int current = picture.progress->load();
            while (current != kQuorrelProgressCancel &&
                   !picture.progress->compare_exchange_weak(current, percent)) {
            }
        }
    }
    return out.Close() ? CameraStatus::kOk : CameraStatus::kFailed;
}

void CCameraConnection::RememberStillSize(const std::string& path) {
    CFileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return;
    std::vector<std::uint8_t> head(kStillHeadBytes);
    const ssize_t got = ::read(in.Get(), head.data(), head.size());
    if (got <= 0) return;
    int width = 0;
    int height = 0;
    CJpegCodec codec;
    if (!codec.ReadSize(head.data(), static_cast<std::size_t>(got), &width, &height)) return;
    std::lock_guard lock(m_stillLock);
    m_stillWidth = width;
    m_stillHeight = height;
}

bool CCameraConnection::LastStillSize(int* width, int* height) {
    std::lock_guard lock(m_stillLock);
    if (m_stillWidth <= 0) return false;
    *width = m_stillWidth;
    *height = m_stillHeight;
    return true;
}

Result CCameraConnection::WriteLocked(CameraSetting setting, int code) {
    const CameraStatus status = m_backend->SetSetting(setting, code);
    NoteStatusLocked(status);
    // A setting the body does not have is skipped, not failed.
    return status == CameraStatus::kOk || status == CameraStatus::kMissing ? kOk : kFail;
}

Result CCameraConnection::SetSettings(int whiteBalance, int iso, int aperture, int imageSize) {
    std::lock_guard lock(m_cameraLock);
    if (!m_backend->IsOpen()) return kFail;
    Result result = kOk;
    if (whiteBalance != 0) result = WriteLocked(CameraSetting::kWhiteBalance, whiteBalance);
    if (iso != 0 && m_backend->IsOpen()) result = WriteLocked(CameraSetting::kIso, iso);
    if (aperture != 0 && m_backend->IsOpen()) {
        result = WriteLocked(CameraSetting::kAperture, aperture);
        result = WriteLocked(CameraSetting::kShutterSpeed, ShutterForAperture(aperture));
    }
    if (imageSize >= 254 || !m_backend->IsOpen()) return result;

    int quality = 0;
    CameraStatus status = m_backend->GetSetting(CameraSetting::kImageQuality, &quality);
    if (status == CameraStatus::kMissing) return result;
    if (status != CameraStatus::kOk) {
        NoteStatusLocked(status);
        return kFail;
    }
    const bool withRaw = QualityHasRaw(quality);
    if (imageSize > 2) return WriteLocked(CameraSetting::kImageQuality, quality & kQualityRawBits);
    result =
        WriteLocked(CameraSetting::kImageQuality, QualityForImageSize(imageSize, withRaw, false));
    if (result == kOk || !m_backend->IsOpen()) return result;
    status = m_backend->GetSetting(CameraSetting::kImageQuality, &quality);
    if (status != CameraStatus::kOk) {
        NoteStatusLocked(status);
        return kFail;
    }
    return WriteLocked(CameraSetting::kImageQuality,
                       QualityForImageSize(imageSize, QualityHasRaw(quality), true));
}

Result CCameraConnection::GetSettings(int* whiteBalance, int* iso, int* aperture,
                                      int* imageQuality) {
    if (whiteBalance == nullptr || iso == nullptr || aperture == nullptr ||
        imageQuality == nullptr) {
        return kFail;
    }
    std::lock_guard lock(m_cameraLock);
    if (!m_backend->IsOpen()) return kFail;
    Result result = kOk;
    const std::pair<CameraSetting, int*> reads[] = {
        {CameraSetting::kWhiteBalance, whiteBalance},
        {CameraSetting::kIso, iso},
        {CameraSetting::kAperture, aperture},
        {CameraSetting::kImageQuality, imageQuality},
    };
    for (const auto& [setting, out] : reads) {
        *out = 0;
        if (!m_backend->IsOpen()) return kFail;
        const CameraStatus status = m_backend->GetSetting(setting, out);
        NoteStatusLocked(status);
        result = status == CameraStatus::kOk || status == CameraStatus::kMissing ? kOk : kFail;
    }
    return result;
}

Result CCameraConnection::SaveSettings() {
    std::lock_guard lock(m_cameraLock);
    if (!m_backend->IsOpen()) return kFail;
    Result result = kOk;
    for (const CameraSetting setting :
         {CameraSetting::kWhiteBalance, CameraSetting::kIso, CameraSetting::kAperture,
          CameraSetting::kShutterSpeed, CameraSetting::kImageQuality}) {
        SavedSetting& saved = m_saved[kSettingIndex(setting)];
        saved = {};
        if (!m_backend->IsOpen()) return kFail;
        const CameraStatus status = m_backend->GetSetting(setting, &saved.code);
        NoteStatusLocked(status);
        saved.valid = status == CameraStatus::kOk;
        result = status == CameraStatus::kOk || status == CameraStatus::kMissing ? kOk : kFail;
    }
    return result;
}

Result CCameraConnection::RestoreSettings() {
    std::lock_guard lock(m_cameraLock);
    if (!m_backend->IsOpen()) return kFail;
    Result result = kOk;
    for (const CameraSetting setting :
         {CameraSetting::kWhiteBalance, CameraSetting::kIso, CameraSetting::kAperture,
          CameraSetting::kShutterSpeed, CameraSetting::kImageQuality}) {
        const SavedSetting& saved = m_saved[kSettingIndex(setting)];
        if (!saved.valid) continue;
        if (!m_backend->IsOpen()) return kFail;
        result = WriteLocked(setting, saved.code);
    }
    return result;
}

Result CCameraConnection::HalfPress(bool pressed) {
    std::lock_guard lock(m_cameraLock);
    if (!m_backend->IsOpen()) return kFail;
    if (pressed == m_halfPressed) return kOk;
    const CameraStatus status = m_backend->HalfPress(pressed);
    NoteStatusLocked(status);
    if (status != CameraStatus::kOk) return kFail;
    m_halfPressed = pressed;
    return kOk;
}

}  // namespace kolvane::quorrel
