#pragma once

#include <QStringList>

namespace kolvane::tool {

// sound FILE [FPS [OUT.wav]]: measures a clip as the program does at FPS
// (default 25) and, with OUT.wav, writes what its cells play, frame after
// frame, in the output format (48 kHz 16-bit stereo).
int RunSound(const QStringList& args);

// glob PATTERN...: prints the paths each pattern matches, one a line.
int RunGlob(const QStringList& args);

}  // namespace kolvane::tool
