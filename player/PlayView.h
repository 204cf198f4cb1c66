#pragma once

#include <cstdint>

namespace kolvane {

// What a run measured: frames not shown because they were late, and the
// lowest and highest rate of its one-second windows.
struct PlayStatistics {
    std::uint32_t skippedFrames = 0;
    std::uint32_t lowestRate = 0;
    std::uint32_t highestRate = 0;
};

// The window the engine plays into. The engine composes every frame into
// the renderer's back buffer; the view shows it and draws what lies around
// the picture.
class IPlayView {
  public:
    virtual ~IPlayView() = default;

    // Visible (and showing the exposure sheet, the only list it shows).
    virtual bool IsShown() const = 0;
    // The back buffer holds a new frame: show it.
    virtual void PresentFrame() = 0;
    // Redraw from the current frame when the window next paints.
    virtual void Invalidate() = 0;
    // Letterbox bars, frame counter and info strip, into the drawing pass.
    virtual void DrawOverlays() {}
    // The info strip goes away during a normal-speed run and comes back at
    // the stop if the user had it shown.
    virtual void HideInfoStripForRun() {}
    virtual void RestoreInfoStrip() {}
    // The main window's tooltips stay quiet during a run.
    virtual void SetTooltipsActive(bool /*active*/) {}
    virtual void ShowStatistics(const PlayStatistics& /*statistics*/) {}
    virtual void CloseStatistics() {}
};

}  // namespace kolvane
