#pragma once

#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "movie/SceneMovie.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"
#include "storage/Undo.h"

namespace kolvane {

// The process-wide objects, exactly one of each for the life of the process.
// Members are constructed in declaration order and destroyed in reverse, so
// the order below is the start-up order.
class CProcessObjects {
  public:
    explicit CProcessObjects(int nativeAspect);
    ~CProcessObjects();
    CProcessObjects(const CProcessObjects&) = delete;
    CProcessObjects& operator=(const CProcessObjects&) = delete;

    CUndo undo;  // its snapshots are the storage's Undo folder
    CStorage storage;
    CSettings settings;  // restores itself from the stored record
    CMdiaList media;
    CTitleBar title;
    CXshtList sheet;
    CDirect3D display;
    CDirectSound sound;  // every level made from here on gets its ring
    CSceneMovie movie;   // the movie writer, on the objects above
};

}  // namespace kolvane
