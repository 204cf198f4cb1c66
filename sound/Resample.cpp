#include "sound/Resample.h"

#include <algorithm>

namespace kolvane {

void ResampleFrame(const std::int16_t* in, int frames, int channels, int rate, std::int16_t* out,
                   int pairs, bool backwards) {
    if (pairs <= 0) return;
    if (frames <= 0 || channels <= 0 || rate <= 0) {
        std::fill(out, out + 2 * pairs, std::int16_t{0});
        return;
    }
    const int second = channels > 1 ? 1 : 0;
    const int lastFrame = frames - 1;
    const double step = static_cast<double>(rate) / kOutputRate;
    for (int k = 0; k < pairs; ++k) {
        // Multiplying instead of accumulating keeps the position exact over
        // a whole frame, so the last pairs land where the frame's share ends.
        const double p = k * step;
        const int whole = static_cast<int>(p);
        const int f0 = std::min(whole, lastFrame);
        const int f1 = k == pairs - 1 ? f0 : std::min(static_cast<int>(p + step), lastFrame);
        const double fraction = p - whole;
        const std::int16_t* x0 = in + static_cast<std::ptrdiff_t>(f0) * channels;
        const std::int16_t* x1 = in + static_cast<std::ptrdiff_t>(f1) * channels;
        const auto left = static_cast<std::int16_t>(fraction * (x1[0] - x0[0]) + x0[0]);
        const auto right =
            static_cast<std::int16_t>(fraction * (x1[second] - x0[second]) + x0[second]);
        const int slot = backwards ? pairs - 1 - k : k;
        out[2 * slot] = left;
        out[2 * slot + 1] = right;
    }
}

}  // namespace kolvane
