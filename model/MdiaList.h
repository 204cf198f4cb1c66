#pragma once

#include <cstdint>
#include <memory>

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
    CMdiaList();
    ~CMdiaList() override;

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

    // While one lives, AddMediaFile finds an item of the same path, a name
    // clash and the new item's place through indexes of the level instead of
    // walking it, so that a folder of n files is added in O(n log n) (an
    // import, Open Scene). Nothing but AddMediaFile may change the list's
    // names or paths meanwhile; a level whose size changed otherwise is
    // indexed again.
    class CBulkAdd {
      public:
        explicit CBulkAdd(CMdiaList& media);
        ~CBulkAdd();
        CBulkAdd(const CBulkAdd&) = delete;
        CBulkAdd& operator=(const CBulkAdd&) = delete;

      private:
        CMdiaList& media_;
    };

  private:
    struct LevelIndex;
    struct BulkIndex;

    void RenameClashingSequence(CNode* level, const QString& clashBase);
    CNode* AddIndexed(CNode* level, LevelIndex& index, std::uint32_t itemType, const QString& path,
                      bool* added);
    LevelIndex& IndexOf(CNode* level);

    ISoundOpener* soundOpener_ = nullptr;
    std::unique_ptr<BulkIndex> bulk_;
};

}  // namespace kolvane
