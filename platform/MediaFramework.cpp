#include "platform/MediaFramework.h"

#include <gst/gst.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kolvane {

QString OwnPluginFolder() {
    const QString appDir = QCoreApplication::applicationDirPath();
    // The build tree keeps the plugins beside the programs; an install tree
    // puts them where the build says, relative to the programs' folder, so
    // that an installed tree still works after it is moved.
    const QStringList candidates = {
        appDir + QStringLiteral("/gst-plugins"),
        QDir(appDir).filePath(QStringLiteral(KOLVANE_INSTALLED_PLUGIN_DIR_FROM_BIN))};
    for (const QString& folder : candidates) {
        if (QFileInfo(folder).isDir()) return QDir(folder).canonicalPath();
    }
    return {};
}

bool InitMediaFramework() {
    if (gst_is_initialized()) return true;
    const QString own = OwnPluginFolder();
    if (!own.isEmpty()) {
        QByteArray path = qgetenv("GST_PLUGIN_PATH");
        const QByteArray ownBytes = QFile::encodeName(own);
        if (!path.split(':').contains(ownBytes)) {
            path = path.isEmpty() ? ownBytes : ownBytes + ':' + path;
            qputenv("GST_PLUGIN_PATH", path);
        }
    }
    GError* error = nullptr;
    const bool ok = gst_init_check(nullptr, nullptr, &error);
    if (error != nullptr) g_error_free(error);
    return ok;
}

QStringList MissingCoreElements() {
    static const char* const kCore[] = {"appsrc",       "appsink",       "queue",
                                        "capsfilter",   "videoconvert",  "videoscale",
                                        "audioconvert", "audioresample", "fakesink"};
    QStringList missing;
    for (const char* name : kCore) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (factory == nullptr) {
            missing << QString::fromLatin1(name);
        } else {
            gst_object_unref(factory);
        }
    }
    return missing;
}

}  // namespace kolvane
