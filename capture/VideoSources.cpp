#include "capture/VideoSources.h"

#include <algorithm>
#include <cstring>

#include "filters/quorrel/IQuorrel.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

constexpr int kWebcam = 1;
constexpr int kAnalog = 2;
constexpr int kDv = 3;
constexpr int kHd = 5;
constexpr int kCamera = 6;

}  // namespace

std::vector<CVideoSourceInfo> ListVideoSources(VideoDeviceMode mode,
                                               const DeviceNodeOpener& openNode) {
    std::vector<CVideoSourceInfo> sources;
    CVideoDeviceList list(mode);
    for (const GstDevicePtr& device : list.Devices()) {
        CVideoSourceInfo info;
        gchar* name = gst_device_get_display_name(device.get());
        info.name = QString::fromUtf8(name);
        g_free(name);
        info.path = DevicePath(device.get());
        if (GstCaps* caps = gst_device_get_caps(device.get())) {
            info.modes = ModesFromCaps(caps);
            gst_caps_unref(caps);
        }
        if (!info.path.isEmpty() && openNode) {
            if (std::unique_ptr<IDeviceNode> node = openNode(info.path))
                info.inputs = node->Inputs();
        }
        bool camera = false;
        bool decklinkElement = false;
        if (GstElement* element = gst_device_create_element(device.get(), nullptr)) {
            gst_object_ref_sink(element);
            camera = QueryQuorrel(element) != nullptr;
            GstElementFactory* factory = gst_element_get_factory(element);
            decklinkElement = factory != nullptr &&
                              std::strcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)),
                                          "decklinkvideosrc") == 0;
            gst_object_unref(element);
        } else {
            info.opens = false;
        }
        const bool tuner = std::any_of(info.inputs.begin(), info.inputs.end(),
                                       [](const CVideoInputInfo& input) { return input.tuner; });
        if (camera) {
            info.kind = kCamera;
        } else if (decklinkElement || IsDeckLinkDevice(device.get())) {
            info.kind = kHd;
        } else if (!info.modes.empty() && info.modes.front().media == QLatin1String("video/x-dv")) {
            info.kind = kDv;
        } else if (info.inputs.size() > 1 || tuner) {
            info.kind = kAnalog;
        } else {
            info.kind = kWebcam;
        }
        sources.push_back(std::move(info));
    }
    return sources;
}

QString DescribeVideoSource(const CVideoSourceInfo& source) {
    CSettings names(CSettings::Unstored{});
    names.Set(VideoInput, source.kind);
    const QString kind = names.TextOf(VideoInput, false);
    QStringList formats;
    for (const CVideoMode& mode : source.modes)
        formats << mode.Describe();
    QString line = source.name + QLatin1Char('\t') + kind + QLatin1Char('\t') +
                   (source.path.isEmpty() ? QStringLiteral("-") : source.path) + QLatin1Char('\t') +
                   (formats.isEmpty() ? QStringLiteral("(formats unknown)") : formats.join(", "));
    if (source.inputs.size() > 1) {
        QStringList inputs;
        for (const CVideoInputInfo& input : source.inputs) {
            inputs << (input.tuner ? input.name + QStringLiteral(" (tuner)") : input.name);
        }
        line += QStringLiteral("\tinputs: ") + inputs.join(", ");
    }
    if (!source.opens) line += QStringLiteral("\t(cannot be opened)");
    return line;
}

}  // namespace kolvane
