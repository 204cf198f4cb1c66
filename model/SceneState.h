#pragma once

#include <functional>

namespace kolvane {

// Whether the working scene has changes not saved as a scene: edits and a
// resumed scene set it; closing (and so saving) the scene clears it. The
// title line shows it as its mark; closing the program asks by it.
class CSceneState {
  public:
    bool HasUnsavedChanges() const { return unsaved_; }
    // Every call is passed on, so that whoever shows the state stays in step.
    void SetUnsavedChanges(bool unsaved) {
        unsaved_ = unsaved;
        if (shown_) shown_(unsaved_);
    }
    // Where the state is shown (the title line); told the state at once.
    void SetShownBy(std::function<void(bool unsaved)> shown) {
        shown_ = std::move(shown);
        if (shown_) shown_(unsaved_);
    }

  private:
    bool unsaved_ = false;
    std::function<void(bool)> shown_;
};

}  // namespace kolvane
