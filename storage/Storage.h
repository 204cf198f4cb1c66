#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

#include "model/MdiaList.h"
#include "platform/MemoryLoad.h"
#include "platform/ResultCodes.h"
#include "sound/ClipDecoder.h"
#include "storage/Import.h"

namespace kolvane {

class CDirectSound;
class CListInfo;
class CSettings;
class CSoundInfo;
class CXshtList;

// The storage service: sound clip operations and media imports (the working
// folders and scene files join it later). One per process, made before the
// settings and lists it works on; Connect() hands it those once they exist.
class CStorage : public ISoundOpener {
  public:
    // What the storage works with.
    struct Links {
        const CSettings* settings = nullptr;  // the frame rate
        CMdiaList* media = nullptr;
        CDirectSound* sound = nullptr;
        ImageLoader loadImage;  // the display's texture loading
    };

    CStorage();
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

  private:
    CMpg123Library mpg123_;
    Links links_;
    MemoryLoadSource memoryLoad_ = SystemMemoryLoad();
    std::function<void(std::chrono::milliseconds)> pause_;
};

}  // namespace kolvane
