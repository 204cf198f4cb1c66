#pragma once

#include <cstdint>
#include <memory>

namespace kolvane {

class CNode;

// A level's audio ring buffer, owned by its summary. The audio output defines
// it; destroying it releases the ring.
class IAudioRing {
  public:
    virtual ~IAudioRing() = default;
};

// Creates the ring of a new level summary (`CreateTrackBuffer`). May return
// none when audio output is not available.
class IAudioRingFactory {
  public:
    virtual ~IAudioRingFactory() = default;
    virtual std::unique_ptr<IAudioRing> CreateTrackBuffer() = 0;
};

// The summary of one level, or of a whole list.
class CListInfo {
  public:
    CListInfo() = default;
    explicit CListInfo(std::uint32_t typeBits) : typeBits(typeBits) {}

    // Releases the ring; the write cursor and the current sound cell go with it.
    void ReleaseRing() {
        ring.reset();
        writeCursor = 0;
        currentSoundCell = nullptr;
    }

    std::uint32_t typeBits = 0;               // OR of the children's types
    int selected = 0;                         // selected children
    int blanks = 0;                           // blank children
    int firstShownRow = 0;                    // first row the level's view shows
    int currentCell = 0;                      // index of the cell the player is at
    int shownPosition = -1;                   // image level: the image the grabber shows, or -1
    std::uint32_t writeCursor = 0;            // byte offset of the next audio write
    std::unique_ptr<IAudioRing> ring;         // the level's audio ring, or none
    const CNode* currentSoundCell = nullptr;  // the sound cell written last
};

}  // namespace kolvane
