#include "model/SheetEdits.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/XshtList.h"

namespace kolvane {
namespace {

bool IsBlank(const CNode* cell) {
    return cell->HasAny(kTypeBlank);
}

// The cell that a sound cell's copy one frame later is: its frame index on by one.
void ContinueSoundNumbering(CNode& copy) {
    if (!copy.HasAny(kTypeSound)) return;
    if (auto parts = ParseSoundCellName(copy.name)) {
        copy.name = SoundCellName(parts->soundName, parts->index + 1);
    }
}

// A removed cell may be the one whose sound the player wrote last.
void ForgetSoundCells(CXshtList& sheet) {
    for (CNode* column : sheet.Levels())
        column->summary->currentSoundCell = nullptr;
}

}  // namespace

std::unique_ptr<CNode> CopyCell(const CNode& cell) {
    auto copy = std::make_unique<CNode>(cell.type, cell.name);
    copy->item = cell.item;
    return copy;
}

CRetimeDrag::CRetimeDrag(CXshtList& sheet, int column, int row) : sheet_(sheet), column_(column) {
    const CNode* level = ColumnNode();
    if (level == nullptr) return;
    const CNodeList& cells = *level->children;
    const CNode* pressed = cells.at(row);
    if (pressed == nullptr) return;
    item_ = pressed->item;
    image_ = pressed->HasAny(kTypeImage);
    anchor_ = row;
    if (pressed->HasAny(kTypeSound)) {
        while (anchor_ > 0 && cells.at(anchor_ - 1)->item == item_)
            --anchor_;
    }
    atStart_ = anchor_ == 0 || cells.at(anchor_ - 1)->item != item_;
    valid_ = true;
}

CNode* CRetimeDrag::ColumnNode() const {
    return sheet_.Levels().at(column_);
}

int CRetimeDrag::Move(int rows, bool boundary) {
    if (!valid_ || ColumnNode() == nullptr) return 0;
    int net = 0;
    for (int i = 0; i < rows; ++i)
        net += StepDown(boundary);
    for (int i = 0; i < -rows; ++i)
        net += StepUp(boundary);
    return net;
}

int CRetimeDrag::StepDown(bool boundary) {
    CNodeList& cells = *ColumnNode()->children;
    if (anchor_ >= cells.size()) return 0;
    const bool moveBoundary = boundary && image_ && atStart_;
    if (moveBoundary) {
        const CNode* below = cells.at(anchor_ + 1);
        if (below == nullptr || below->item != item_ || IsBlank(below)) return 0;
    }
    std::unique_ptr<CNode> copy;
    if (atStart_ && anchor_ == 0) {
        copy = CNode::NewCell(nullptr);  // an empty exposure above the first frame
    } else {
        copy = CopyCell(*cells.at(atStart_ ? anchor_ - 1 : anchor_));
        ContinueSoundNumbering(*copy);
    }
    cells.insert(anchor_, std::move(copy));
    ++anchor_;
    if (!moveBoundary) return 1;
    cells.erase(anchor_ + 1);
    return 0;
}

int CRetimeDrag::StepUp(bool boundary) {
    CNodeList& cells = *ColumnNode()->children;
    if (anchor_ <= 0 || anchor_ >= cells.size()) return 0;
    const CNode* above = cells.at(anchor_ - 1);
    if (atStart_) {
        const CNode* second = cells.at(anchor_ - 2);
        const bool shrinks = IsBlank(above) ||
                             (second != nullptr && !IsBlank(second) && second->item == above->item);
        if (!shrinks) return 0;
    } else if (above->item != item_) {
        return 0;
    }
    cells.erase(anchor_ - 1);
    --anchor_;
    if (!(boundary && image_ && atStart_)) return -1;
    cells.insert(anchor_ + 1, CopyCell(*cells.at(anchor_)));
    return 0;
}

int CRetimeDrag::ExposureLength() const {
    const CNode* level = ColumnNode();
    if (!valid_ || level == nullptr) return 0;
    const CNodeList& cells = *level->children;
    const CNode* anchor = cells.at(anchor_);
    if (anchor == nullptr) return 0;
    if (!anchor->HasAny(kTypeSound)) return CXshtList::RunLength(*level, anchor_);
    // A sound's cells all differ by name: its exposure is the block of the sound.
    int end = anchor_;
    while (end < cells.size() && cells.at(end)->item == item_)
        ++end;
    return end - anchor_;
}

void DuplicateSelection(CXshtList& sheet, int targetColumn, int targetRow, bool overwrite) {
    // Copies first: a target may be a source too.
    std::vector<std::vector<std::unique_ptr<CNode>>> groups;
    for (const CNode* column : sheet.Levels()) {
        std::vector<std::unique_ptr<CNode>> copies;
        for (const CNode* cell : *column->children) {
            if (cell->IsSelected()) copies.push_back(CopyCell(*cell));
        }
        if (!copies.empty()) groups.push_back(std::move(copies));
    }
    int target = std::max(0, targetColumn);
    for (auto& copies : groups) {
        // Out of columns: normalising gives a new trailing blank one.
        if (target >= sheet.Levels().size()) sheet.Normalise();
        CNode* column = sheet.Levels().at(target);
        if (column == nullptr) break;
        CNodeList& cells = *column->children;
        int row = std::clamp(targetRow, 0, cells.size());
        for (auto& copy : copies) {
            if (!overwrite) {
                cells.insert(row++, std::move(copy));
                continue;
            }
            CNode* cell = cells.at(row++);
            if (cell == nullptr) break;
            cell->type = copy->type;
            cell->name = copy->name;
            cell->item = copy->item;
            cell->flags = kFlagOn;
        }
        ++target;
    }
    sheet.RecomputeSummaries();
}

void RemoveSelection(CXshtList& sheet, bool blank) {
    for (CNode* column : sheet.Levels()) {
        CNodeList& cells = *column->children;
        for (int i = 0; i < cells.size() && cells.size() >= 2;) {
            CNode* cell = cells.at(i);
            if (!cell->IsSelected()) {
                ++i;
            } else if (blank) {
                cell->type = kTypeBlank;
                cell->item = nullptr;
                cell->name.clear();
                cell->Unselect();
                ++i;
            } else {
                cells.erase(i);
            }
        }
    }
    ForgetSoundCells(sheet);
    sheet.RecomputeSummaries();
}

int AddSelectedMedia(CMdiaList& media, CXshtList& sheet, int defTiming) {
    int placed = 0;
    for (const CNode* level : media.Levels()) {
        for (CNode* item : *level->children) {
            if (!item->IsSelected()) continue;
            if (item->HasAny(kTypeImage)) {
                for (int i = 0; i < defTiming; ++i, ++placed)
                    sheet.PlaceItem(item);
            } else if (item->HasAny(kTypeSound) && item->soundInfo) {
                const int frames = static_cast<int>(item->soundInfo->lengthInFrames);
                sheet.PlaceSound(item);
                placed += std::max(0, frames);
            }
        }
    }
    sheet.RecomputeSummaries();
    return placed;
}

int RemoveSelectedMedia(CMdiaList& media, CXshtList& sheet) {
    std::unordered_set<const CNode*> going;
    for (const CNode* level : media.Levels()) {
        for (const CNode* item : *level->children) {
            if (item->IsSelected()) going.insert(item);
        }
    }
    if (going.empty()) return 0;
    // The cells first, while the items they point at still exist.
    for (CNode* column : sheet.Levels()) {
        CNodeList& cells = *column->children;
        int& current = column->summary->currentCell;
        int keptBefore = 0;
        for (int i = 0; i < current && i < cells.size(); ++i) {
            if (!going.contains(cells.at(i)->item)) ++keptBefore;
        }
        cells.removeIf([&](const CNode& cell) { return going.contains(cell.item); });
        // The current cell, when it went, moves on to the one that followed it.
        current = keptBefore < cells.size() ? keptBefore : 0;
    }
    ForgetSoundCells(sheet);
    sheet.RecomputeSummaries();

    int removed = 0;
    CNodeList& levels = media.Levels();
    for (int l = levels.size() - 1; l >= 0; --l) {
        CNode* level = levels.at(l);
        removed += level->children->removeIf([](const CNode& item) { return item.IsSelected(); });
        level->summary->currentSoundCell = nullptr;
        // The grabber's shown image may have gone, or moved up.
        level->summary->shownPosition = -1;
        if (level->children->empty()) levels.erase(l);
    }
    media.RecomputeSummaries();
    return removed;
}

int RemoveDuplicateImages(CMdiaList& media, CXshtList& sheet, const SameFileTest& sameFile) {
    CNode* level = media.ImageLevel();
    if (level == nullptr) return 0;
    CNodeList& items = *level->children;
    int removed = 0;
    for (int a = 0; a + 1 < items.size();) {
        CNode* first = items.at(a);
        CNode* second = items.at(a + 1);
        if (!first->imageInfo || !second->imageInfo ||
            !sameFile(first->imageInfo->path, second->imageInfo->path)) {
            ++a;
            continue;
        }
        for (CNode* column : sheet.Levels()) {
            for (CNode* cell : *column->children) {
                if (cell->item != second) continue;
                cell->item = first;
                cell->name = first->name;
            }
        }
        items.erase(a + 1);
        ++removed;
        level->summary->shownPosition = -1;
    }
    media.RecomputeSummaries();
    sheet.RecomputeSummaries();
    return removed;
}

}  // namespace kolvane
