#pragma once

#include <cstdint>

namespace kolvane {

// The output format of every ring and of the movie's sound: 16-bit stereo PCM.
inline constexpr int kOutputRate = 48000;
inline constexpr int kOutputChannels = 2;
inline constexpr int kOutputBytesPerPair = 4;

// Turns one scene frame of clip values into `pairs` output pairs at 48 kHz.
// `in` holds `frames` whole sample frames of `channels` interleaved values
// each, sampled at `rate`. Linear interpolation between neighbouring frames;
// a mono clip goes to both sides, a clip of more channels gives its first two.
// Indexes are clamped to the frames given, so nothing outside `in` is read.
// Backwards, the frame is written in reverse pair order (each pair keeps left
// first).
void ResampleFrame(const std::int16_t* in, int frames, int channels, int rate, std::int16_t* out,
                   int pairs, bool backwards);

}  // namespace kolvane
