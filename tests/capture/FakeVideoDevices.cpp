#include "tests/capture/FakeVideoDevices.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include <QString>

namespace kolvane::test {
namespace {

std::mutex g_lock;
std::vector<FakeDeviceSpec> g_specs;
std::vector<GstDevice*> g_devices;  // owned, in presentation order
std::map<std::string, int> g_opens;
std::map<std::string, GWeakRef*> g_elements;
std::map<std::string, std::shared_ptr<FakeNodeState>> g_nodes;

// --- the fake camera element: a bin with the "iquorrel" property ---------

struct KolvaneFakeCameraBin {
    GstBin parent;
};
struct KolvaneFakeCameraBinClass {
    GstBinClass parent_class;
};
G_DEFINE_TYPE(KolvaneFakeCameraBin, kolvane_fake_camera_bin, GST_TYPE_BIN)

void FakeCameraGetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
    if (id == 1) {
        g_value_set_pointer(value, static_cast<IQuorrel*>(&FakeCamera()));
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

void kolvane_fake_camera_bin_class_init(KolvaneFakeCameraBinClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    object->get_property = FakeCameraGetProperty;
    g_object_class_install_property(object, 1,
                                    g_param_spec_pointer(kQuorrelInterfaceProperty, "IQuorrel",
                                                         "the camera", G_PARAM_READABLE));
}
void kolvane_fake_camera_bin_init(KolvaneFakeCameraBin*) {}

// --- the fake device --------------------------------------------------------

struct KolvaneFakeDevice {
    GstDevice parent;
    gchar* launch;
    gboolean camera;
};
struct KolvaneFakeDeviceClass {
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(KolvaneFakeDevice, kolvane_fake_device, GST_TYPE_DEVICE)

GstElement* FakeDeviceCreateElement(GstDevice* device, const gchar* name) {
    auto* self = reinterpret_cast<KolvaneFakeDevice*>(device);
    GError* error = nullptr;
    GstElement* inner = gst_parse_bin_from_description(self->launch, TRUE, &error);
    if (error != nullptr) {
        g_error_free(error);
        return nullptr;
    }
    GstElement* element = inner;
    if (self->camera) {
        element = GST_ELEMENT(g_object_new(kolvane_fake_camera_bin_get_type(), nullptr));
        gst_bin_add(GST_BIN(element), inner);
        GstPad* target = gst_element_get_static_pad(inner, "src");
        gst_element_add_pad(element, gst_ghost_pad_new("src", target));
        gst_object_unref(target);
    }
    if (name != nullptr) gst_object_set_name(GST_OBJECT(element), name);
    gchar* display = gst_device_get_display_name(device);
    std::lock_guard lock(g_lock);
    g_opens[display] += 1;
    GWeakRef*& ref = g_elements[display];
    if (ref == nullptr) {
        ref = g_new0(GWeakRef, 1);
        g_weak_ref_init(ref, nullptr);
    }
    g_weak_ref_set(ref, element);
    g_free(display);
    return element;
}

void FakeDeviceFinalize(GObject* object) {
    g_free(reinterpret_cast<KolvaneFakeDevice*>(object)->launch);
    G_OBJECT_CLASS(kolvane_fake_device_parent_class)->finalize(object);
}

void kolvane_fake_device_class_init(KolvaneFakeDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = FakeDeviceCreateElement;
    G_OBJECT_CLASS(klass)->finalize = FakeDeviceFinalize;
}
void kolvane_fake_device_init(KolvaneFakeDevice* self) {
    self->launch = nullptr;
    self->camera = FALSE;
}

GstDevice* NewFakeDevice(const FakeDeviceSpec& spec) {
    GstCaps* caps = gst_caps_from_string(spec.caps.c_str());
    GstStructure* properties = gst_structure_new_empty("properties");
    if (!spec.path.empty()) {
        gst_structure_set(properties, "device.api", G_TYPE_STRING, "v4l2", "device.path",
                          G_TYPE_STRING, spec.path.c_str(), nullptr);
    }
    if (spec.decklink) gst_structure_set(properties, "device-number", G_TYPE_INT, 0, nullptr);
    auto* device = static_cast<KolvaneFakeDevice*>(g_object_new(
        kolvane_fake_device_get_type(), "display-name", spec.name.c_str(), "device-class",
        spec.deviceClass.c_str(), "caps", caps, "properties", properties, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    device->launch = g_strdup(spec.launch.c_str());
    device->camera = spec.camera;
    return GST_DEVICE(gst_object_ref_sink(device));
}

// --- the provider -----------------------------------------------------------

struct KolvaneFakeProvider {
    GstDeviceProvider parent;
};
struct KolvaneFakeProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(KolvaneFakeProvider, kolvane_fake_provider, GST_TYPE_DEVICE_PROVIDER)

GList* FakeProviderProbe(GstDeviceProvider*) {
    std::lock_guard lock(g_lock);
    GList* list = nullptr;
    for (GstDevice* device : g_devices)
        list = g_list_append(list, gst_object_ref(device));
    return list;
}

void kolvane_fake_provider_class_init(KolvaneFakeProviderClass* klass) {
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = FakeProviderProbe;
    gst_device_provider_class_set_static_metadata(
        provider, "Kolvane test video devices", "Video/Source", "Devices for the tests", "Kolvane");
}
void kolvane_fake_provider_init(KolvaneFakeProvider*) {}

constexpr char kProviderName[] = "kolvanefakevideo";

void RegisterOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        gst_device_provider_register(nullptr, kProviderName, GST_RANK_PRIMARY,
                                     kolvane_fake_provider_get_type());
        // No real camera of the machine running the tests may join in.
        GList* factories = gst_device_provider_factory_list_get_device_providers(GST_RANK_NONE);
        for (GList* item = factories; item != nullptr; item = item->next) {
            auto* factory = GST_PLUGIN_FEATURE(item->data);
            if (std::strcmp(gst_plugin_feature_get_name(factory), kProviderName) != 0) {
                gst_plugin_feature_set_rank(factory, GST_RANK_NONE);
            }
        }
        gst_plugin_feature_list_free(factories);
    });
}

GstDeviceProvider* Provider() {
    return gst_device_provider_factory_get_by_name(kProviderName);
}

}  // namespace

// --- camera -------------------------------------------------------------------

CFakeCamera& FakeCamera() {
    static CFakeCamera camera;
    return camera;
}

namespace {
void NoteThread(CFakeCamera& camera) {
    if (std::this_thread::get_id() != camera.uiThread) camera.offUiThread += 1;
}
}  // namespace

Result CFakeCamera::GetCameraName(char* name, int capacity) {
    NoteThread(*this);
    if (capacity <= static_cast<int>(model.size())) return kFail;
    std::memcpy(name, model.c_str(), model.size() + 1);
    return kOk;
}
Result CFakeCamera::TakePicture(const char* basePath, std::atomic<int>* progress) {
    NoteThread(*this);
    lastPicturePath = basePath;
    if (progress != nullptr) progress->store(100);
    return kOk;
}
Result CFakeCamera::SetCameraSettings(int whiteBalance, int iso, int aperture, int imageSize) {
    NoteThread(*this);
    lastSettings[0] = whiteBalance;
    lastSettings[1] = iso;
    lastSettings[2] = aperture;
    lastSettings[3] = imageSize;
    settingsWritten += 1;
    return kOk;
}
Result CFakeCamera::GetCameraSettings(int* whiteBalance, int* iso, int* aperture, int* quality) {
    *whiteBalance = lastSettings[0];
    *iso = lastSettings[1];
    *aperture = lastSettings[2];
    *quality = lastSettings[3];
    return kOk;
}
Result CFakeCamera::SaveCameraSettings() {
    NoteThread(*this);
    saves += 1;
    return kOk;
}
Result CFakeCamera::RestoreCameraSettings() {
    NoteThread(*this);
    restores += 1;
    return kOk;
}
Result CFakeCamera::HalfPressShutter(bool) {
    NoteThread(*this);
    halfPresses += 1;
    return kOk;
}

// --- provider control -----------------------------------------------------------

void CFakeVideoProvider::Present(const std::vector<FakeDeviceSpec>& devices) {
    RegisterOnce();
    std::lock_guard lock(g_lock);
    for (GstDevice* device : g_devices)
        gst_object_unref(device);
    g_devices.clear();
    g_specs = devices;
    for (const FakeDeviceSpec& spec : devices)
        g_devices.push_back(NewFakeDevice(spec));
}

void CFakeVideoProvider::Unplug(const std::string& name) {
    GstDevice* removed = nullptr;
    {
        std::lock_guard lock(g_lock);
        for (auto it = g_devices.begin(); it != g_devices.end(); ++it) {
            gchar* display = gst_device_get_display_name(*it);
            const bool match = name == display;
            g_free(display);
            if (match) {
                removed = *it;
                g_devices.erase(it);
                break;
            }
        }
    }
    if (removed == nullptr) return;
    GstDeviceProvider* provider = Provider();
    gst_device_provider_device_remove(provider, removed);
    gst_object_unref(provider);
    gst_object_unref(removed);
}

void CFakeVideoProvider::Plug(const FakeDeviceSpec& spec) {
    GstDevice* device = NewFakeDevice(spec);
    {
        std::lock_guard lock(g_lock);
        g_devices.push_back(GST_DEVICE(gst_object_ref(device)));
    }
    GstDeviceProvider* provider = Provider();
    gst_device_provider_device_add(provider, device);
    gst_object_unref(provider);
    gst_object_unref(device);
}

int CFakeVideoProvider::OpenCount(const std::string& name) {
    std::lock_guard lock(g_lock);
    const auto it = g_opens.find(name);
    return it == g_opens.end() ? 0 : it->second;
}

void CFakeVideoProvider::Freeze(const std::string& name, bool frozen) {
    GstElement* element = nullptr;
    {
        std::lock_guard lock(g_lock);
        const auto it = g_elements.find(name);
        if (it != g_elements.end()) element = GST_ELEMENT(g_weak_ref_get(it->second));
    }
    if (element == nullptr) return;
    GstElement* pattern =
        GST_IS_BIN(element) ? gst_bin_get_by_name(GST_BIN(element), "pattern") : nullptr;
    if (pattern != nullptr) {
        gst_util_set_object_arg(G_OBJECT(pattern), "pattern", frozen ? "white" : "ball");
        gst_object_unref(pattern);
    }
    gst_object_unref(element);
}

// --- nodes -------------------------------------------------------------------------

namespace {
class CFakeNode final : public IDeviceNode {
  public:
    explicit CFakeNode(std::shared_ptr<FakeNodeState> state) : state_(std::move(state)) {}
    std::vector<CVideoInputInfo> Inputs() override { return state_->inputs; }
    int SelectInput(int index) override {
        if (index < 0 || index >= static_cast<int>(state_->inputs.size())) return EINVAL;
        state_->selected.push_back(index);
        CFakeVideoProvider::Freeze(state_->device, state_->dead[static_cast<std::size_t>(index)]);
        return 0;
    }
    void ResetControls() override { state_->resets += 1; }

