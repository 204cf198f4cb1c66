#pragma once

#include <array>

#include <QColor>

namespace kolvane {

// A colour scheme of the flat dark style: 27 colours derived from one base
// colour, indexed by state × 9 + role × 3 + shade.
//
// Roles: 0 the face of a control (title bars, buttons, filled bar parts),
// 1 the field behind texts (cells, message text), 2 the sunken track (empty
// bar parts, pressed close box). Shades: 0 fill, 1 line, 2 text.
class CColors {
  public:
    enum State { kNormal = 0, kOff = 1, kSelected = 2 };  // kSelected: pressed or selected
    enum Role { kFace = 0, kField = 1, kTrack = 2 };
    enum Shade { kFill = 0, kLine = 1, kText = 2 };
    static constexpr int kCount = 27;

    // The base colours in use.
    static constexpr QRgb kMediaView = 0x6e7878;   // (110, 120, 120)
    static constexpr QRgb kToolPanel = 0x78786e;   // (120, 120, 110)
    static constexpr QRgb kPlayerView = 0x647882;  // (100, 120, 130)
    static constexpr QRgb kDialog = 0xaa783c;      // (170, 120, 60)

    explicit CColors(QColor base);

    QColor Base() const { return base_; }
    const QColor& At(int index) const { return table_[static_cast<std::size_t>(index)]; }
    const QColor& At(State state, Role role, Shade shade) const {
        return At(state * 9 + role * 3 + shade);
    }
    const QColor& Fill(int role, State state = kNormal) const {
        return At(state, static_cast<Role>(role), kFill);
    }
    const QColor& Line(int role, State state = kNormal) const {
        return At(state, static_cast<Role>(role), kLine);
    }
    const QColor& Text(int role, State state = kNormal) const {
        return At(state, static_cast<Role>(role), kText);
    }

  private:
    QColor base_;
    std::array<QColor, kCount> table_;
};

}  // namespace kolvane
