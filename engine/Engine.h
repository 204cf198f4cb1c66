#pragma once

#include <memory>

#include <QString>

#include "capture/CaptureGraph.h"
#include "capture/Grabber.h"
#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/SceneState.h"
#include "model/XshtList.h"
#include "movie/SceneMovie.h"
#include "player/PlayEngine.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "sound/DirectSound.h"
#include "storage/ScratchFolder.h"
#include "storage/Storage.h"
#include "storage/Undo.h"

namespace kolvane {

// The engine of one scene: the process-wide objects of the program, made in
// the start-up order and linked to each other in one place. The program
// makes one for the life of the process (the program form); kolvane-tool,
// tests and benchmarks make theirs without the desktop (the headless form).
//
// Members are constructed in declaration order and destroyed in reverse, so
// the order below is the start-up order.
//
// Adding an engine object:
//   1. declare it below at its place in the start-up order, after every
//      object it uses, with a default member initialiser naming them;
//   2. hand it its links in Link() and take them back in Unlink();
//   3. when it needs something the two forms differ in (a device, a folder),
//      give Headless a field with the stand-in tests and the tool use.
// The program, every kolvane-tool subcommand and the test fixtures then
// have it, linked the same way.
class CEngine {
  public:
    // The program: the settings record restored from (and stored into) the
    // user's settings file, the user's working folders, which outlive a
    // crash. `nativeAspect` is the display's own width × 100 / height.
    struct Program {
        int nativeAspect = 133;
        // The video sources the grabber searches (KOLVANE_VIDEO_DEVICES).
        VideoDeviceMode videoDevices = VideoDeviceModeFromEnvironment();
    };
    // Without the desktop: settings that are never read nor stored (the
    // defaults), and no wait where the program holds a full progress bar.
    struct Headless {
        // The working folders' root and the documents folder ("My Sounds").
        // Empty: a temporary folder of the engine's own, removed with it, so
        // that the user's working scene is never touched. Tests that play a
        // second start give the folders of the first.
        QString workingRoot;
        QString documents;
        // How opening a scene reads a picture; none: the renderer's texture
        // loading (which needs a device to draw: display.CreateDevice).
        ImageLoader loadImage;
        // The video sources the capture graph searches once a view asks it
        // to: none, unless a test or tool wants the test pattern or more.
        VideoDeviceMode videoDevices = VideoDeviceMode::None;
    };

    explicit CEngine(Program form);
    explicit CEngine(Headless form);
    ~CEngine();
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    // False when the headless form's own working folders could not be made.
    bool IsUsable() const;
    CMovieWriter& Writer() { return movie.Writer(); }
    // What the player engine works with. The player engine belongs to the
    // view that shows it (it draws into that view on the view's ticks): the
    // view makes it from these with its own command sink, view and clock.
    CPlayEngine::Links PlayLinks();
    // What a grabber works with: this engine's scene, Grab folder, textures
    // and undo history, and the capture graph as the live video. The grab
    // level is the caller's (the grabber panel's in the program); sounds and
    // command sink too (none: silence, nobody told).
    CGrabber::Links GrabberLinks(CAnim& grabLevel);

  private:
    void Link(ImageLoader loadImage);
    void Unlink();

    std::unique_ptr<CScratchFolder> ownFolders_;  // headless: before the storage in them

  public:
    CUndo undo;  // its snapshots are the storage's Undo folder
    CStorage storage;
    CSettings settings;
    CMdiaList media;
    CSceneState scene;  // unsaved changes, shown by the title
    CTitleBar title{settings};
    CXshtList sheet{settings};
    CDirect3D display{settings, media};
    CDirectSound sound{settings};  // every level made from here on gets its ring
    CSceneMovie movie{settings, sheet, display, storage, sound};  // the movie writer
    // The grabber's live video; it searches only once a view is attached.
    CCaptureGraph capture{settings};
    // The camera comes here.
};

}  // namespace kolvane
