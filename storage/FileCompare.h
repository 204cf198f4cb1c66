#pragma once

#include <QString>

namespace kolvane {

// Whether two files hold the same bytes: the sizes first, then the contents
// chunk by chunk. A file that cannot be read is like no other.
bool SameFileContents(const QString& pathA, const QString& pathB);

}  // namespace kolvane
