#pragma once

// The connection to one camera body: opens it (and opens it again after an
// unplug), hands out live-view pictures, writes and reads the stored
// setting codes, takes a queued still and downloads its files in parts with
// progress and cancel, and holds the shutter half-way. Every call into the
// body is made under one lock, so the streaming thread and the program's
// threads never enter it at the same time. See README.md for the picture
// handshake.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "filters/quorrel/CameraBackend.h"
#include "platform/ResultCodes.h"

namespace kolvane::quorrel {

enum class LiveViewStatus {
    kFrame,     // a JPEG picture
    kNoCamera,  // none open; the caller shows black at its own pace
    kFailed,    // the body did not deliver this time
};

// Limits of the connection; tests shorten them.
struct CConnectionLimits {
    int previewAttempts = 50;  // a busy live view is asked again this often...
    int previewRetryMs = 25;   // ...this far apart
    int fileWaitMs = 30000;    // for each file of a shot
    int reopenIntervalMs = 1000;
    int triggerAttempts = 20;  // shots refused before the request ends
    std::uint64_t partBytes = 1 << 20;
};

class CCameraConnection {
  public:
    explicit CCameraConnection(std::unique_ptr<ICameraBackend> backend,
                               CConnectionLimits limits = {});
    ~CCameraConnection();
    CCameraConnection(const CCameraConnection&) = delete;
    CCameraConnection& operator=(const CCameraConnection&) = delete;

    // kOk, or kFail when no camera answers.
    Result OpenCamera();
    Result CloseCamera();
    bool HasCamera();
    // The model with every " EOS" removed ("Canon 550D"); empty without a
    // camera.
    std::string ProductName();

    // The next live-view picture. Without a camera the connection tries to
    // open one at most once a reopen interval.
    LiveViewStatus GetLiveViewFrame(std::vector<std::uint8_t>* jpeg);

    // 0 queued, 1 a picture is already queued, kFail without a camera or
    // when the quality cannot be read.
    Result QueuePicture(const std::string& basePath, std::atomic<int>* progress);
    // On the streaming thread before each frame: 0 when a queued picture was
    // taken (or ended), 1 when none was queued or the camera refused the
    // shot this time.
    int TakeQueuedPicture();
    // Ends a queued picture that will not be taken (the element stops).
    void AbandonPicture();
    // While interrupted (the element is stopping or flushing), a shot in
    // progress gives up at its next check, as if cancelled.
    void SetInterrupted(bool interrupted) { m_interrupted.store(interrupted); }

    Result SetSettings(int whiteBalance, int iso, int aperture, int imageSize);
    Result GetSettings(int* whiteBalance, int* iso, int* aperture, int* imageQuality);
    Result SaveSettings();
    Result RestoreSettings();
    Result HalfPress(bool pressed);
    // The pixel size of the last still downloaded; false before the first.
    bool LastStillSize(int* width, int* height);

  private:
    struct PendingPicture {
        std::string basePath;
        int files = 0;
        std::atomic<int>* progress = nullptr;
        int refusals = 0;
    };
    struct Download {
        std::string partPath;
        std::string finalPath;
    };

    Result OpenLocked();
    void CloseLocked();
    // Closes the camera when the body reports it gone.
    void NoteStatusLocked(CameraStatus status);
    Result WriteLocked(CameraSetting setting, int code);
    CameraStatus ShootLocked(const PendingPicture& picture, std::vector<Download>* downloads);
    CameraStatus DownloadLocked(const CameraFileRef& file, const std::string& partPath,
                                const PendingPicture& picture, bool reportProgress);
    void EndPicture(int progressValue);
    bool Cancelled() const;
    void RememberStillSize(const std::string& path);

    std::mutex m_cameraLock;  // every call into m_backend
    std::unique_ptr<ICameraBackend> m_backend;
    const CConnectionLimits m_limits;
    std::string m_productName;
    bool m_halfPressed = false;
    std::chrono::steady_clock::time_point m_lastOpenAttempt;
    bool m_openAttempted = false;

    struct SavedSetting {
        bool valid = false;
        int code = 0;
    };
    SavedSetting m_saved[5];

    std::mutex m_pendingLock;  // m_pending; taken after m_cameraLock, never before
    PendingPicture m_pending;
    std::atomic<std::atomic<int>*> m_shotProgress{nullptr};  // the picture being shot
    std::atomic<bool> m_interrupted{false};

    std::mutex m_stillLock;
    int m_stillWidth = 0;
    int m_stillHeight = 0;
};

// The shutter speed written with an aperture code (a fixed exposure pairing:
// f/5.6 with 1/15 s up to f/22 with 1 s); other codes give themselves.
int ShutterForAperture(int apertureCode);

// The quality code the connection writes for image size 0 (L), 1 (M) or 2
// (S), with or without the raw file, first try or fallback.
int QualityForImageSize(int imageSize, bool withRaw, bool fallback);

}  // namespace kolvane::quorrel
