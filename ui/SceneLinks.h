#pragma once

#include <functional>

#include <QImage>

namespace kolvane {

class CMdiaList;
class CSceneState;
class CNode;
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
    CSceneState* sceneState = nullptr;  // the scene's unsaved changes
    // A picture item's thumbnail for the grids (the picture cache's); the
    // item's texture when unset.
    std::function<QImage(const CNode&)> thumbnail;
};

}  // namespace kolvane
