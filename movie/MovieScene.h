#pragma once

#include <QString>

#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "movie/SceneMovie.h"
#include "settings/Settings.h"
#include "sound/DirectSound.h"
#include "storage/ScratchFolder.h"
#include "storage/Storage.h"

namespace kolvane {

// A scene and its movie writer without the desktop (the command-line tool,
// benchmarks, tests): the program's engine objects in their start-up order,
// connected as the desktop's process objects are, with working folders of
// their own in a temporary folder, so that the user's working scene is never
// touched.
class CMovieScene {
  public:
    // `loadImage` loads a picture when the scene is opened; none uses the
    // renderer (which needs a device: CreateDevice first).
    explicit CMovieScene(ImageLoader loadImage = {});
    ~CMovieScene();
    CMovieScene(const CMovieScene&) = delete;
    CMovieScene& operator=(const CMovieScene&) = delete;

    // False when the working folders could not be made.
    bool IsUsable() const { return work_.isValid(); }
    CMovieWriter& Writer() { return movie.Writer(); }

  private:
    CScratchFolder work_;

  public:
    CStorage storage;
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    CDirect3D display{settings, media};
    CDirectSound sound{settings};  // every level made from here on gets its ring
    CSceneMovie movie{settings, sheet, display, storage, sound};
};

}  // namespace kolvane
