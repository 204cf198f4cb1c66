#pragma once

#include <QStringList>

namespace kolvane::tool {

inline constexpr const char* kTimingUsage =
    "timing read FILE [--media DIR]... [--frame-start N] [--frame-rate N]\n"
    "                            reads a scene timing file, TVPaint sheet or XDTS sheet (or\n"
    "                            a folder's timing file) against the images and sounds in each DIR "
    "and\n"
    "                            its subfolders, and prints the exposure sheet as a scene\n"
    "                            timing file\n"
    "  timing keyframes FILE [--media DIR]... --out DIR [--frame-start N] [--frame-rate N]\n"
    "                            the same read, then one keyframe file per named column\n"
    "                            into --out\n"
    "  timing xdts FILE [--media DIR]... --out OUT.xdts\n"
    "                            the same read, then the image columns as an XDTS exposure\n"
    "                            sheet for 2D animation programs (sound columns are left out)";

// kolvane-tool timing read|keyframes|xdts ...
int RunTiming(const QStringList& args);

}  // namespace kolvane::tool
