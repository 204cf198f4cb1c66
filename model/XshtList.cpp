#include "model/XshtList.h"

#include <algorithm>
#include <unordered_set>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

bool IsBlank(const CNode& cell) {
    return cell.HasAny(kTypeBlank);
}

bool AllBlank(const CNode& column) {
    const CNodeList& cells = *column.children;
    return std::all_of(cells.begin(), cells.end(), [](const CNode* c) { return IsBlank(*c); });
}

// Cells up to and including the last non-blank one.
int UsedLength(const CNode& column) {
    const CNodeList& cells = *column.children;
    int used = cells.size();
    while (used > 0 && IsBlank(*cells.at(used - 1)))
        --used;
    return used;
}

// The name an unnamed column takes from its last non-blank cell. A sound
// cell's frame index is not part of it.
QString ColumnNameFromCell(const CNode& cell) {
    if (cell.HasAny(kTypeSound)) {
        if (auto parts = ParseSoundCellName(cell.name)) return BaseName(parts->soundName, false);
    }
    return BaseName(cell);
}

void FillWithBlanks(CNode& column, int length) {
    while (column.children->size() < length)
        column.children->append(CNode::NewCell(nullptr));
}

std::unordered_set<const CNode*> ItemsOf(const CNode* level) {
    std::unordered_set<const CNode*> items;
    if (level != nullptr) {
        for (const CNode* item : *level->children)
            items.insert(item);
    }
    return items;
}

}  // namespace

CXshtList::CXshtList(const CSettings& settings) : settings_(settings) {}

int CXshtList::FrameCount() const {
    const int length = SheetLength();
    return length > 0 ? length - 1 : 0;
}

QString CXshtList::ColumnNameFor(const CNode& item) {
    QString name = item.HasAny(kTypeSound) ? item.name : BaseName(item);
    const qsizetype paren = name.indexOf(u'(');
    if (paren > 0) name.truncate(paren);
    qsizetype end = name.size();
    while (end > 0 && name[end - 1].isSpace())
        --end;
    name.truncate(end);
    return name;
}

int CXshtList::RunStart(const CNode& column, int row) {
    const CNodeList& cells = *column.children;
    const CNode* cell = cells.at(row);
    if (cell == nullptr) return -1;
    int start = row;
    while (start > 0 && cells.at(start - 1)->name == cell->name)
        --start;
    return start;
}

int CXshtList::RunLength(const CNode& column, int row) {
    const int start = RunStart(column, row);
    if (start < 0) return 0;
    const CNodeList& cells = *column.children;
    const QString& name = cells.at(start)->name;
    int end = start + 1;
    while (end < cells.size() && cells.at(end)->name == name)
        ++end;
    return end - start;
}

int CXshtList::SelectRun(CNode& column, int row) {
    const int start = RunStart(column, row);
    if (start < 0) return -1;
    const int end = start + RunLength(column, start);
    for (int i = start; i < end; ++i)
        column.children->at(i)->Select();
    return end < column.children->size() ? end : -1;
}

int CXshtList::SetRunLength(CNode& column, int row, int length) {
    const int start = RunStart(column, row);
    if (start < 0) return -1;
    // A run never vanishes this way: a shorter length would eat the next run.
    length = std::max(length, 1);
    CNodeList& cells = *column.children;
    int current = RunLength(column, start);
    for (; current > length; --current)
        cells.erase(start + 1);
    for (; current < length; ++current) {
        CNode* first = cells.at(start);
        cells.insert(start + 1, first->CloneCell());
        first->Unselect();
    }
    return start;
}

std::unique_ptr<CNode> CXshtList::MakeBlankColumn() {
    return MakeLevel(kTypeBlankColumn, QString(), 0);
}

CNode* CXshtList::GetColumn(int index, const QString& name) {
    CNodeList& columns = Levels();
    if (index >= 0 && index + 1 < columns.size()) {
        CNode* column = columns.at(index);
        if (column->name.isEmpty()) column->name = name;
        return column;
    }
    auto made = MakeLevel(kTypeLevel, name, 0);
    if (columns.empty() || !columns.back()->name.isEmpty()) return columns.append(std::move(made));
    return columns.insert(columns.size() - 1, std::move(made));
}

