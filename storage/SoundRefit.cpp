#include "storage/SoundRefit.h"

#include <cmath>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/XshtList.h"
#include "sound/SoundClip.h"

namespace kolvane {
namespace {

void ForgetSoundCells(CListList& list) {
    for (CNode* level : list.Levels()) {
        level->summary->currentSoundCell = nullptr;
        level->summary->writeCursor = 0;
    }
}

int LastShownCell(const CNode& column) {
    for (int row = column.children->size() - 1; row >= 0; --row) {
        if (!column.children->at(row)->HasAny(kTypeBlank)) return row;
    }
    return -1;
}

void FitRun(CNode& column, int last) {
    CNodeList& cells = *column.children;
    const CNode* cell = cells.at(last);
    CNode* item = cell->item;
    if (!cell->Is(kTypeSoundCell) || item == nullptr || item->soundInfo == nullptr) return;
    // A clip that could not be opened has no length to fit to: its cells
    // stay, rather than all turning blank.
    if (!item->soundInfo->decoder) return;
    const auto parts = ParseSoundCellName(cell->name);
    if (!parts || parts->index <= 0) return;
    const int number = parts->index;
    const auto change =
        static_cast<long long>(std::trunc(item->soundInfo->lengthInFrames - number));
    if (change > 0) {
        for (long long k = 1; k <= change; ++k) {
            auto added = CNode::NewCell(item);
            added->name = SoundCellName(item->name, number + static_cast<int>(k));
            cells.insert(last + static_cast<int>(k), std::move(added));
        }
        return;
    }
    for (long long k = 0, row = last; k < -change && row >= 0; ++k, --row) {
        CNode* surplus = cells.at(static_cast<int>(row));
        if (surplus->item != item) break;
        surplus->type = kTypeBlank;
        surplus->item = nullptr;
        surplus->name.clear();
    }
}

}  // namespace

void RefitSoundCells(CMdiaList& media, CXshtList& sheet, int frameRate) {
    if (CNode* sounds = media.SoundLevel()) {
        for (CNode* item : *sounds->children) {
            if (item->soundInfo == nullptr) continue;
            CloseSoundClip(*item->soundInfo);
            OpenSoundClip(*item->soundInfo, frameRate);
        }
    }
    ForgetSoundCells(media);
    ForgetSoundCells(sheet);
    for (CNode* column : sheet.Levels()) {
        const int last = LastShownCell(*column);
        if (last >= 0) FitRun(*column, last);
    }
}

}  // namespace kolvane
