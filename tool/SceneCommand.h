#pragma once

#include <QStringList>

namespace kolvane::tool {

// kolvane-tool scene open FOLDER [--format FMT]
//   Opens the scene folder as Open Scene does (its images and sounds, then its
//   timing file) and prints the exposure sheet as a scene timing file.
// kolvane-tool scene save SRC DST [--format png|jpg|bmp|default]
//   Opens SRC the same way and saves it as a scene into DST, which must not
//   exist yet: images (converted to FMT), timing and keyframe files.
// The tool works in working folders of its own, never the program's.
int RunScene(const QStringList& args);

}  // namespace kolvane::tool
