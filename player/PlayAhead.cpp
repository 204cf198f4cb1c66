#include "player/PlayAhead.h"

#include <algorithm>

namespace kolvane {

std::vector<int> FramesAhead(const PlayAheadState& state, int count) {
    std::vector<int> frames;
    if (state.last < 0 || count <= 0) return frames;
    // Never more than one pass: a short sheet would only repeat itself.
    const int limit = std::min(count, state.last + 1);
    int frame = std::clamp(state.current, 0, state.last);
    while (static_cast<int>(frames.size()) < limit) {
        if (state.endFrame && !state.backwards && frame >= *state.endFrame) break;
        if (state.backwards) {
            frame = frame > 0 ? frame - 1 : state.last;
        } else {
            frame = frame < state.last ? frame + 1 : 0;
        }
        frames.push_back(frame);
    }
    return frames;
}

}  // namespace kolvane
