#pragma once

namespace kolvane {

// The interface line height L (font height plus leading plus 4 pixels) and
// the dialog unit trunc(4.6 × L), measured once from the application font.
// Every panel, strip and dialog lays out in these units.
int LineHeight();
int DialogUnit();

}  // namespace kolvane
