#include <gst/gst.h>

#include "filters/feddick/GstFeddick.h"

#define PACKAGE "kolvane"
#define GST_PACKAGE_NAME "Kolvane"
#define GST_PACKAGE_ORIGIN "Unknown package origin"

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    return GST_ELEMENT_REGISTER(feddick, plugin);
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, feddick,
                  "Movie source for the Kolvane movie writer", PluginInit, KOLVANE_VERSION,
                  "Proprietary", GST_PACKAGE_NAME, GST_PACKAGE_ORIGIN)
