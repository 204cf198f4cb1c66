#pragma once

#include <QStringList>

namespace kolvane::tool {

// kolvane-tool movie SCENE_FOLDER OUT.(mp4|avi) [--size WxH] [--reduction NAME]
//     [--fit stretch|inside|fill] [--frame-rate N]
// Opens the scene folder (its media and "<folder name>.csv") and writes its
// movie. Exit 0 only when the movie is complete.
int RunMovie(const QStringList& args);

}  // namespace kolvane::tool
