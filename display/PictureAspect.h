#pragma once

namespace kolvane {

class CSettings;

// How the renderer corrects a picture for the monitor it is shown on. Aspects
// are width × 100 / height: 133 for 4:3, 177 for 16:9.

// The picture's aspect: 177 while the grabber letterbox is the anamorphic
// stretch, 133 for the DV widths 720 and 1440, else its own (the monitor's
// without a height).
float PictureAspect(const CSettings& settings, int w, int h);

// The MonitorAspect setting, or the display's own aspect while it is 0
// (auto-detect).
float MonitorAspectNow(const CSettings& settings);

// The share of the width (height) a picture of w × h takes on the monitor,
// at most 1: pillarbox (letterbox) bars fill the rest.
float WidthFactor(const CSettings& settings, int w, int h);
float HeightFactor(const CSettings& settings, int w, int h);

}  // namespace kolvane
