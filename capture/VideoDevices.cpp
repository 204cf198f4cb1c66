#include "capture/VideoDevices.h"

#include <QFile>
#include <QString>

namespace kolvane {
namespace {

// A source the program offers itself: its element is built from a launch
// description (the test pattern; a DV camcorder on FireWire).
struct KolvaneOwnDevice {
    GstDevice parent;
    gchar* description;
};
struct KolvaneOwnDeviceClass {
    GstDeviceClass parent_class;
};

G_DEFINE_TYPE(KolvaneOwnDevice, kolvane_own_device, GST_TYPE_DEVICE)

GstElement* OwnDeviceCreateElement(GstDevice* device, const gchar* name) {
    auto* self = reinterpret_cast<KolvaneOwnDevice*>(device);
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(self->description, TRUE, &error);
    if (error != nullptr) {
        g_error_free(error);
        if (bin != nullptr) gst_object_unref(bin);
        return nullptr;
    }
    if (name != nullptr) gst_object_set_name(GST_OBJECT(bin), name);
    return bin;
}

void OwnDeviceFinalize(GObject* object) {
    g_free(reinterpret_cast<KolvaneOwnDevice*>(object)->description);
    G_OBJECT_CLASS(kolvane_own_device_parent_class)->finalize(object);
}

void kolvane_own_device_class_init(KolvaneOwnDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = OwnDeviceCreateElement;
    G_OBJECT_CLASS(klass)->finalize = OwnDeviceFinalize;
}

void kolvane_own_device_init(KolvaneOwnDevice* self) {
    self->description = nullptr;
}

GstDevice* NewOwnDevice(const char* name, const char* caps, const char* description,
                        GstStructure* properties) {
    GstCaps* deviceCaps = gst_caps_from_string(caps);
    auto* device = static_cast<KolvaneOwnDevice*>(
        g_object_new(kolvane_own_device_get_type(), "display-name", name, "device-class",
                     "Video/Source", "caps", deviceCaps, "properties", properties, nullptr));
    gst_caps_unref(deviceCaps);
    if (properties != nullptr) gst_structure_free(properties);
    device->description = g_strdup(description);
    return GST_DEVICE(gst_object_ref_sink(device));
}

// A moving, live picture: SMPTE bars scrolling sideways, so that the
// adjustment element sees a changing picture at every frame.
GstDevice* NewTestPatternDevice() {
    return NewOwnDevice(
        kTestPatternName,
        "video/x-raw,format=YUY2,width=640,height=480,framerate=30/1;"
        "video/x-raw,format=YUY2,width=320,height=240,framerate=30/1;"
        "video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1;"
        "video/x-raw,format=YUY2,width=1920,height=1080,framerate=30/1",
        "videotestsrc is-live=true pattern=smpte horizontal-speed=2",
        gst_structure_new("properties", "device.api", G_TYPE_STRING, "kolvane", nullptr));
}

GstDevice* NewFirewireCameraDevice() {
    return NewOwnDevice(
        "DV camcorder (FireWire)", "video/x-dv,systemstream=true", "dv1394src",
        gst_structure_new("properties", "device.api", G_TYPE_STRING, "dv1394", nullptr));
}

bool FirewireCameraPresent() {
    GstElementFactory* factory = gst_element_factory_find("dv1394src");
    if (factory == nullptr) return false;
    gst_object_unref(factory);
    return QFile::exists(QStringLiteral("/dev/raw1394"));
}

}  // namespace

VideoDeviceMode VideoDeviceModeFromEnvironment() {
    const QByteArray value = qgetenv("KOLVANE_VIDEO_DEVICES").trimmed().toLower();
    if (value == "system") return VideoDeviceMode::System;
    if (value == "test") return VideoDeviceMode::TestPattern;
    if (value == "none") return VideoDeviceMode::None;
    return VideoDeviceMode::Automatic;
}

CVideoDeviceList::CVideoDeviceList(VideoDeviceMode mode) : mode_(mode) {
    if (mode_ == VideoDeviceMode::Automatic || mode_ == VideoDeviceMode::TestPattern) {
        testPattern_.reset(NewTestPatternDevice());
    }
}

CVideoDeviceList::~CVideoDeviceList() {
    if (monitor_ != nullptr) {
        if (monitorStarted_) gst_device_monitor_stop(monitor_.get());
        GstBusPtr bus(gst_device_monitor_get_bus(monitor_.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }
}

void CVideoDeviceList::SetChangeHandler(ChangeHandler handler) {
    std::lock_guard lock(handlerLock_);
    handler_ = std::move(handler);
}

void CVideoDeviceList::StartMonitor() {
    monitor_.reset(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor_.get(), "Video/Source", nullptr);
    GstBusPtr bus(gst_device_monitor_get_bus(monitor_.get()));
    gst_bus_set_sync_handler(bus.get(), &CVideoDeviceList::OnMonitorMessage, this, nullptr);
    monitorStarted_ = gst_device_monitor_start(monitor_.get());
    if (FirewireCameraPresent()) firewireCamera_.reset(NewFirewireCameraDevice());
}

GstBusSyncReply CVideoDeviceList::OnMonitorMessage(GstBus* /*bus*/, GstMessage* message,
                                                   gpointer data) {
    auto* self = static_cast<CVideoDeviceList*>(data);
    GstDevice* device = nullptr;
    bool added = false;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED) {
        gst_message_parse_device_added(message, &device);
        added = true;
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_REMOVED) {
        gst_message_parse_device_removed(message, &device);
    }
    if (device != nullptr) {
        std::lock_guard lock(self->handlerLock_);
        if (self->handler_) self->handler_(device, added);
        gst_object_unref(device);
    }
    return GST_BUS_DROP;
}

std::vector<GstDevicePtr> CVideoDeviceList::Devices() {
    std::vector<GstDevicePtr> devices;
    if (mode_ == VideoDeviceMode::None) return devices;
    if (mode_ != VideoDeviceMode::TestPattern) {
        if (monitor_ == nullptr) StartMonitor();
        GList* list = gst_device_monitor_get_devices(monitor_.get());
        for (GList* item = list; item != nullptr; item = item->next) {
            devices.emplace_back(GST_DEVICE(item->data));
        }
        g_list_free(list);
        if (firewireCamera_ != nullptr) {
            devices.emplace_back(GST_DEVICE(gst_object_ref(firewireCamera_.get())));
        }
    }
    if (testPattern_ != nullptr && (mode_ == VideoDeviceMode::TestPattern || devices.empty())) {
        devices.emplace_back(GST_DEVICE(gst_object_ref(testPattern_.get())));
    }
    return devices;
}

QString DevicePath(GstDevice* device) {
    QString path;
    if (GstStructure* properties = gst_device_get_properties(device)) {
        if (const char* value = gst_structure_get_string(properties, "device.path")) {
            path = QString::fromUtf8(value);
        } else if (const char* api = gst_structure_get_string(properties, "api.v4l2.path")) {
            path = QString::fromUtf8(api);
        }
        gst_structure_free(properties);
    }
    return path;
}

bool IsDeckLinkDevice(GstDevice* device) {
    // DeckLink devices are "Video/Source/Hardware" with the card's number.
    if (!gst_device_has_classes(device, "Video/Source/Hardware")) return false;
    bool decklink = false;
    if (GstStructure* properties = gst_device_get_properties(device)) {
        decklink = gst_structure_has_field(properties, "device-number");
        gst_structure_free(properties);
    }
    return decklink;
}

}  // namespace kolvane