  private:
    std::shared_ptr<FakeNodeState> state_;
};
}  // namespace

std::shared_ptr<FakeNodeState> AddFakeNode(const std::string& path, const std::string& device,
                                           std::vector<CVideoInputInfo> inputs) {
    auto state = std::make_shared<FakeNodeState>();
    state->device = device;
    state->dead.assign(inputs.size(), false);
    state->inputs = std::move(inputs);
    std::lock_guard lock(g_lock);
    g_nodes[path] = state;
    return state;
}

DeviceNodeOpener FakeNodeOpener() {
    return [](const QString& path) -> std::unique_ptr<IDeviceNode> {
        std::lock_guard lock(g_lock);
        const auto it = g_nodes.find(path.toStdString());
        if (it == g_nodes.end()) return nullptr;
        return std::make_unique<CFakeNode>(it->second);
    };
}

// --- the devices ---------------------------------------------------------------------

FakeDeviceSpec FakeWebcam() {
    FakeDeviceSpec spec;
    spec.name = "USB webcam";
    spec.caps =
        "video/x-raw,format=YUY2,width=320,height=240,framerate=30/1;"
        "video/x-raw,format=YUY2,width=160,height=120,framerate=30/1;"
        "video/x-raw,format=YUY2,width=640,height=360,framerate=30/1;"
        "image/jpeg,width=1280,height=720,framerate=30/1";
    spec.path = "/dev/fake-webcam";
    return spec;
}

FakeDeviceSpec FakeAnalogCard() {
    FakeDeviceSpec spec;
    spec.name = "Analog capture card";
    spec.caps = "video/x-raw,format=YUY2,width=320,height=240,framerate=25/1";
    spec.path = "/dev/fake-analog";
    return spec;
}

FakeDeviceSpec FakeDvCamera() {
    FakeDeviceSpec spec;
    spec.name = "DV camcorder";
    spec.caps = "video/x-dv,systemstream=false";
    spec.launch =
        "videotestsrc name=pattern is-live=true pattern=ball ! "
        "video/x-raw,width=720,height=576,framerate=25/1 ! videoconvert ! avenc_dvvideo";
    return spec;
}

FakeDeviceSpec FakeHdCard() {
    FakeDeviceSpec spec;
    spec.name = "DeckLink Mini Recorder";
    spec.deviceClass = "Video/Source/Hardware";
    spec.decklink = true;
    spec.caps =
        "video/x-raw,format=UYVY,width=1280,height=720,framerate=30/1;"
        "video/x-raw,format=UYVY,width=1920,height=1080,framerate=[1/1,60/1]";
    return spec;
}

FakeDeviceSpec FakeCameraDevice() {
    FakeDeviceSpec spec;
    spec.name = "Canon EOS 550D";
    spec.caps = "video/x-raw,format=YUY2,width=320,height=240,framerate=30/1";
    spec.camera = true;
    return spec;
}

}  // namespace kolvane::test
