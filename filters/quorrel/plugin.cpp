#include <gst/gst.h>

#include "filters/quorrel/GstQuorrel.h"
#include "filters/quorrel/QuorrelDeviceProvider.h"

#define PACKAGE "kolvane"
#define GST_PACKAGE_NAME "Kolvane"
#define GST_PACKAGE_ORIGIN "Unknown package origin"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    gboolean registered = GST_ELEMENT_REGISTER(quorrel, plugin);
    registered = GST_DEVICE_PROVIDER_REGISTER(quorreldeviceprovider, plugin) && registered;
    return registered;
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, quorrel,
                  "DSLR live view and stills for the Kolvane grabber", PluginInit, KOLVANE_VERSION,
                  "Proprietary", GST_PACKAGE_NAME, GST_PACKAGE_ORIGIN)
