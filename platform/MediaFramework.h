#pragma once

#include <QString>
#include <QStringList>

namespace kolvane {

// Starts GStreamer with the program's own plugins on the plugin path, so that
// no user ever sets GST_PLUGIN_PATH by hand. Safe to call more than once.
bool InitMediaFramework();

// The folder that holds the program's own GStreamer plugins: beside the
// executable in a build tree, or lib/kolvane/gst-plugins in an install tree.
QString OwnPluginFolder();

// The element factories the program cannot work without that are missing.
QStringList MissingCoreElements();

}  // namespace kolvane
