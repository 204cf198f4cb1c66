#pragma once

#include <QByteArray>
#include <QString>

namespace kolvane::test {

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR and the
// documents folder into a fresh temporary folder, so that no test can reach
// the user's real settings, working scene or documents. Called once per test
// process before Qt or GStreamer start.
void SetUpIsolatedEnvironment();

// Test programs use the registry the warm-up built, never scanning again.
void FreezeMediaRegistry();

// The temporary folder of this test process (removed when the process ends).
QString TempRoot();

// A new empty folder below TempRoot(), named after `hint`.
QString MakeTempDir(const QString& hint);

// The build folder: executables and the gst-plugins folder live there.
QString BinaryDir();

// Writes `bytes` as the whole file at `path` (ends the test process when it
// cannot: a fixture that is not there proves nothing).
void WriteBytes(const QString& path, const QByteArray& bytes);

}  // namespace kolvane::test
