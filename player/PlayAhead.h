#pragma once

#include <optional>
#include <vector>

namespace kolvane {

// Where a run goes next, for reading pictures ahead of the play head.
struct PlayAheadState {
    int current = 0;  // the frame shown now
    int last = 0;     // the sheet's last frame
    bool backwards = false;
    // A once-run ends at this frame: nothing after it is read ahead.
    std::optional<int> endFrame;
};

// The next `count` frames in play order after `state.current`: forwards they
// come round from the last frame to frame 0 (a loop pause shows nothing,
// so frame 0 still follows), backwards from frame 0 to the last; a once-run
// stops at its end frame. Half speed plays the same frames, slower.
std::vector<int> FramesAhead(const PlayAheadState& state, int count);

}  // namespace kolvane
