#pragma once

// A camera body in software, for tests and demonstrations: JPEG live view of
// a moving picture, stills as JPEG (with a raw file beside it for the raw +
// JPEG qualities), settings kept as written, and the faults real bodies
// show: busy answers, an unplug, a download cut off, a slow card.
//
// The body (CSimulatedBody) is the camera on the cable; a backend
// (CSimulatedCamera) is one connection to it, so a test can unplug the body
// under a running connection. `KOLVANE_SIMULATED_CAMERA` configures the
// process's shared body, a comma-separated list such as
// "model=Canon EOS 600D,size=640x424,fps=0,busy=3,unplug-after=10,
// replug-after=2,replug-size=320x240,absent".

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "filters/quorrel/CameraBackend.h"
#include "filters/quorrel/JpegCodec.h"

namespace kolvane::quorrel {

struct CSimulatedCameraConfig {
    bool present = true;
    std::string model = "Canon EOS 550D";
    int width = 1056;  // live view
    int height = 704;
    int stillWidth = 1296;
    int stillHeight = 864;
    int framesPerSecond = 30;  // 0: a frame whenever asked
    int busyPreviews = 0;      // the next previews answer busy
    int busyTriggers = 0;      // the next shots answer busy
    int unplugAfterPreviews = -1;
    int replugAfterOpens = -1;  // failed opens after an unplug; -1: it stays away
    int replugWidth = 0;        // live-view size after the replug (0: unchanged)
    int replugHeight = 0;
    std::int64_t cutDownloadAt = -1;  // a read past this offset pulls the cable
    int cardDelayMs = 0;              // files appear this long after the shot
    std::uint64_t rawBytes = 2'500'000;
    std::set<int> refusedQualities;  // quality codes the body lacks
    bool hasImageQuality = true;     // false: a body without a quality setting
};

// Parses the `KOLVANE_SIMULATED_CAMERA` text; unknown keys are ignored.
CSimulatedCameraConfig SimulatedConfigFromText(std::string_view text);

class CSimulatedBody {
  public:
    explicit CSimulatedBody(CSimulatedCameraConfig config = {});

    // The body the element and the device provider use in this process.
    static std::shared_ptr<CSimulatedBody> Shared();

    void Unplug();
    // Plugs the body back, with another live-view size when given.
    void Plug(int width = 0, int height = 0);
    bool IsPlugged();
    std::string Model();

    int Setting(CameraSetting setting);
    bool HalfPressed();
    int Previews();
    std::size_t FilesOnCard();
    // Called with each read's offset, before the data is copied.
    void SetReadHook(std::function<void(const std::string& name, std::uint64_t offset)> hook);
    void SetBusyPreviews(int count);
    void SetBusyTriggers(int count);

  private:
    friend class CSimulatedCamera;
    struct StoredFile {
        std::vector<std::uint8_t> data;
        std::chrono::steady_clock::time_point readyAt;
    };

    const std::vector<std::uint8_t>& FrameLocked(int index);
    std::vector<std::uint8_t> PictureLocked(int width, int height, int index);

    std::mutex m_lock;
    CSimulatedCameraConfig m_config;
    bool m_plugged;
    int m_failedOpens = 0;
    int m_previews = 0;
    int m_shots = 0;
    bool m_halfPressed = false;
    std::map<CameraSetting, int> m_settings;
    std::map<std::string, StoredFile> m_card;
    std::deque<std::string> m_newFiles;
    std::vector<std::vector<std::uint8_t>> m_frames;  // the loop, encoded on first use
    std::chrono::steady_clock::time_point m_nextFrameAt;
    std::function<void(const std::string&, std::uint64_t)> m_readHook;
    CJpegCodec m_codec;
};

class CSimulatedCamera final : public ICameraBackend {
  public:
    explicit CSimulatedCamera(std::shared_ptr<CSimulatedBody> body);

    CameraStatus Open() override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    std::string ModelName() const override { return m_model; }
    CameraStatus CapturePreview(std::vector<std::uint8_t>* jpeg) override;
    CameraStatus GetSetting(CameraSetting setting, int* code) override;
    CameraStatus SetSetting(CameraSetting setting, int code) override;
    CameraStatus TriggerCapture() override;
    CameraStatus WaitForFile(int timeoutMs, CameraFileRef* file) override;
    CameraStatus ReadFile(const CameraFileRef& file, std::uint64_t offset, std::uint8_t* buffer,
                          std::uint64_t* size) override;
    CameraStatus DeleteFile(const CameraFileRef& file) override;
    CameraStatus HalfPress(bool pressed) override;
    void SetCancelCheck(std::function<bool()> check) override { m_cancel = std::move(check); }

  private:
    // The body is still on the cable (its lock held); closes this
    // connection when not.
    bool ReachableLocked();

    std::shared_ptr<CSimulatedBody> m_body;
    bool m_open = false;
    std::string m_model;
    std::function<bool()> m_cancel;
};

}  // namespace kolvane::quorrel
