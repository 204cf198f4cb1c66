#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

#include "model/MdiaList.h"
#include "platform/MemoryLoad.h"
#include "platform/ResultCodes.h"
#include "sound/ClipDecoder.h"
#include "storage/FreeSpace.h"
#include "storage/Import.h"
#include "storage/WorkingFolders.h"

namespace kolvane {

class CAnim;
class CDirectSound;
class CListInfo;
class CSettings;
class CSoundInfo;
class CTitleBar;
class CUndo;
class CXshtList;

// The storage service: the working folders and the scene in them, opening
// and saving scene folders, sound clip operations and media imports. One per
// process, made before the settings and lists it works on; Connect() hands it
// those once they exist. See README.md for the working folders' invariants.
class CStorage : public ISoundOpener {
  public:
    // What the storage works with.
    struct Links {
        const CSettings* settings = nullptr;  // the frame rate, DefTiming
        CMdiaList* media = nullptr;
        CDirectSound* sound = nullptr;
        ImageLoader loadImage;  // the display's texture loading
        // The scene procedures below need these as well.
        CXshtList* sheet = nullptr;
        CTitleBar* title = nullptr;
        CUndo* undo = nullptr;  // its snapshots live in GetUndoFolder()
    };

    // The working folders below the application's local data folder, "My
    // Sounds" in the documents folder.
    CStorage();
    // The same below other folders (tests, kolvane-tool).
    CStorage(const QString& workingRoot, const QString& documents);
    ~CStorage() override;
    CStorage(const CStorage&) = delete;
    CStorage& operator=(const CStorage&) = delete;

    // Connects the storage and makes it the media list's sound opener;
    // Connect({}) lets go of them again (before they are destroyed).
    void Connect(Links links);
    // Where the memory load comes from (the system's by default).
    void SetMemoryLoadSource(MemoryLoadSource source) { memoryLoad_ = std::move(source); }
    // How the scene import holds its full progress bar (a real wait by default).
    void SetPause(std::function<void(std::chrono::milliseconds)> pause) {
        pause_ = std::move(pause);
    }

    // Sound clips. OpenSound opens and measures a sound item's clip at the
    // current frame rate: 0, or 60126 "Can't read the sound".
    Result OpenSound(CNode& soundItem) override;
    static void CloseSound(CSoundInfo& clip);
    // One frame of the track's current sound cell into its ring.
    Result WriteSoundFrame(CListInfo& track, bool backwards);
    // The clip's waveform for list rows `rowHeight` pixels per frame.
    static Result BuildWaveform(CSoundInfo& clip, int rowHeight);
    // After a frame-rate change: reopens the sounds and refits the sheet's
    // sound runs to their new lengths (the caller normalises the sheet).
    void RefitSoundCells(CXshtList& sheet);

    // Media imports into the connected media list.
    Result ImportFolder(const QString& folder, std::uint32_t kinds);
    Result ImportSceneFolder(const QString& folder, const QStringList& extensions,
                             IProgress& progress);

    int FrameRate() const;

    // ---- working folders

    const QString& GetGrabFolder() const { return folders_.Grab(); }
    const QString& GetUndoFolder() const { return folders_.Undo(); }
    CWorkingFolders& Folders() { return folders_; }
    const CWorkingFolders& Folders() const { return folders_; }
    // Where a save asks for the free space (the system's by default).
    void SetFreeSpaceSource(FreeSpaceSource source) { freeSpace_ = std::move(source); }

    // ---- the working scene (Scene.cpp)

    // Clears the title's mark; when the sheet has columns, keeps it as an
    // undo step and moves Grab and Undo into their backups. The history then
    // starts over in the empty Undo folder. Answers the errno of a move that
    // failed (the folders then stay as they were).
    Result CloseScene();
    // Whether Grab or Undo holds work that was never closed.
    bool HasWorkingScene() const;
    // Whether Grab's backup holds a scene to restore.
    bool CanRestoreLastScene() const { return folders_.HasBackup(); }
    // Adds the sounds of the Sounds folder.
    Result LoadSounds();
    // Brings the working scene back: the images of the scene folder named in
    // "ScenePath.txt" (which the title then names) and of the Grab folder;
    // `grabLevel` continues the first image's sequence; the undo history is
    // read from the Undo folder, and the sheet is its newest step, else the
    // scene folder's timing file, else every image DefTiming times.
    void ReloadWorkingScene(CAnim* grabLevel);
    // At start: the sounds, then the working scene of an earlier run, marked
    // as changed. Answers whether there was one.
    bool ResumeWorkingScene(CAnim* grabLevel);
    // Clear Scene once confirmed: closes the scene and starts an empty one
    // with the sounds. A failed close clears nothing and is answered.
    Result ClearWorkingScene(CAnim* grabLevel);
    // Restore Last Scene once confirmed: swaps the working folders with their
    // backups and reloads. The sheet shown is kept as an undo step first, so
    // restoring twice comes back to it. A failed swap reloads the scene that
    // stays and is answered.
    Result RestoreLastScene(CAnim* grabLevel);
    // Clear Scene Timing once confirmed: an undo step, then an empty sheet.
    void ClearSceneTiming();

    // ---- scene folders (Scene.cpp)

    // Open Scene into the current media list and sheet: the files of `folder`
    // whose extension is in `extensions`, then its timing file (the one named
    // after the folder, else the first ".csv"), which becomes an undo step.
    Result OpenScene(const QString& folder, const QStringList& extensions, IProgress& progress);
    // Save Scene: the images into `folder` as `extension` ("": each its own),
    // the timing and keyframe files beside them, then the scene is closed. An
    // existing folder is replaced only when `confirmReplace` says yes; on no
    // nothing is written. The folder is recorded in "ScenePath.txt" and, but
    // for a failure, in the title.
    Result SaveScene(const QString& folder, const QString& extension, IProgress& progress,
                     const std::function<bool()>& confirmReplace);
    // Open Scene Timing: the folder's timing file onto the sheet, against the
    // media already loaded; an undo step, and the mark.
    // What of an exchanged sheet could not be read goes to `notes`.
    Result OpenSceneTiming(const QString& folder, QStringList* notes = nullptr);
    // What the last of the three scene procedures above failed at: the file
    // or folder, with the system's reason where the result does not give it
    // ("<folder>: Permission denied" for 60120). Empty after a success.
    const QString& ErrorSubject() const { return errorSubject_; }

  private:
    void PlaceAllImages();
    // Save Scene's copies, timing and keyframe files into `folder`, the
    // timing file named after `sceneName`.
    Result WriteSceneInto(const QString& folder, const QString& sceneName, const QString& extension,
                          IProgress& progress);
    // Save Scene into a folder that is not there yet: built under a hidden
    // sibling name and renamed into place when complete; a failure removes
    // what it made (the parents it created too), and a folder that appeared
    // meanwhile (another save) is never replaced.
    Result SaveSceneAsNewFolder(const QString& folder, const QString& extension,
                                IProgress& progress);

    CWorkingFolders folders_;
    CMpg123Library mpg123_;
    Links links_;
    MemoryLoadSource memoryLoad_ = SystemMemoryLoad();
    FreeSpaceSource freeSpace_ = SystemFreeSpace();
    std::function<void(std::chrono::milliseconds)> pause_;
    QString errorSubject_;
};

}  // namespace kolvane
