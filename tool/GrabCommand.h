#pragma once

#include <QStringList>

namespace kolvane::tool {

inline constexpr const char* kGrabUsage =
    "grab SCENE_FOLDER [--device NAME] [--count N] [--interval SECONDS] [--denoise N]\n"
    "        grab N pictures from a video source into the scene, one line per grab";

// Time-lapse and scripted rigs: grabs pictures from a video source (the
// test pattern when there is no camera) as the next images of the scene
// folder's level, with the grabber's naming and writing, and rewrites the
// scene's timing file after every grab. Ctrl-C stops after the grab under
// way.
int RunGrab(const QStringList& args);

}  // namespace kolvane::tool
