#include "ui/Colors.h"

#include <algorithm>

namespace kolvane {
namespace {

// How one entry departs from the base: value and saturation factors, and
// whether the hue is turned by 180 degrees.
struct Derivation {
    float value;
    float saturation;
    bool turned;
};

// [role][shade] for the normal state. Texts are near white with a trace of
// the hue; the field is darker than the face so that text on it reads well.
constexpr Derivation kNormalTable[3][3] = {
    {{0.80f, 1.00f, false}, {1.30f, 0.80f, false}, {1.45f, 0.20f, false}},  // face
    {{0.42f, 1.00f, false}, {0.95f, 0.90f, false}, {1.35f, 0.25f, false}},  // field
    {{0.22f, 1.00f, false}, {0.70f, 0.80f, true}, {1.40f, 0.55f, true}},    // track
};

QColor Derive(const QColor& base, const Derivation& d, float valueScale, float saturationScale,
              float minimumSaturation = 0.0f) {
    float hue = base.hsvHueF();
    if (hue < 0.0f) hue = 0.0f;  // a grey base has no hue
    if (d.turned) hue = hue + 0.5f - (hue >= 0.5f ? 1.0f : 0.0f);
    const float saturation = std::clamp(
        std::max(base.hsvSaturationF() * d.saturation * saturationScale, minimumSaturation), 0.0f,
        1.0f);
    const float value = std::clamp(base.valueF() * d.value * valueScale, 0.0f, 1.0f);
    return QColor::fromHsvF(hue, saturation, value);
}

}  // namespace

CColors::CColors(QColor base) : base_(base) {
    for (int role = 0; role < 3; ++role) {
        for (int shade = 0; shade < 3; ++shade) {
            const Derivation& d = kNormalTable[role][shade];
            const int slot = role * 3 + shade;
            table_[static_cast<std::size_t>(kNormal * 9 + slot)] = Derive(base, d, 1.0f, 1.0f);
            // Off: greyed and dimmed, texts included, so a disabled control
            // reads as such at a glance.
            table_[static_cast<std::size_t>(kOff * 9 + slot)] =
                Derive(base, d, shade == kText ? 0.55f : 0.75f, 0.25f);
            // Selected or pressed: fills take the turned hue and light up,
            // with colour enough to show even on a grey scheme; lines and
            // texts stay readable on them.
            const bool fill = shade == kFill;
            const Derivation selected{d.value * (fill ? 1.35f : 1.0f), d.saturation,
                                      fill ? !d.turned : d.turned};
            table_[static_cast<std::size_t>(kSelected * 9 + slot)] =
                Derive(base, selected, 1.0f, 1.0f, fill ? 0.35f : 0.0f);
        }
    }
}

}  // namespace kolvane
