// How the program finds the zantho element and its interface.

#include <gtest/gtest.h>

#include <QFile>

#include "filters/zantho/IZantho.h"
#include "platform/MediaFramework.h"

namespace kolvane::test {
namespace {

// The program adds the folder beside itself to the plugin path; the file
// there must carry the plugin's own name, or the registry refuses it.
TEST(ZanthoPlugin, ProgramFolderHoldsThePluginUnderItsName) {
    const QString folder = OwnPluginFolder();
    ASSERT_FALSE(folder.isEmpty());
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/libgstzantho.so"));
    GError* error = nullptr;
    GstPlugin* plugin = gst_plugin_load_file(path.constData(), &error);
    ASSERT_NE(plugin, nullptr) << (error != nullptr ? error->message : "");
    EXPECT_STREQ(gst_plugin_get_name(plugin), "zantho");
    gst_object_unref(plugin);
}

TEST(ZanthoPlugin, InterfaceIsFoundOnlyOnZantho) {
    GstElement* zantho = gst_element_factory_make("zantho", nullptr);
    ASSERT_NE(zantho, nullptr) << "the build's plugin is on the plugin path";
    gst_object_ref_sink(zantho);
    EXPECT_NE(QueryZantho(zantho), nullptr);
    GstElement* identity = gst_element_factory_make("identity", nullptr);
    gst_object_ref_sink(identity);
    EXPECT_EQ(QueryZantho(identity), nullptr);
    EXPECT_EQ(QueryZantho(nullptr), nullptr);
    EXPECT_EQ(QueryZantho(zantho)->ReconnectOutput(), kFail) << "the output is not linked";
    gst_object_unref(identity);
    gst_object_unref(zantho);
}

}  // namespace
}  // namespace kolvane::test
