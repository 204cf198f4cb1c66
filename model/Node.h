#pragma once

#include <cstdint>
#include <memory>

#include <QImage>
#include <QString>

namespace kolvane {

class CNodeList;
class CListInfo;
class CImageInfo;
class CSoundInfo;

// Type bits of a node.
inline constexpr std::uint32_t kTypeLevel = 0x01;
inline constexpr std::uint32_t kTypeMedia = 0x02;
inline constexpr std::uint32_t kTypeCell = 0x04;
inline constexpr std::uint32_t kTypeImage = 0x08;
inline constexpr std::uint32_t kTypeSound = 0x10;
inline constexpr std::uint32_t kTypeBlank = 0x20;
inline constexpr std::uint32_t kTypeMediaKinds = kTypeImage | kTypeSound;

// The combinations in use.
inline constexpr std::uint32_t kTypeBlankColumn = kTypeLevel | kTypeBlank;  // 0x21
inline constexpr std::uint32_t kTypeImageItem = kTypeMedia | kTypeImage;    // 0x0A
inline constexpr std::uint32_t kTypeSoundItem = kTypeMedia | kTypeSound;    // 0x12
inline constexpr std::uint32_t kTypeImageCell = kTypeCell | kTypeImage;     // 0x0C
inline constexpr std::uint32_t kTypeSoundCell = kTypeCell | kTypeSound;     // 0x14

// Flag bits of a node.
inline constexpr std::uint32_t kFlagOn = 0x01;
inline constexpr std::uint32_t kFlagSelected = 0x02;
inline constexpr std::uint32_t kFlagLoadFailed = 0x08;

// One node of the scene tree: a level (media level or sheet column), a media
// item, or a sheet cell. What a node owns depends on its kind:
//   level       children and summary
//   image item  texture and imageInfo
//   sound item  soundInfo (its open clip is closed when the node goes)
//   cell        nothing: `item` refers to a media item of the media list
class CNode {
  public:
    CNode(std::uint32_t type, QString name);
    ~CNode();
    CNode(const CNode&) = delete;
    CNode& operator=(const CNode&) = delete;

    // A new level node with an empty child list and a summary of type bits
    // `summaryType`. The caller registers the summary with the audio output.
    static std::unique_ptr<CNode> NewLevel(std::uint32_t type, QString name,
                                           std::uint32_t summaryType);

    // A cell showing `item` (or a blank cell without one): type is the item's
    // media kind plus the cell bit, name the item's name.
    static std::unique_ptr<CNode> NewCell(CNode* item);

    // A copy of a cell: same type, flags, name and item.
    std::unique_ptr<CNode> CloneCell() const;

    bool Is(std::uint32_t bits) const { return (type & bits) == bits; }
    bool HasAny(std::uint32_t bits) const { return (type & bits) != 0; }
    bool IsSelected() const { return (flags & kFlagSelected) != 0; }

    // Selecting writes the flag word as exactly 0x02 (clearing load-failed, so
    // that the idle loader tries the image again); unselecting clears 0x02 only.
    void Select() { flags = kFlagSelected; }
    void Unselect() { flags &= ~kFlagSelected; }

    std::uint32_t type;
    std::uint32_t flags = kFlagOn;
    QString name;

    // Level.
    std::unique_ptr<CNodeList> children;
    std::unique_ptr<CListInfo> summary;

    // Image item: the display texture (null until loaded) and its record.
    QImage texture;
    std::unique_ptr<CImageInfo> imageInfo;

    // Sound item.
    std::unique_ptr<CSoundInfo> soundInfo;

    // Cell: the media item shown (not owned).
    CNode* item = nullptr;
};

}  // namespace kolvane
