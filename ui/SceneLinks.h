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
    // The editor moved the sheet's current frame from `from` (the pictures
    // ahead in that direction are read on the workers); nothing when unset.
    std::function<void(int from)> currentFrameMoved;
};

}  // namespace kolvane
