#include "tests/support/TestEnvironment.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <QDir>
#include <QFile>

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

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

namespace kolvane::test {
namespace {

std::string g_root;

void SetEnv(const char* name, const std::string& value) {
    ::setenv(name, value.c_str(), 1);
}

std::string MakeDir(const std::string& path, mode_t mode) {
    std::filesystem::create_directories(path);
    ::chmod(path.c_str(), mode);
    return path;
}

void RemoveRoot() {
    std::error_code ignored;
    if (!g_root.empty() && std::getenv("KOLVANE_KEEP_TEST_HOME") == nullptr) {
        std::filesystem::remove_all(g_root, ignored);
    }
}

}  // namespace

void SetUpIsolatedEnvironment() {
    if (!g_root.empty()) return;
    std::string base = std::filesystem::temp_directory_path().string() + "/kolvane-test-XXXXXX";
    if (::mkdtemp(base.data()) == nullptr) std::abort();
    g_root = base;
    std::atexit(RemoveRoot);

    const std::string home = MakeDir(g_root + "/home", 0700);
    SetEnv("HOME", home);
    SetEnv("XDG_CONFIG_HOME", MakeDir(home + "/.config", 0700));
    SetEnv("XDG_DATA_HOME", MakeDir(home + "/.local/share", 0700));
    SetEnv("XDG_CACHE_HOME", MakeDir(home + "/.cache", 0700));
    SetEnv("XDG_RUNTIME_DIR", MakeDir(g_root + "/runtime", 0700));
    MakeDir(home + "/Documents", 0700);
    SetEnv("XDG_DOCUMENTS_DIR", home + "/Documents");
    SetEnv("TMPDIR", MakeDir(g_root + "/tmp", 0700));

    SetEnv("QT_QPA_PLATFORM", "offscreen");
    SetEnv("KOLVANE_AUDIO_SINK", "fakesink");
    if (std::getenv("KOLVANE_VIDEO_DEVICES") == nullptr) SetEnv("KOLVANE_VIDEO_DEVICES", "test");
    // No test reaches a real camera on the machine; a test that wants one
    // asks for the simulated camera.
    if (std::getenv("KOLVANE_CAMERA") == nullptr) SetEnv("KOLVANE_CAMERA", "none");
    // One registry for the whole suite, scanned in-process: the plugin scanner
    // helper cannot load plugins built with sanitizers.
    SetEnv("GST_REGISTRY", KOLVANE_TEST_GST_REGISTRY);
    SetEnv("GST_REGISTRY_FORK", "no");
    SetEnv("GST_PLUGIN_PATH", KOLVANE_TEST_PLUGIN_DIR);
}

void FreezeMediaRegistry() {
    // The registry warm-up has scanned every plugin; tests never rescan.
    SetEnv("GST_REGISTRY_UPDATE", "no");
}

QString TempRoot() {
    return QString::fromStdString(g_root);
}

QString MakeTempDir(const QString& hint) {
    static int counter = 0;
    const QString path = QStringLiteral("%1/%2-%3").arg(TempRoot(), hint).arg(++counter);
    QDir().mkpath(path);
    return path;
}

QString BinaryDir() {
    return QStringLiteral(KOLVANE_TEST_BINARY_DIR);
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(path));
}

}  // namespace kolvane::test
