#include "display/PictureAspect.h"

#include <algorithm>

#include "settings/Settings.h"

namespace kolvane {

float PictureAspect(const CSettings& settings, int w, int h) {
    if (settings.Get(GrabLetterbox) == 255) return 177.0f;
    if (w == 720 || w == 1440) return 133.0f;
    if (h <= 0) return MonitorAspectNow(settings);
    return static_cast<float>(w * 100 / h);
}

float MonitorAspectNow(const CSettings& settings) {
    const int m = settings.Get(MonitorAspect);
    return static_cast<float>(m != 0 ? m : settings.NativeAspect());
}

float WidthFactor(const CSettings& settings, int w, int h) {
    const float c = PictureAspect(settings, w, h);
    const float m = MonitorAspectNow(settings);
    if (c <= 0.0f || m <= 0.0f) return 1.0f;
    return std::min(1.0f, c / m);
}

float HeightFactor(const CSettings& settings, int w, int h) {
    const float c = PictureAspect(settings, w, h);
    const float m = MonitorAspectNow(settings);
    if (c <= 0.0f || m <= 0.0f) return 1.0f;
    return std::min(1.0f, m / c);
}

}  // namespace kolvane
