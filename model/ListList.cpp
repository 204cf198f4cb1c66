#include "model/ListList.h"

#include "model/MediaInfo.h"
#include "model/MediaNames.h"

#include <unordered_set>

namespace kolvane {

CListList::CListList() : root_(kTypeLevel, QString()) {
    root_.flags = 0;
    root_.children = std::make_unique<CNodeList>();
    root_.summary = std::make_unique<CListInfo>();
}

CListList::~CListList() = default;

std::unique_ptr<CNode> CListList::MakeLevel(std::uint32_t type, const QString& name,
                                            std::uint32_t summaryType) {
    auto level = CNode::NewLevel(type, name, summaryType);
    if (ringFactory_ != nullptr) level->summary->ring = ringFactory_->CreateTrackBuffer();
    return level;
}

void CListList::Clear() {
    Levels().clear();
    CListInfo& totals = Totals();
    totals.typeBits = 0;
    totals.selected = 0;
    totals.blanks = 0;
}

void CListList::RecomputeSummaries() {
    CListInfo& totals = Totals();
    totals.typeBits = 0;
    totals.selected = 0;
    totals.blanks = 0;
    for (CNode* level : Levels()) {
        int selected = 0;
        int blanks = 0;
        std::uint32_t bits = 0;
        for (const CNode* child : *level->children) {
            if (child->IsSelected()) ++selected;
            if (child->HasAny(kTypeBlank)) ++blanks;
            bits |= child->type;
        }
        level->summary->selected = selected;
        level->summary->blanks = blanks;
        level->summary->typeBits = bits;
        if ((level->flags & kFlagOn) != 0) {
            totals.selected += selected;
            totals.blanks += blanks;
        }
        totals.typeBits |= bits;
    }
}

void CListList::UnselectAll() {
    for (CNode* level : Levels()) {
        if (level->summary->selected != 0) level->children->unselectAll();
        level->summary->selected = 0;
    }
    Totals().selected = 0;
}

int CListList::TotalChildren() const {
    int total = 0;
    for (const CNode* level : Levels())
        total += level->children->size();
    return total;
}

int CListList::LongestLevel() const {
    int longest = 0;
    for (const CNode* level : Levels())
        longest = std::max(longest, level->children->size());
    return longest;
}

CNode* CListList::FindLevelByType(std::uint32_t bits) const {
    bits &= kTypeMediaKinds;
    for (CNode* level : Levels()) {
        if ((level->summary->typeBits & bits) != 0) return level;
    }
    return nullptr;
}

int CListList::CountInLevelByType(std::uint32_t bits) const {
    const CNode* level = FindLevelByType(bits);
    return level == nullptr ? 0 : level->children->size();
}

CNode* CListList::FindLevelByName(const QString& name) const {
    for (CNode* level : Levels()) {
        if (level->name == name) return level;
    }
    return nullptr;
}

namespace {

const QString* ItemPath(const CNode& item) {
    if (item.imageInfo) return &item.imageInfo->path;
    if (item.soundInfo) return &item.soundInfo->path;
    return nullptr;
}

}  // namespace

CNode* CListList::FindItemByPath(const QString& path) const {
    for (CNode* level : Levels()) {
        for (CNode* item : *level->children) {
            const QString* itemPath = ItemPath(*item);
            if (itemPath != nullptr && SamePathIgnoringExtension(*itemPath, path)) return item;
        }
    }
    return nullptr;
}

CNode* CListList::FindItemByName(const QString& name) const {
    QString soundKey = name;
    if (auto parts = ParseSoundCellName(name)) soundKey = parts->soundName;
    for (CNode* level : Levels()) {
        const bool soundLevel = (level->summary->typeBits & kTypeSound) != 0;
        for (CNode* item : *level->children) {
            if (SameNameIgnoringCase(item->name, soundLevel ? soundKey : name)) return item;
            // A sound's own name may end in ":<digits>" too ("take:2").
            if (soundLevel && SameNameIgnoringCase(item->name, name)) return item;
        }
    }
    return nullptr;
}

void CListList::SetLevelName(CNode* level, const QString& text) {
    if (level == nullptr) return;
    level->name = text;
    Redraw();
}

void CListList::SetLevelRank(CNode* level, const QString& text) {
    const int from = IndexOfLevel(level);
    if (from < 0) return;
    bool ok = false;
    int rank = text.trimmed().toInt(&ok);
    if (!ok) rank = 0;
    rank = std::min(rank, Levels().size());
    Levels().move(from, rank <= 0 ? 0 : rank - 1);
    Redraw();
}

void CListList::SortLevel(CNode* level) {
    if (level == nullptr) return;
    level->children->sortByName();
    Redraw();
}

void CListList::SelectAllInLevel(CNode* level) {
    if (level == nullptr) return;
    level->children->selectAll();
    RecomputeSummaries();
    Redraw();
}

void CListList::UnselectAllInLevel(CNode* level) {
    if (level == nullptr) return;
    level->children->unselectAll();
    RecomputeSummaries();
    Redraw();
}

void CListList::SelectUnusedInLevel(CNode* level, const CListList& sheet) {
    if (level == nullptr) return;
    std::unordered_set<const CNode*> used;
    for (const CNode* column : sheet.Levels()) {
        for (const CNode* cell : *column->children) {
            if (cell->item != nullptr) used.insert(cell->item);
        }
    }
    for (CNode* child : *level->children) {
        child->Select();
        if (used.contains(child)) child->Unselect();
    }
    RecomputeSummaries();
    Redraw();
}

}  // namespace kolvane
