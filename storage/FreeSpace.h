#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QString>

namespace kolvane {

// The bytes the user may still write on the volume that holds `folder`; none
// when the system cannot tell. Tests put their own figure in.
using FreeSpaceSource = std::function<std::optional<std::int64_t>(const QString& folder)>;

// The system's answer (QStorageInfo).
FreeSpaceSource SystemFreeSpace();

}  // namespace kolvane
