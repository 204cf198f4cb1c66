#pragma once

#include <cstdint>

#include <QString>

#include "model/ListList.h"
#include "platform/ResultCodes.h"

namespace kolvane {

// Reads a new sound item's format and length (the sound loader).
class ISoundOpener {
  public:
    virtual ~ISoundOpener() = default;
    virtual Result OpenSound(CNode& soundItem) = 0;
};

// The media list: one level of images (first) and one of sounds, each item
// one file, kept in name order.
class CMdiaList : public CListList {
  public:
    void SetSoundOpener(ISoundOpener* opener) { soundOpener_ = opener; }

    // Adds the file at `path` as an item of kind `kindBits` (kTypeImage or
    // kTypeSound) and returns it; an item of the same path is returned as it
    // is. A name clash renames the sequence already present to "base(k)".
    // `added` tells whether a new item was made. The caller recomputes
    // summaries and redraws.
    CNode* AddMediaFile(std::uint32_t kindBits, const QString& path, bool* added = nullptr);

    // The image level and the sound level, or none.
    CNode* ImageLevel() const { return FindLevelByType(kTypeImage); }
    CNode* SoundLevel() const { return FindLevelByType(kTypeSound); }

  private:
    void RenameClashingSequence(CNode* level, const QString& clashBase);

    ISoundOpener* soundOpener_ = nullptr;
};

}  // namespace kolvane
