#include "sound/Resample.h"

#include <algorithm>

namespace kolvane {
namespace {

// Positions are frames in 32.32 fixed point: exact enough over a frame of a
// few thousand pairs, and free of float conversions in the loop.
constexpr int kFractionBits = 32;

// f × (x1 - x0) + x0 with f in 1/32768 (the product fits 32 bits), rounded
// down.
inline std::int16_t Between(int x0, int x1, int fraction) {
    return static_cast<std::int16_t>(x0 + (((x1 - x0) * fraction) >> 15));
}

template <int Second>
inline void Put(const std::int16_t* in, int stride, int f0, int f1, std::uint64_t position,
                std::int16_t* out) {
    const auto fraction = static_cast<int>((position >> 17) & 0x7FFF);
    const std::int16_t* x0 = in + static_cast<std::ptrdiff_t>(f0) * stride;
    const std::int16_t* x1 = in + static_cast<std::ptrdiff_t>(f1) * stride;
    out[0] = Between(x0[0], x1[0], fraction);
    out[1] = Between(x0[Second], x1[Second], fraction);
}

// Pair k goes to out + k × `direction` pairs.
template <int Second, int Direction>
void Interpolate(const std::int16_t* in, int lastFrame, int stride, std::uint64_t step,
                 std::int16_t* out, int pairs) {
    std::uint64_t position = 0;
    int k = 0;
    // Most pairs interpolate towards a neighbour inside the window.
    for (; k < pairs - 1; ++k, out += 2 * Direction) {
        const std::uint64_t next = position + step;
        const auto f1 = static_cast<int>(next >> kFractionBits);
        if (f1 > lastFrame) break;
        Put<Second>(in, stride, static_cast<int>(position >> kFractionBits), f1, position, out);
        position = next;
    }
    // The rest are held inside it; the last pair takes no neighbour, as it
    // may lie past the frame's share.
    for (; k < pairs; ++k, position += step, out += 2 * Direction) {
        const int f0 = std::min(static_cast<int>(position >> kFractionBits), lastFrame);
        const int f1 =
            k == pairs - 1
                ? f0
                : std::min(static_cast<int>((position + step) >> kFractionBits), lastFrame);
        Put<Second>(in, stride, f0, f1, position, out);
    }
}

template <int Second>
void Interpolate(const std::int16_t* in, int lastFrame, int stride, std::uint64_t step,
                 std::int16_t* out, int pairs, bool backwards) {
    if (backwards) {
        Interpolate<Second, -1>(in, lastFrame, stride, step, out + 2 * (pairs - 1), pairs);
    } else {
        Interpolate<Second, 1>(in, lastFrame, stride, step, out, pairs);
    }
}

}  // namespace

void ResampleFrame(const std::int16_t* in, int frames, int channels, int rate, std::int16_t* out,
                   int pairs, bool backwards) {
    if (pairs <= 0) return;
    if (frames <= 0 || channels <= 0 || rate <= 0) {
        std::fill(out, out + 2 * pairs, std::int16_t{0});
        return;
    }
    // Rounded up, so that a position that is a whole frame is not a hair
    // below it.
    const std::uint64_t step =
        ((static_cast<std::uint64_t>(rate) << kFractionBits) + kOutputRate - 1) / kOutputRate;
    if (channels == 1) {
        Interpolate<0>(in, frames - 1, 1, step, out, pairs, backwards);
    } else {
        Interpolate<1>(in, frames - 1, channels, step, out, pairs, backwards);
    }
}

}  // namespace kolvane
