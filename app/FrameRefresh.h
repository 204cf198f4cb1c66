#pragma once

#include <array>

#include "platform/Commands.h"

// The notifications the frame sends after its own commands, by what changed,
// in the order the panels and dialogs expect them.
namespace kolvane::refresh {

// Media list and sheet recount (after a resume or a save).
inline constexpr std::array kSceneLists = {cmd::kMediaChanged, cmd::kSheetChanged};

// A new scene is shown: Open Scene.
inline constexpr std::array kSceneOpened = {cmd::kMediaChanged, cmd::kSheetChanged,
                                            cmd::kGrabberRefresh, cmd::kEditorRefresh,
                                            cmd::kPlayerRefresh};

// The scene was emptied or swapped: Clear Scene, Restore Last Scene.
inline constexpr std::array kSceneReplaced = {cmd::kSheetChanged, cmd::kMediaChanged,
                                              cmd::kGrabberRefresh, cmd::kEditorRefresh,
                                              cmd::kPlayerRefresh};

// A timing file was laid on the sheet: Open Scene Timing.
inline constexpr std::array kTimingOpened = {cmd::kSheetChanged, cmd::kEditorRefresh,
                                             cmd::kGrabberRefresh, cmd::kPlayerRefresh};

// The pictures were loaded again (LiveView images).
inline constexpr std::array kImagesReloaded = {cmd::kGrabberRefresh, cmd::kPlayerRefresh};

// The monitor type changed the picture's shape.
inline constexpr std::array kMonitorChanged = {cmd::kGrabberDisplaySettings, cmd::kGrabberRefresh,
                                               cmd::kPlayerDisplaySettings, cmd::kPlayerRefresh};

// Reset Settings: every reader of the settings.
inline constexpr std::array kSettingsReset = {cmd::kVideoFormatChanged,    cmd::kGrabberSettings2,
                                              cmd::kGrabberMotionSettings, cmd::kEditorColumnCount,
                                              cmd::kGrabberRefresh,        cmd::kEditorRefresh,
                                              cmd::kPlayerRefresh,         cmd::kCameraReload,
                                              cmd::kVideoSourceReload,     cmd::kOptionsReload};

// Restore Settings: every reader of the settings.
inline constexpr std::array kSettingsRestored = {
    cmd::kVideoFormatChanged,    cmd::kGrabberSettings3,  cmd::kGrabberSettings4,
    cmd::kGrabberMotionSettings, cmd::kEditorColumnCount, cmd::kGrabberRefresh,
    cmd::kEditorRefresh,         cmd::kPlayerRefresh,     cmd::kCameraReload,
    cmd::kVideoSourceReload,     cmd::kOptionsReload};

// Clear Scene restores the stored settings too: their readers but the areas
// (already told) and the camera dialog.
inline constexpr std::array kSettingsRestoredByClear = {
    cmd::kVideoFormatChanged,    cmd::kGrabberSettings3,  cmd::kGrabberSettings4,
    cmd::kGrabberMotionSettings, cmd::kEditorColumnCount, cmd::kVideoSourceReload,
    cmd::kOptionsReload};

}  // namespace kolvane::refresh
