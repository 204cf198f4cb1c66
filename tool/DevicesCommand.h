#pragma once

#include <QStringList>

namespace kolvane::tool {

// devices: every video source the program would search, one a line: its
// name, the source kind it is detected as, its device path and its formats
// (with a capture card's inputs), so that a user can see which camera the
// program sees and why. KOLVANE_VIDEO_DEVICES chooses as in the program.
int RunDevices(const QStringList& args);

}  // namespace kolvane::tool
