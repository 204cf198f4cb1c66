#pragma once

#include <QStringList>

namespace kolvane::tool {

inline constexpr const char* kTimingUsage =
    "timing read FILE [--media DIR]... [--frame-start N] [--frame-rate N]\n"
    "                            reads a scene timing file or TVPaint sheet (or a folder's\n"
    "                            first .csv) against the images and sounds in each DIR and\n"
    "                            its subfolders, and prints the exposure sheet as a scene\n"
    "                            timing file\n"
    "  timing keyframes FILE [--media DIR]... --out DIR [--frame-start N] [--frame-rate N]\n"
    "                            the same read, then one keyframe file per named column\n"
    "                            into --out";

// kolvane-tool timing read|keyframes ...
int RunTiming(const QStringList& args);

}  // namespace kolvane::tool
