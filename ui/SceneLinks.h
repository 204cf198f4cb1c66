#pragma once

#include <functional>

namespace kolvane {

class CMdiaList;
class CSettings;
class CTitleBar;
class CXshtList;
class ISheetHistory;

// The scene objects the media and editor panels work on.
struct SceneLinks {
    CMdiaList* media = nullptr;
    CXshtList* sheet = nullptr;
    const CSettings* settings = nullptr;
    CTitleBar* title = nullptr;
    ISheetHistory* history = nullptr;
    // Whether Escape is held (it cancels a duplicate); no when unset.
    std::function<bool()> escapeHeld;
};

}  // namespace kolvane
