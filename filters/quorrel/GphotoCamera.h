#pragma once

// A camera body through libgphoto2: any camera it can preview and capture
// with (Canon EOS, Nikon, Sony, Fujifilm, ...). Settings go through the
// config widgets by name, the stored codes matched against each widget's
// own choices (CameraCodes.h); a body that lacks a widget skips that
// setting. Every gphoto2 handle lives in an owning type below.

#include <gphoto2/gphoto2.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "filters/quorrel/CameraBackend.h"

namespace kolvane::quorrel {

struct GphotoContextUnref {
    void operator()(GPContext* context) const { gp_context_unref(context); }
};
struct GphotoCameraUnref {
    void operator()(Camera* camera) const { gp_camera_unref(camera); }
};
struct GphotoListFree {
    void operator()(CameraList* list) const { gp_list_free(list); }
};
struct GphotoFileUnref {
    void operator()(CameraFile* file) const { gp_file_unref(file); }
};
struct GphotoWidgetFree {
    void operator()(CameraWidget* widget) const { gp_widget_free(widget); }
};
struct GphotoAbilitiesFree {
    void operator()(CameraAbilitiesList* list) const { gp_abilities_list_free(list); }
};
struct GphotoPortInfoFree {
    void operator()(GPPortInfoList* list) const { gp_port_info_list_free(list); }
};
using GphotoContextPtr = std::unique_ptr<GPContext, GphotoContextUnref>;
using GphotoCameraPtr = std::unique_ptr<Camera, GphotoCameraUnref>;
using GphotoListPtr = std::unique_ptr<CameraList, GphotoListFree>;
using GphotoFilePtr = std::unique_ptr<CameraFile, GphotoFileUnref>;
using GphotoWidgetPtr = std::unique_ptr<CameraWidget, GphotoWidgetFree>;
using GphotoAbilitiesPtr = std::unique_ptr<CameraAbilitiesList, GphotoAbilitiesFree>;
using GphotoPortInfoPtr = std::unique_ptr<GPPortInfoList, GphotoPortInfoFree>;

// What a gphoto2 result means to the connection; "PTP Device Busy" is
// kBusy, a vanished USB device kGone.
CameraStatus StatusOfGphotoResult(int result);

// The config widget names a setting may have, in order of preference.
std::vector<std::string> WidgetNamesOf(CameraSetting setting);
std::vector<std::string> WidgetChoices(CameraWidget* widget);
// The stored code of the widget's current value; kFailed for a value
// outside the table.
CameraStatus ReadWidgetCode(CameraWidget* widget, CameraSetting setting, int* code);
// Sets the widget's value to the choice meaning `code`; kFailed when the
// body offers none.
CameraStatus WriteWidgetCode(CameraWidget* widget, CameraSetting setting, int code);

// The cameras libgphoto2 detects: model names and ports, in its order.
struct DetectedCamera {
    std::string model;
    std::string port;
};
std::vector<DetectedCamera> DetectGphotoCameras();

class CGphotoCamera final : public ICameraBackend {
  public:
    CGphotoCamera();
    ~CGphotoCamera() override;

    CameraStatus Open() override;
    void Close() override;
    bool IsOpen() const override { return m_camera != nullptr; }
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
    // The first of `names` the body has, or null.
    GphotoWidgetPtr FindWidget(const std::vector<std::string>& names, std::string* found);
    CameraStatus SetTextWidget(const char* name, const char* value);
    CameraStatus SetToggleWidget(const char* name, int value);
    CameraStatus SetImageQuality(int code);
    void DrainEvents();
    static GPContextFeedback CancelFunc(GPContext* context, void* data);

    GphotoContextPtr m_context;
    GphotoCameraPtr m_camera;
    std::string m_model;
    std::function<bool()> m_cancel;
    std::deque<CameraFileRef> m_capturedFiles;  // from a body without trigger capture
};

}  // namespace kolvane::quorrel
