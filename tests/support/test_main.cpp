#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/TestEnvironment.h"

#if defined(__SANITIZE_ADDRESS__)
// Libraries outside our code keep process-lifetime allocations (type
// registries, font caches, plugin tables); only our own leaks should fail.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libglib-2.0\n"
           "leak:libgobject-2.0\n"
           "leak:libgstreamer-1.0\n"
           "leak:libgstbase-1.0\n"
           "leak:libgstvideo-1.0\n"
           "leak:libgstaudio-1.0\n"
           "leak:libgstpbutils-1.0\n"
           "leak:libgstapp-1.0\n"
           "leak:/usr/lib/x86_64-linux-gnu/gstreamer-1.0/\n"
           "leak:libfontconfig\n"
           "leak:libfreetype\n"
           "leak:libQt6Core\n"
           "leak:libQt6Gui\n"
           "leak:libQt6Widgets\n"
           "leak:libdbus-1\n"
           "leak:liborc-0.4\n"
           "leak:libx264\n"
           "leak:libavcodec\n"
           "leak:libavutil\n";
}
#endif

int main(int argc, char** argv) {
    kolvane::test::SetUpIsolatedEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    gst_init(&argc, &argv);
    const int result = RUN_ALL_TESTS();
    return result;
}
