#include "model/MdiaList.h"

#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "platform/StringTable.h"

namespace kolvane {
namespace {

constexpr int kImagesLevelName = 40021;
constexpr int kSoundsLevelName = 40022;

const QString* ItemPath(const CNode& item) {
    if (item.imageInfo) return &item.imageInfo->path;
    if (item.soundInfo) return &item.soundInfo->path;
    return nullptr;
}

}  // namespace

CNode* CMdiaList::AddMediaFile(std::uint32_t kindBits, const QString& path, bool* added) {
    if (added != nullptr) *added = false;
    kindBits &= kTypeMediaKinds;
    const std::uint32_t itemType = kindBits | kTypeMedia;
    const bool isImage = (kindBits & kTypeImage) != 0;

    CNode* level = FindLevelByType(kindBits);
    if (level == nullptr) {
        auto made = MakeLevel(kTypeLevel, StringText(isImage ? kImagesLevelName : kSoundsLevelName),
                              itemType);
        level = isImage ? Levels().prepend(std::move(made)) : Levels().append(std::move(made));
    }

    const QString name = ItemNameFromPath(path);
    for (CNode* child : *level->children) {
        const QString* childPath = ItemPath(*child);
        if (childPath != nullptr && *childPath == path) return child;
        if (SameNameIgnoringCase(child->name, name)) {
            RenameClashingSequence(level, BaseName(*child));
            break;
        }
    }

    auto item = std::make_unique<CNode>(itemType, name);
    if (isImage) {
        item->imageInfo = std::make_unique<CImageInfo>(path);
    } else {
        item->soundInfo = std::make_unique<CSoundInfo>(path);
    }
    CNode* result = item.get();
    int position = 0;
    level->children->insertSorted(std::move(item), &position);
    currentPosition = position;
    if (level->children->size() == 1) level->summary->typeBits = itemType;
    if (!isImage && soundOpener_ != nullptr) soundOpener_->OpenSound(*result);
    if (added != nullptr) *added = true;
    return result;
}

void CMdiaList::RenameClashingSequence(CNode* level, const QString& clashBase) {
    auto baseTaken = [&](const QString& candidate) {
        for (const CNode* child : *level->children) {
            if (SameNameIgnoringCase(BaseName(*child), candidate)) return true;
        }
        return false;
    };
    int k = 1;
    while (baseTaken(QStringLiteral("%1(%2)").arg(clashBase).arg(k)))
        ++k;
    for (CNode* child : *level->children) {
        const QString base = BaseName(*child);
        if (!SameNameIgnoringCase(base, clashBase)) continue;
        child->name =
            ImageName(QStringLiteral("%1(%2)").arg(base).arg(k), TrailingNumber(child->name));
    }
    // The new names may sort elsewhere; the level stays in name order.
    level->children->sortByName();
}

}  // namespace kolvane
