// Puts the camera among the "Video/Source" devices, so that a device
// monitor lists it beside the webcams and the program opens it like any of
// them. The camera listed is the one the element opens: the last one
// libgphoto2 detects, or the simulated body with KOLVANE_CAMERA=simulated.
// While monitoring, the list follows the camera being plugged and unplugged.

#include "filters/quorrel/QuorrelDeviceProvider.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "filters/quorrel/GphotoCamera.h"
#include "filters/quorrel/GstQuorrel.h"
#include "filters/quorrel/SimulatedCamera.h"

namespace {

constexpr auto kPollInterval = std::chrono::seconds(2);

struct CameraListing {
    std::string model;
    std::string api;
    std::string port;
    bool operator==(const CameraListing&) const = default;
};

std::optional<CameraListing> ListCamera() {
    const char* choice = std::getenv("KOLVANE_CAMERA");
    if (choice != nullptr && std::strcmp(choice, "none") == 0) return std::nullopt;
    if (choice != nullptr && std::strcmp(choice, "simulated") == 0) {
        const auto body = kolvane::quorrel::CSimulatedBody::Shared();
        if (!body->IsPlugged()) return std::nullopt;
        return CameraListing{body->Model(), "simulated", "simulated:"};
    }
    const auto cameras = kolvane::quorrel::DetectGphotoCameras();
    if (cameras.empty()) return std::nullopt;
    return CameraListing{cameras.back().model, "gphoto2", cameras.back().port};
}

GstDevice* MakeDevice(const CameraListing& listing) {
    GstCaps* caps = gst_caps_from_string(QUORREL_CAPS);
    GstStructure* properties =
        gst_structure_new("quorrel-device", "device.api", G_TYPE_STRING, listing.api.c_str(),
                          "device.path", G_TYPE_STRING, listing.port.c_str(), "device.product.name",
                          G_TYPE_STRING, listing.model.c_str(), nullptr);
    GstDevice* device = GST_DEVICE(
        g_object_new(GST_TYPE_QUORREL_DEVICE, "display-name", listing.model.c_str(), "device-class",
                     "Video/Source", "caps", caps, "properties", properties, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    return device;
}

// The monitoring thread: polls the camera list and tells the provider.
class CCameraWatch {
  public:
    explicit CCameraWatch(GstDeviceProvider* provider) : m_provider(provider) {}
    ~CCameraWatch() { Stop(); }
    CCameraWatch(const CCameraWatch&) = delete;
    CCameraWatch& operator=(const CCameraWatch&) = delete;

    void Start() {
        Update();
        m_thread = std::thread([this] { Run(); });
    }
    void Stop() {
        {
            std::lock_guard lock(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
        m_listed.reset();
        m_device = nullptr;  // the provider drops its devices itself on stop
    }

  private:
    void Run() {
        std::unique_lock lock(m_lock);
        while (!m_wake.wait_for(lock, kPollInterval, [this] { return m_stopping; })) {
            lock.unlock();
            Update();
            lock.lock();
        }
    }
    void Update() {
        const std::optional<CameraListing> now = ListCamera();
        if (now == m_listed) return;
        if (m_device != nullptr) gst_device_provider_device_remove(m_provider, m_device);
        m_device = nullptr;
        m_listed = now;
        if (now) {
            m_device = MakeDevice(*now);
            gst_device_provider_device_add(m_provider, m_device);
        }
    }

    GstDeviceProvider* m_provider;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::optional<CameraListing> m_listed;
    GstDevice* m_device = nullptr;  // owned by the provider once added
};

}  // namespace

struct _GstQuorrelDevice {
    GstDevice parent;
};

G_DEFINE_TYPE(GstQuorrelDevice, gst_quorrel_device, GST_TYPE_DEVICE)

static GstElement* QuorrelDeviceCreateElement(GstDevice*, const gchar* name) {
    return gst_element_factory_make("quorrel", name);
}

static void gst_quorrel_device_class_init(GstQuorrelDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = QuorrelDeviceCreateElement;
}

static void gst_quorrel_device_init(GstQuorrelDevice*) {}

struct _GstQuorrelDeviceProvider {
    GstDeviceProvider parent;
    CCameraWatch* watch;
};

G_DEFINE_TYPE(GstQuorrelDeviceProvider, gst_quorrel_device_provider, GST_TYPE_DEVICE_PROVIDER)
GST_DEVICE_PROVIDER_REGISTER_DEFINE(quorreldeviceprovider, "quorreldeviceprovider",
                                    GST_RANK_PRIMARY, GST_TYPE_QUORREL_DEVICE_PROVIDER)

static GList* QuorrelProviderProbe(GstDeviceProvider*) {
    const std::optional<CameraListing> listing = ListCamera();
    if (!listing) return nullptr;
    return g_list_append(nullptr, gst_object_ref_sink(MakeDevice(*listing)));
}

static gboolean QuorrelProviderStart(GstDeviceProvider* provider) {
    GstQuorrelDeviceProvider* self = GST_QUORREL_DEVICE_PROVIDER(provider);
    delete self->watch;
    self->watch = new CCameraWatch(provider);
    self->watch->Start();
    return TRUE;
}

static void QuorrelProviderStop(GstDeviceProvider* provider) {
    GstQuorrelDeviceProvider* self = GST_QUORREL_DEVICE_PROVIDER(provider);
    delete self->watch;
    self->watch = nullptr;
}

static void QuorrelProviderFinalize(GObject* object) {
    GstQuorrelDeviceProvider* self = GST_QUORREL_DEVICE_PROVIDER(object);
    delete self->watch;
    self->watch = nullptr;
    G_OBJECT_CLASS(gst_quorrel_device_provider_parent_class)->finalize(object);
}

static void gst_quorrel_device_provider_class_init(GstQuorrelDeviceProviderClass* klass) {
    GstDeviceProviderClass* provider_class = GST_DEVICE_PROVIDER_CLASS(klass);
    G_OBJECT_CLASS(klass)->finalize = QuorrelProviderFinalize;
    provider_class->probe = QuorrelProviderProbe;
    provider_class->start = QuorrelProviderStart;
    provider_class->stop = QuorrelProviderStop;
    gst_device_provider_class_set_static_metadata(provider_class, "DSLR camera provider",
                                                  "Video/Source", "Lists the DSLR on USB",
                                                  "Brevanta <support@brevanta.example>");
}

static void gst_quorrel_device_provider_init(GstQuorrelDeviceProvider* self) {
    self->watch = nullptr;
}
