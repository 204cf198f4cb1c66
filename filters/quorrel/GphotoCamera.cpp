#include "filters/quorrel/GphotoCamera.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "filters/quorrel/CameraCodes.h"

namespace kolvane::quorrel {
namespace {

using Clock = std::chrono::steady_clock;

// Stale events (a cancelled shot's files, property changes) are read off
// before a shot, at most this many.
constexpr int kMaxDrainedEvents = 64;

void LogGphoto(GPContext*, const char* text, void*) {
    g_debug("gphoto2: %s", text);
}

GphotoContextPtr MakeContext() {
    GphotoContextPtr context(gp_context_new());
    if (context != nullptr) {
        gp_context_set_error_func(context.get(), LogGphoto, nullptr);
        gp_context_set_message_func(context.get(), LogGphoto, nullptr);
        gp_context_set_status_func(context.get(), LogGphoto, nullptr);
    }
    return context;
}

// Loading the camera drivers is slow; the list is the same for the process.
CameraAbilitiesList* SharedAbilities(GPContext* context) {
    static GphotoAbilitiesPtr abilities;
    static std::once_flag once;
    std::call_once(once, [context] {
        CameraAbilitiesList* list = nullptr;
        if (gp_abilities_list_new(&list) != GP_OK) return;
        abilities.reset(list);
        if (gp_abilities_list_load(list, context) != GP_OK) abilities.reset();
    });
    return abilities.get();
}

bool ContainsNoCase(const std::string& text, const char* word) {
    const std::string_view needle(word);
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

void FreeEventData(CameraEventType type, void* data) {
    (void)type;
    std::free(data);
}

}  // namespace

CameraStatus StatusOfGphotoResult(int result) {
    if (result >= GP_OK) return CameraStatus::kOk;
    switch (result) {
        case GP_ERROR_CAMERA_BUSY:
            return CameraStatus::kBusy;
        case GP_ERROR_CANCEL:
            return CameraStatus::kCancelled;
        case GP_ERROR_TIMEOUT:
            return CameraStatus::kTimedOut;
        case GP_ERROR_NOT_SUPPORTED:
            return CameraStatus::kMissing;
        case GP_ERROR_IO:
        case GP_ERROR_IO_INIT:
        case GP_ERROR_IO_READ:
        case GP_ERROR_IO_WRITE:
        case GP_ERROR_IO_UPDATE:
        case GP_ERROR_IO_USB_CLEAR_HALT:
        case GP_ERROR_IO_USB_FIND:
        case GP_ERROR_IO_USB_CLAIM:
        case GP_ERROR_IO_LOCK:
        case GP_ERROR_UNKNOWN_PORT:
        case GP_ERROR_MODEL_NOT_FOUND:
            return CameraStatus::kGone;
        default:
            return CameraStatus::kFailed;
    }
}

std::vector<std::string> WidgetNamesOf(CameraSetting setting) {
    switch (setting) {
        case CameraSetting::kWhiteBalance:
            return {"whitebalance"};
        case CameraSetting::kIso:
            return {"iso", "isospeed"};
        case CameraSetting::kAperture:
            return {"aperture", "f-number", "fnumber"};
        case CameraSetting::kShutterSpeed:
            return {"shutterspeed", "shutterspeed2", "exposuretime"};
        case CameraSetting::kImageQuality:
            return {"imageformat", "imagequality"};
    }
    return {};
}

std::vector<std::string> WidgetChoices(CameraWidget* widget) {
    std::vector<std::string> choices;
    const int count = gp_widget_count_choices(widget);
    for (int i = 0; i < count; ++i) {
        const char* choice = nullptr;
        if (gp_widget_get_choice(widget, i, &choice) == GP_OK && choice != nullptr) {
            choices.emplace_back(choice);
        }
    }
    return choices;
}

CameraStatus ReadWidgetCode(CameraWidget* widget, CameraSetting setting, int* code) {
    CameraWidgetType type;
    if (gp_widget_get_type(widget, &type) != GP_OK) return CameraStatus::kFailed;
    std::optional<int> found;
    if (type == GP_WIDGET_RANGE) {
        float value = 0;
        if (gp_widget_get_value(widget, &value) != GP_OK) return CameraStatus::kFailed;
        if (setting == CameraSetting::kAperture) {
            found = ApertureCodeForFNumber(value);
        } else {
            found = CodeForChoice(setting, std::to_string(value));
        }
    } else if (type == GP_WIDGET_RADIO || type == GP_WIDGET_MENU || type == GP_WIDGET_TEXT) {
        const char* value = nullptr;
        if (gp_widget_get_value(widget, &value) != GP_OK || value == nullptr) {
            return CameraStatus::kFailed;
        }
        found = CodeForChoice(setting, value);
    } else {
        return CameraStatus::kMissing;
    }
    if (!found) return CameraStatus::kFailed;
    *code = *found;
    return CameraStatus::kOk;
}

CameraStatus WriteWidgetCode(CameraWidget* widget, CameraSetting setting, int code) {
    CameraWidgetType type;
    if (gp_widget_get_type(widget, &type) != GP_OK) return CameraStatus::kFailed;
    if (type == GP_WIDGET_RANGE) {
        if (setting != CameraSetting::kAperture) return CameraStatus::kMissing;
        const std::optional<double> fNumber = FNumberForApertureCode(code);
        float minimum = 0;
        float maximum = 0;
        float step = 0;
        gp_widget_get_range(widget, &minimum, &maximum, &step);
        if (!fNumber || *fNumber < minimum || *fNumber > maximum) return CameraStatus::kFailed;
        const float value = static_cast<float>(*fNumber);
        return gp_widget_set_value(widget, &value) == GP_OK ? CameraStatus::kOk
                                                            : CameraStatus::kFailed;
    }
    if (type != GP_WIDGET_RADIO && type != GP_WIDGET_MENU) return CameraStatus::kMissing;
    const std::optional<std::string> choice = ChoiceForCode(setting, code, WidgetChoices(widget));
    if (!choice) return CameraStatus::kFailed;
    return gp_widget_set_value(widget, choice->c_str()) == GP_OK ? CameraStatus::kOk
                                                                 : CameraStatus::kFailed;
}

// What gp_camera_autodetect does, without loading every camera driver
// again on each call (a tenth of a second): the device provider and a
// connection waiting for its camera ask every few seconds.
std::vector<DetectedCamera> DetectGphotoCameras() {
    std::vector<DetectedCamera> cameras;
    GphotoContextPtr context = MakeContext();
    if (context == nullptr) return cameras;
    CameraAbilitiesList* abilities = SharedAbilities(context.get());
    GPPortInfoList* rawPorts = nullptr;
    CameraList* rawList = nullptr;
    if (abilities == nullptr || gp_port_info_list_new(&rawPorts) != GP_OK) return cameras;
    GphotoPortInfoPtr ports(rawPorts);
    if (gp_port_info_list_load(ports.get()) < GP_OK || gp_list_new(&rawList) != GP_OK) {
        return cameras;
    }
    GphotoListPtr list(rawList);
    if (gp_abilities_list_detect(abilities, ports.get(), list.get(), context.get()) < GP_OK) {
        return cameras;
    }
    const int count = gp_list_count(list.get());
    for (int i = 0; i < count; ++i) {
        const char* model = nullptr;
        const char* port = nullptr;
        gp_list_get_name(list.get(), i, &model);
        gp_list_get_value(list.get(), i, &port);
        // The bare "usb:" entry stands for no device in particular.
        if (model == nullptr || port == nullptr || std::strcmp(port, "usb:") == 0) continue;
        cameras.push_back({model, port});
    }
    return cameras;
}

CGphotoCamera::CGphotoCamera() : m_context(MakeContext()) {
    if (m_context != nullptr) gp_context_set_cancel_func(m_context.get(), CancelFunc, this);
}

CGphotoCamera::~CGphotoCamera() {
    Close();
}

GPContextFeedback CGphotoCamera::CancelFunc(GPContext*, void* data) {
    const auto* self = static_cast<const CGphotoCamera*>(data);
    return self->m_cancel && self->m_cancel() ? GP_CONTEXT_FEEDBACK_CANCEL : GP_CONTEXT_FEEDBACK_OK;
}

CameraStatus CGphotoCamera::Open() {
    if (m_camera != nullptr) return CameraStatus::kOk;
    if (m_context == nullptr) return CameraStatus::kFailed;
    const std::vector<DetectedCamera> cameras = DetectGphotoCameras();
    if (cameras.empty()) return CameraStatus::kGone;
    const DetectedCamera& chosen = cameras.back();

    Camera* raw = nullptr;
    if (gp_camera_new(&raw) != GP_OK) return CameraStatus::kFailed;
    GphotoCameraPtr camera(raw);
    if (CameraAbilitiesList* abilities = SharedAbilities(m_context.get())) {
        const int index = gp_abilities_list_lookup_model(abilities, chosen.model.c_str());
        CameraAbilities found;
        if (index >= 0 && gp_abilities_list_get_abilities(abilities, index, &found) == GP_OK) {
            gp_camera_set_abilities(camera.get(), found);
        }
    }
    GPPortInfoList* rawPorts = nullptr;
    if (gp_port_info_list_new(&rawPorts) != GP_OK) return CameraStatus::kFailed;
    GphotoPortInfoPtr ports(rawPorts);
    if (gp_port_info_list_load(ports.get()) < GP_OK) return CameraStatus::kFailed;
    const int portIndex = gp_port_info_list_lookup_path(ports.get(), chosen.port.c_str());
    GPPortInfo portInfo;
    if (portIndex < GP_OK ||
        gp_port_info_list_get_info(ports.get(), portIndex, &portInfo) != GP_OK) {
        return CameraStatus::kGone;
    }
    gp_camera_set_port_info(camera.get(), portInfo);
    const int result = gp_camera_init(camera.get(), m_context.get());
    if (result < GP_OK) {
        // Another program (a desktop's photo importer) may hold the body.
        g_message("quorrel: cannot open %s on %s: %s", chosen.model.c_str(), chosen.port.c_str(),
                  gp_result_as_string(result));
        return StatusOfGphotoResult(result) == CameraStatus::kBusy ? CameraStatus::kBusy
                                                                   : CameraStatus::kGone;
    }
    m_camera = std::move(camera);
    m_capturedFiles.clear();

    m_model = chosen.model;
    std::string name;
    if (GphotoWidgetPtr widget = FindWidget({"cameramodel", "model"}, &name)) {
        const char* value = nullptr;
        if (gp_widget_get_value(widget.get(), &value) == GP_OK && value != nullptr && *value) {
            m_model = value;
        }
    }
    // Pictures go to the body's memory, from where they are downloaded and
    // deleted; the card stays as the user left it.
    if (GphotoWidgetPtr target = FindWidget({"capturetarget"}, &name)) {
        for (const std::string& choice : WidgetChoices(target.get())) {
            if (ContainsNoCase(choice, "RAM")) {
                SetTextWidget("capturetarget", choice.c_str());
                break;
            }
        }
    }
    SetToggleWidget("viewfinder", 1);
    return CameraStatus::kOk;
}

void CGphotoCamera::Close() {
    if (m_camera == nullptr) return;
    SetToggleWidget("viewfinder", 0);
    gp_camera_exit(m_camera.get(), m_context.get());
    m_camera.reset();
    m_capturedFiles.clear();
}

GphotoWidgetPtr CGphotoCamera::FindWidget(const std::vector<std::string>& names,
                                          std::string* found) {
    for (const std::string& name : names) {
        CameraWidget* widget = nullptr;
        if (gp_camera_get_single_config(m_camera.get(), name.c_str(), &widget, m_context.get()) ==
                GP_OK &&
            widget != nullptr) {
            *found = name;
            return GphotoWidgetPtr(widget);
        }
    }
    return nullptr;
}

CameraStatus CGphotoCamera::SetTextWidget(const char* name, const char* value) {
    std::string found;
    GphotoWidgetPtr widget = FindWidget({name}, &found);
    if (widget == nullptr) return CameraStatus::kMissing;
    if (gp_widget_set_value(widget.get(), value) != GP_OK) return CameraStatus::kFailed;
    return StatusOfGphotoResult(
        gp_camera_set_single_config(m_camera.get(), name, widget.get(), m_context.get()));
}

CameraStatus CGphotoCamera::SetToggleWidget(const char* name, int value) {
    std::string found;
    GphotoWidgetPtr widget = FindWidget({name}, &found);
    if (widget == nullptr) return CameraStatus::kMissing;
    if (gp_widget_set_value(widget.get(), &value) != GP_OK) return CameraStatus::kFailed;
    return StatusOfGphotoResult(
        gp_camera_set_single_config(m_camera.get(), name, widget.get(), m_context.get()));
}

CameraStatus CGphotoCamera::CapturePreview(std::vector<std::uint8_t>* jpeg) {
    if (m_camera == nullptr) return CameraStatus::kGone;
    CameraFile* raw = nullptr;
    if (gp_file_new(&raw) != GP_OK) return CameraStatus::kFailed;
    GphotoFilePtr file(raw);
    const int result = gp_camera_capture_preview(m_camera.get(), file.get(), m_context.get());
    if (result < GP_OK) {
        // A body without live view cannot be one of our sources.
        const CameraStatus status = StatusOfGphotoResult(result);
        return status == CameraStatus::kMissing ? CameraStatus::kFailed : status;
    }
    const char* data = nullptr;
    unsigned long size = 0;
    if (gp_file_get_data_and_size(file.get(), &data, &size) != GP_OK || data == nullptr ||
        size == 0) {
        return CameraStatus::kFailed;
    }
    jpeg->assign(reinterpret_cast<const std::uint8_t*>(data),
                 reinterpret_cast<const std::uint8_t*>(data) + size);
    return CameraStatus::kOk;
}

CameraStatus CGphotoCamera::GetSetting(CameraSetting setting, int* code) {
    if (m_camera == nullptr) return CameraStatus::kGone;
    std::string name;
    GphotoWidgetPtr widget = FindWidget(WidgetNamesOf(setting), &name);
    if (widget == nullptr) return CameraStatus::kMissing;
    return ReadWidgetCode(widget.get(), setting, code);
}

CameraStatus CGphotoCamera::SetSetting(CameraSetting setting, int code) {
    if (m_camera == nullptr) return CameraStatus::kGone;
    std::string name;
    if (setting == CameraSetting::kImageQuality) return SetImageQuality(code);
    GphotoWidgetPtr widget = FindWidget(WidgetNamesOf(setting), &name);
    if (widget == nullptr) return CameraStatus::kMissing;
    const CameraStatus status = WriteWidgetCode(widget.get(), setting, code);
    if (status != CameraStatus::kOk) return status;
    return StatusOfGphotoResult(
        gp_camera_set_single_config(m_camera.get(), name.c_str(), widget.get(), m_context.get()));
}

CameraStatus CGphotoCamera::SetImageQuality(int code) {
    std::string name;
    // Canon names size and raw together; other bodies keep the size apart
    // from the quality, and their raw choice is left as the user set it.
    CameraStatus status = CameraStatus::kMissing;
    if (GphotoWidgetPtr format = FindWidget({"imageformat"}, &name)) {
        status = WriteWidgetCode(format.get(), CameraSetting::kImageQuality, code);
        if (status == CameraStatus::kOk) {
            return StatusOfGphotoResult(gp_camera_set_single_config(m_camera.get(), name.c_str(),
                                                                    format.get(), m_context.get()));
        }
    }
    // A format list in other words than Canon's: the size alone, if it can.
    GphotoWidgetPtr size = FindWidget({"imagesize"}, &name);
    if (size == nullptr) return status;
    const std::optional<std::string> choice =
        ImageSizeChoiceForQuality(code, WidgetChoices(size.get()));
    if (!choice || gp_widget_set_value(size.get(), choice->c_str()) != GP_OK) {
        return CameraStatus::kFailed;
    }
    return StatusOfGphotoResult(
        gp_camera_set_single_config(m_camera.get(), name.c_str(), size.get(), m_context.get()));
}

void CGphotoCamera::DrainEvents() {
    for (int i = 0; i < kMaxDrainedEvents; ++i) {
        CameraEventType type = GP_EVENT_TIMEOUT;
        void* data = nullptr;
        if (gp_camera_wait_for_event(m_camera.get(), 1, &type, &data, m_context.get()) < GP_OK) {
            FreeEventData(type, data);
            return;
        }
        if (type == GP_EVENT_FILE_ADDED && data != nullptr) {
            // Left over from a shot that was given up: free the body's memory.
            const auto* path = static_cast<const CameraFilePath*>(data);
            gp_camera_file_delete(m_camera.get(), path->folder, path->name, m_context.get());
        }
        FreeEventData(type, data);
        if (type == GP_EVENT_TIMEOUT) return;
    }
}

CameraStatus CGphotoCamera::TriggerCapture() {
    if (m_camera == nullptr) return CameraStatus::kGone;
    DrainEvents();
    const int result = gp_camera_trigger_capture(m_camera.get(), m_context.get());
    if (result != GP_ERROR_NOT_SUPPORTED) return StatusOfGphotoResult(result);
    // Older bodies only shoot and wait in one call; later files of the
    // shot still arrive as events.
    CameraFilePath path;
    const int captured =
        gp_camera_capture(m_camera.get(), GP_CAPTURE_IMAGE, &path, m_context.get());
    if (captured < GP_OK) return StatusOfGphotoResult(captured);
    CameraFileRef file{path.folder, path.name, 0};
    CameraFileInfo info;
    if (gp_camera_file_get_info(m_camera.get(), path.folder, path.name, &info, m_context.get()) ==
            GP_OK &&
        (info.file.fields & GP_FILE_INFO_SIZE) != 0) {
        file.size = info.file.size;
    }
    m_capturedFiles.push_back(file);
    return CameraStatus::kOk;
}

CameraStatus CGphotoCamera::WaitForFile(int timeoutMs, CameraFileRef* file) {
    if (m_camera == nullptr) return CameraStatus::kGone;
    if (!m_capturedFiles.empty()) {
        *file = m_capturedFiles.front();
        m_capturedFiles.pop_front();
        return CameraStatus::kOk;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return CameraStatus::kTimedOut;
        CameraEventType type = GP_EVENT_TIMEOUT;
        void* data = nullptr;
        const int result = gp_camera_wait_for_event(m_camera.get(), static_cast<int>(left), &type,
                                                    &data, m_context.get());
        if (result < GP_OK) {
            FreeEventData(type, data);
            return StatusOfGphotoResult(result);
        }
        if (type == GP_EVENT_FILE_ADDED && data != nullptr) {
            const auto* path = static_cast<const CameraFilePath*>(data);
            *file = {path->folder, path->name, 0};
            CameraFileInfo info;
            if (gp_camera_file_get_info(m_camera.get(), path->folder, path->name, &info,
                                        m_context.get()) == GP_OK &&
                (info.file.fields & GP_FILE_INFO_SIZE) != 0) {
                file->size = info.file.size;
            }
            FreeEventData(type, data);
            return CameraStatus::kOk;
        }
        FreeEventData(type, data);
        if (type == GP_EVENT_TIMEOUT) return CameraStatus::kTimedOut;
    }
}

CameraStatus CGphotoCamera::ReadFile(const CameraFileRef& file, std::uint64_t offset,
                                     std::uint8_t* buffer, std::uint64_t* size) {
    if (m_camera == nullptr) return CameraStatus::kGone;
    const int result = gp_camera_file_read(m_camera.get(), file.folder.c_str(), file.name.c_str(),
                                           GP_FILE_TYPE_NORMAL, offset,
                                           reinterpret_cast<char*>(buffer), size, m_context.get());
    return StatusOfGphotoResult(result);
}

CameraStatus CGphotoCamera::DeleteFile(const CameraFileRef& file) {
    if (m_camera == nullptr) return CameraStatus::kGone;
    return StatusOfGphotoResult(gp_camera_file_delete(m_camera.get(), file.folder.c_str(),
                                                      file.name.c_str(), m_context.get()));
}

CameraStatus CGphotoCamera::HalfPress(bool pressed) {
    if (m_camera == nullptr) return CameraStatus::kGone;
    // "Press Half" is the release without autofocus.
    return SetTextWidget("eosremoterelease", pressed ? "Press Half" : "Release Half");
}

}  // namespace kolvane::quorrel
