#include "model/MdiaList.h"

#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "platform/StringTable.h"

#include <vector>

#include <QHash>

namespace kolvane {
namespace {

constexpr int kImagesLevelName = 40021;
constexpr int kSoundsLevelName = 40022;

const QString* ItemPath(const CNode& item) {
    if (item.imageInfo) return &item.imageInfo->path;
    if (item.soundInfo) return &item.soundInfo->path;
    return nullptr;
}

QString FoldedName(const QString& name) {
    return name.toCaseFolded();
}

}  // namespace

// A level's items by path, and how many bear each name (case folded).
struct CMdiaList::LevelIndex {
    const CNode* level = nullptr;
    int size = -1;
    bool sorted = false;
    QHash<QString, CNode*> paths;
    QHash<QString, int> names;

    void Build(const CNode& of) {
        level = &of;
        paths.clear();
        names.clear();
        for (CNode* child : *of.children)
            Add(child);
        size = of.children->size();
        sorted = of.children->isSortedByName();
    }
    void Add(CNode* child) {
        if (const QString* path = ItemPath(*child)) paths.insert(*path, child);
        ++names[FoldedName(child->name)];
    }
};

struct CMdiaList::BulkIndex {
    std::vector<LevelIndex> levels;
    int users = 0;
};

CMdiaList::CMdiaList() = default;
CMdiaList::~CMdiaList() = default;

CMdiaList::CBulkAdd::CBulkAdd(CMdiaList& media) : media_(media) {
    if (!media_.bulk_) media_.bulk_ = std::make_unique<BulkIndex>();
    ++media_.bulk_->users;
}

CMdiaList::CBulkAdd::~CBulkAdd() {
    if (--media_.bulk_->users == 0) media_.bulk_.reset();
}

CMdiaList::LevelIndex& CMdiaList::IndexOf(CNode* level) {
    LevelIndex* index = nullptr;
    for (LevelIndex& candidate : bulk_->levels) {
        if (candidate.level == level) index = &candidate;
    }
    if (index == nullptr) index = &bulk_->levels.emplace_back();
    if (index->level != level || index->size != level->children->size()) index->Build(*level);
    return *index;
}

CNode* CMdiaList::AddIndexed(CNode* level, LevelIndex& index, std::uint32_t itemType,
                             const QString& path, bool* added) {
    if (CNode* same = index.paths.value(path)) return same;
    const QString name = ItemNameFromPath(path);
    if (index.names.contains(FoldedName(name))) {
        for (CNode* child : *level->children) {
            if (SameNameIgnoringCase(child->name, name)) {
                RenameClashingSequence(level, BaseName(*child));
                break;
            }
        }
        index.Build(*level);
    }
    auto item = std::make_unique<CNode>(itemType, name);
    if ((itemType & kTypeImage) != 0) {
        item->imageInfo = std::make_unique<CImageInfo>(path);
    } else {
        item->soundInfo = std::make_unique<CSoundInfo>(path);
    }
    CNode* result = item.get();
    int position = 0;
    if (index.sorted) {
        position = level->children->upperBoundByName(name);
        level->children->insert(position, std::move(item));
    } else {
        level->children->insertSorted(std::move(item), &position);
    }
    index.Add(result);
    index.size = level->children->size();
    currentPosition = position;
    if (level->children->size() == 1) level->summary->typeBits = itemType;
    if ((itemType & kTypeImage) == 0 && soundOpener_ != nullptr) soundOpener_->OpenSound(*result);
    if (added != nullptr) *added = true;
    return result;
}

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

    if (bulk_) return AddIndexed(level, IndexOf(level), itemType, path, added);

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
