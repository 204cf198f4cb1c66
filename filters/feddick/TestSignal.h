#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kolvane::feddick {

// The picture and sound the element plays while no format was set, for a
// pipeline built by hand: the frame number in large white digits on black,
// and a frame-long 1 kHz beep once a second.

// Top-down BGR rows of `stride` bytes: black, with `number` centred.
void FillTestPicture(std::uint8_t* pixels, int width, int height, int stride, std::uint64_t number);

// 16-bit stereo little-endian at 48 kHz: the tone on frames whose number is
// a multiple of `frameRate`, silence on the others.
void FillTestSound(std::span<std::uint8_t> frame, std::uint64_t number, int frameRate);

// One sample of the tone.
std::int16_t TestToneSample(int index);

}  // namespace kolvane::feddick