CNode* CXshtList::PlaceItem(CNode* item) {
    if (item == nullptr) return nullptr;
    const QString name = ColumnNameFor(*item);
    CNode* column = FindLevelByName(name);
    if (column == nullptr) column = GetColumn(Levels().size(), name);

    CNodeList& cells = *column->children;
    int row = cells.size();
    while (row > 0 && IsBlank(*cells.at(row - 1)))
        --row;
    CNode* cell;
    if (row < cells.size()) {
        cell = cells.at(row);
        cell->type = (item->type & kTypeMediaKinds) | kTypeCell;
        cell->name = item->name;
        cell->item = item;
    } else {
        cell = cells.append(CNode::NewCell(item));
    }
    currentPosition = row;
    return cell;
}

CNode* CXshtList::PlaceImage(CNode* item) {
    CNode* cell = nullptr;
    const int times = std::max(1, settings_.Get(DefTiming));
    for (int i = 0; i < times; ++i)
        cell = PlaceItem(item);
    return cell;
}

CNode* CXshtList::PlaceSound(CNode* item) {
    if (item == nullptr || !item->soundInfo) return nullptr;
    const int frames = static_cast<int>(item->soundInfo->lengthInFrames);
    CNode* cell = nullptr;
    for (int index = 1; index <= frames; ++index) {
        cell = PlaceItem(item);
        cell->name = SoundCellName(item->name, index);
    }
    return cell;
}

CNode* CXshtList::AppendCell(CNode* item, int index) {
    CNode* column =
        index >= 0 && index + 1 < Levels().size()
            ? Levels().at(index)
            : GetColumn(Levels().size(), item != nullptr ? ColumnNameFor(*item) : QString());
    CNode* cell = column->children->append(CNode::NewCell(item));
    if (item == nullptr) ++column->summary->blanks;
    currentPosition = column->children->size();
    return cell;
}

void CXshtList::Pad(bool trimFirst) {
    int longest = LongestLevel();
    if (trimFirst && longest > 0) {
        for (CNode* column : Levels()) {
            CNodeList& cells = *column->children;
            if (cells.size() == longest && IsBlank(*cells.back())) cells.erase(longest - 1);
        }
        longest = LongestLevel();
    }
    for (CNode* column : Levels())
        FillWithBlanks(*column, longest);
    RecomputeSummaries();
}

void CXshtList::Normalise() {
    CNodeList& columns = Levels();
    if (columns.empty()) return;

    // The trailing blank column has no name: a named blank one goes like any
    // other all-blank column.
    const CNode& last = *columns.back();
    if (!AllBlank(last) || !last.name.isEmpty()) columns.append(MakeBlankColumn());
    for (int i = columns.size() - 2; i >= 0; --i) {
        if (AllBlank(*columns.at(i))) columns.erase(i);
    }

    int used = 0;
    for (CNode* column : columns) {
        const int columnUsed = UsedLength(*column);
        if (column->name.isEmpty() && columnUsed > 0) {
            column->name = ColumnNameFromCell(*column->children->at(columnUsed - 1));
        }
        used = std::max(used, columnUsed);
    }
    for (CNode* column : columns)
        column->children->truncate(used + 1);

    int length = LongestLevel();
    for (const CNode* column : columns) {
        const CNodeList& cells = *column->children;
        if (cells.size() == length && length > 0 && !IsBlank(*cells.back())) {
            ++length;
            break;
        }
    }
    for (CNode* column : columns) {
        FillWithBlanks(*column, length);
        column->type = kTypeLevel;
    }
    // Only the last column is the blank column, whichever column it was before.
    columns.back()->type = kTypeBlankColumn;

    RecomputeSummaries();
    if (used == 0) Clear();
}

void CXshtList::RefreshNamesFromMedia(const CMdiaList& media) {
    const auto images = ItemsOf(media.ImageLevel());
    const auto sounds = ItemsOf(media.SoundLevel());
    for (CNode* column : Levels()) {
        column->children->removeIf([&](CNode& cell) {
            if (cell.item == nullptr) return false;
            const bool isSound = cell.HasAny(kTypeSound);
            if (!(isSound ? sounds : images).contains(cell.item)) return true;
            if (!isSound) {
                cell.name = cell.item->name;
            } else if (auto parts = ParseSoundCellName(cell.name)) {
                cell.name = SoundCellName(cell.item->name, parts->index);
            } else {
                cell.name = cell.item->name;
            }
            return false;
        });
    }
    Normalise();
}

}  // namespace kolvane
