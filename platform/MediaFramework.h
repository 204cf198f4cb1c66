#pragma once

#include <QString>
#include <QStringList>

namespace kolvane {

// Starts GStreamer with the program's own plugins on the plugin path, so that
// no user ever sets GST_PLUGIN_PATH by hand. Safe to call more than once.
bool InitMediaFramework();

// The folder that holds the program's own GStreamer plugins: gst-plugins
// beside the executable in a build tree; in an install tree the plugin folder
// chosen at configure time (GStreamer's own, lib/<arch>/gstreamer-1.0, in a
// /usr install), found relative to the executable.
QString OwnPluginFolder();

// The element factories the program cannot work without that are missing.
QStringList MissingCoreElements();

}  // namespace kolvane
