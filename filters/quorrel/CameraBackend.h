#pragma once

// The calls a camera body answers, shaped after what the connection needs:
// open the last camera found, live-view pictures, settings in the stored
// codes, a shot whose files arrive one by one and are read in parts, the
// half-pressed shutter. Two bodies implement it: libgphoto2 and the
// simulated camera. A backend is not thread-safe; the connection calls it
// under its one lock.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kolvane::quorrel {

enum class CameraStatus {
    kOk,
    kBusy,       // the camera answered "busy"; the same call may succeed later
    kGone,       // no camera, or it was unplugged or switched off
    kMissing,    // the body lacks the setting or the command
    kCancelled,  // the cancel check asked to stop
    kTimedOut,   // nothing arrived in time
    kFailed,
};

// Settings in the stored codes: white balance 0 auto, 1 daylight, 2 cloudy,
// 3 tungsten, 4 fluorescent, 5 flash, 6 manual, 8 shade, 9 colour
// temperature; ISO, aperture and shutter speed in the maker's third-stop
// codes (0x48 ISO 100, 0x30 f/5.6, 0x58 1/15 s); image quality as the
// maker's 32-bit code (0x0013FF0F large fine JPEG, 0x00640013 raw + large
// fine JPEG).
enum class CameraSetting { kWhiteBalance, kIso, kAperture, kShutterSpeed, kImageQuality };

// A file the camera made for a shot.
struct CameraFileRef {
    std::string folder;
    std::string name;
    std::uint64_t size = 0;
};

class ICameraBackend {
  public:
    virtual ~ICameraBackend() = default;

    // Opens the camera listed last; kGone when none is connected.
    virtual CameraStatus Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The model as the camera reports it ("Canon EOS 550D").
    virtual std::string ModelName() const = 0;

    // One live-view picture, a JPEG.
    virtual CameraStatus CapturePreview(std::vector<std::uint8_t>* jpeg) = 0;

    virtual CameraStatus GetSetting(CameraSetting setting, int* code) = 0;
    virtual CameraStatus SetSetting(CameraSetting setting, int code) = 0;

    // Releases the shutter; the shot's files come from WaitForFile.
    virtual CameraStatus TriggerCapture() = 0;
    // The next file of the shot, or kTimedOut after `timeoutMs`.
    virtual CameraStatus WaitForFile(int timeoutMs, CameraFileRef* file) = 0;
    // Reads up to `*size` bytes at `offset`; `*size` gets the bytes read.
    virtual CameraStatus ReadFile(const CameraFileRef& file, std::uint64_t offset,
                                  std::uint8_t* buffer, std::uint64_t* size) = 0;
    // Frees the camera's memory once a file is home (or abandoned).
    virtual CameraStatus DeleteFile(const CameraFileRef& file) = 0;

    // Half-way, without autofocus; false releases.
    virtual CameraStatus HalfPress(bool pressed) = 0;

    // Asked during long reads; true stops them with kCancelled.
    virtual void SetCancelCheck(std::function<bool()> check) = 0;
};

// The backend `KOLVANE_CAMERA` names: "simulated" gives the simulated
// camera, "none" a body that never finds a camera, anything else libgphoto2.
std::unique_ptr<ICameraBackend> MakeCameraBackend();

}  // namespace kolvane::quorrel
