#include "model/Range.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "model/SceneState.h"
#include "model/SheetHistory.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "platform/StringTable.h"

namespace kolvane {
namespace {

constexpr int kKeepText = 40100;
constexpr int kAscendText = 40101;
constexpr int kDescendText = 40102;
constexpr int kReverseText = 40103;
constexpr int kRandomText = 40104;

bool IsBlank(const CNode* cell) {
    return cell->HasAny(kTypeBlank);
}

int FirstSelectedRow(const CNode& column) {
    const CNodeList& cells = *column.children;
    for (int row = 0; row < cells.size(); ++row) {
        if (cells.at(row)->IsSelected()) return row;
    }
    return -1;
}

int LastSelectedRow(const CNode& column) {
    const CNodeList& cells = *column.children;
    for (int row = cells.size() - 1; row >= 0; --row) {
        if (cells.at(row)->IsSelected()) return row;
    }
    return -1;
}

bool HasSelected(const CNode& column) {
    return FirstSelectedRow(column) >= 0;
}

}  // namespace

CRange::CRange(CXshtList& sheet, CSceneState& scene, ISheetHistory& history, ICommandSink& commands,
               Clock clock)
    : sheet_(sheet),
      scene_(scene),
      history_(history),
      commands_(commands),
      clock_(clock ? std::move(clock) : Clock([] { return std::int64_t{std::time(nullptr)}; })) {}

QStringList CRange::OrderingChoices() {
    return {StringText(kKeepText), StringText(kAscendText), StringText(kDescendText),
            StringText(kReverseText), StringText(kRandomText)};
}

CRange::Order CRange::OrderOf(const QString& text) {
    if (text == StringText(kAscendText)) return Order::kAscend;
    if (text == StringText(kDescendText)) return Order::kDescend;
    if (text == StringText(kReverseText)) return Order::kReverse;
    if (text == StringText(kRandomText)) return Order::kRandom;
    return Order::kKeep;
}

int CRange::LastRangeColumn() const {
    return sheet_.Levels().size() - 2;
}

void CRange::Initialise() {
    ordering_.clear();
    timing_ = repeat_ = until_ = before_ = after_ = 0;
    const bool anySelected = std::any_of(sheet_.Levels().begin(), sheet_.Levels().end(),
                                         [](const CNode* column) { return HasSelected(*column); });
    if (!anySelected) {
        Bounds();
        baseStart_ = baseOrigin_ = firstRow_;
        baseLength_ = 0;
        return;
    }
    ordering_ = StringText(kKeepText);
    Measure();
    Bounds();
    Base();
}

void CRange::Measure() {
    timing_ = before_ = after_ = 0;
    const CNodeList& columns = sheet_.Levels();
    const int length = sheet_.SheetLength();
    bool any = false;
    for (int c = 0; c <= LastRangeColumn(); ++c)
        any = any || HasSelected(*columns.at(c));
    if (!any) return;

    before_ = after_ = length;
    std::int64_t total = 0;
    int runs = 0;
    for (int c = 0; c <= LastRangeColumn(); ++c) {
        const CNode& column = *columns.at(c);
        const CNodeList& cells = *column.children;
        const int first = FirstSelectedRow(column);
        if (first < 0) continue;

        int blanks = 0;
        for (int row = first - 1; row >= 0 && IsBlank(cells.at(row)); --row)
            ++blanks;
        before_ = std::min(before_, blanks);

        const QString* previous = nullptr;
        int last = first;
        for (int row = first; row < cells.size(); ++row) {
            const CNode* cell = cells.at(row);
            if (!cell->IsSelected()) continue;
            last = row;
            if (previous == nullptr || cell->name != *previous) {
                total += CXshtList::RunLength(column, row);
                ++runs;
            }
            previous = &cell->name;
        }

        blanks = 0;
        for (int row = last + 1; row < cells.size() && IsBlank(cells.at(row)); ++row)
            ++blanks;
        after_ = std::min(after_, blanks);
    }
    if (runs > 0) timing_ = static_cast<int>(total / runs);
}

void CRange::Bounds() {
    const CNodeList& columns = sheet_.Levels();
    firstColumn_ = columns.size();
    firstRow_ = sheet_.SheetLength();
    lastRow_ = 0;
    for (int c = 0; c <= LastRangeColumn(); ++c) {
        const CNode& column = *columns.at(c);
        const int first = FirstSelectedRow(column);
        if (first < 0) continue;
        firstColumn_ = std::min(firstColumn_, c);
        firstRow_ = std::min(firstRow_, first);
        lastRow_ = std::max(lastRow_, LastSelectedRow(column));
    }
    until_ = lastRow_ + 1;
}

void CRange::Base() {
    baseStart_ = baseOrigin_ = firstRow_;
    baseLength_ = lastRow_ - firstRow_ + 1;
    repeat_ = 1;
}

Result CRange::BeginChange() {
    scene_.SetUnsavedChanges(true);
    return history_.RecordEdit(sheet_);
}

void CRange::EndChange() {
    commands_.SendCommand(cmd::kEditorGoToCurrent);
    commands_.SendCommand(cmd::kRangeReload);
}

void CRange::UnselectBlankColumn() {
    if (CNode* last = sheet_.Levels().back()) last->children->unselectAll();
}

// The sheet keeps its invariants before the range is measured again, so the
// blanks counted below the range are the ones the sheet really keeps.
void CRange::FinishEdit() {
    UnselectBlankColumn();
    sheet_.Normalise();
}

std::int64_t CRange::RowLimit() const {
    return std::max<std::int64_t>(kMaxRows, sheet_.SheetLength());
}

// The C runtime's generator, seeded with the clock on every pick: state =
// state * 214013 + 2531011, the pick is bits 16 to 30. Picks within one
// second all draw the same number.
int CRange::DrawRandom() const {
    auto state = static_cast<std::uint32_t>(clock_());
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

// ---- ordering

void CRange::ReorderColumn(CNode& column, Order order) {
    CNodeList& cells = *column.children;
    const bool sorting = order == Order::kAscend || order == Order::kDescend;
    while (cells.at(firstRow_) != nullptr && cells.at(firstRow_)->IsSelected()) {
        auto cell = cells.take(firstRow_);
        if (sorting) {
            buffer_.insertSorted(std::move(cell));
        } else {
            buffer_.append(std::move(cell));
        }
    }
    int at = std::min(firstRow_, cells.size());
    while (!buffer_.empty()) {
        switch (order) {
            case Order::kKeep:
            case Order::kAscend:
                cells.insert(at++, buffer_.take(0));
                break;
            case Order::kReverse:
            case Order::kDescend:
                cells.insert(at++, buffer_.take(buffer_.size() - 1));
                break;
            case Order::kRandom: {
                const int count = buffer_.size();
                const int index = static_cast<int>(std::int64_t{DrawRandom()} * count / 32768);
                // The run of equal names in the buffer around the pick.
                int first = index;
                while (first > 0 && buffer_.at(first - 1)->name == buffer_.at(index)->name)
                    --first;
                int end = index + 1;
                while (end < count && buffer_.at(end)->name == buffer_.at(index)->name)
                    ++end;
                for (int k = first; k < end; ++k)
                    cells.insert(at++, buffer_.take(first));
                break;
            }
        }
    }
}

Result CRange::ChangeOrdering(const QString& text) {
    if (!HasRange()) return kOk;
    const Result result = BeginChange();
    if (text != ordering_) {
        ordering_ = text;
        const Order order = OrderOf(text);
        for (int c = firstColumn_; c <= LastRangeColumn(); ++c)
            ReorderColumn(*sheet_.Levels().at(c), order);
        FinishEdit();
        Measure();
        sheet_.SetCurrentFrame(firstRow_ + (lastRow_ - firstRow_) / 2);
    }
    EndChange();
    return result;
}

// ---- timing

Result CRange::ChangeTiming(int timing) {
    if (!HasRange()) return kOk;
    const Result result = BeginChange();
    if (timing >= 1 && timing != timing_) {
        // Every run the walk meets gets `timing` cells: refuse what would
        // swell the sheet past any use.
        std::int64_t runs = 0;
        for (int c = firstColumn_; c <= LastRangeColumn(); ++c) {
            const CNode& column = *sheet_.Levels().at(c);
            for (int row = firstRow_;
                 column.children->at(row) != nullptr && column.children->at(row)->IsSelected();) {
                ++runs;
                row = CXshtList::RunStart(column, row) + CXshtList::RunLength(column, row);
            }
        }
        if (sheet_.SheetLength() + runs * timing <= RowLimit()) {
            timing_ = timing;
            for (int c = firstColumn_; c <= LastRangeColumn(); ++c) {
                CNode& column = *sheet_.Levels().at(c);
                CNodeList& cells = *column.children;
                for (int row = firstRow_;
                     cells.at(row) != nullptr && cells.at(row)->IsSelected();) {
                    const int start = CXshtList::SetRunLength(column, row, timing);
                    for (int k = start; k < start + timing; ++k)
                        cells.at(k)->Select();
                    row = start + timing;
                }
            }
            FinishEdit();
            Bounds();
            Base();
            sheet_.SetCurrentFrame(firstRow_ + (lastRow_ - firstRow_) / 2);
        }
    }
    EndChange();
    return result;
}

// ---- until and repeat

bool CRange::MoveUntil(int until) {
    if (until < baseOrigin_ + baseLength_ || until == until_ || until > RowLimit()) return false;
    const int delta = until - until_;
    int moved = 0;
    for (int c = firstColumn_; c <= LastRangeColumn(); ++c) {
        CNode& column = *sheet_.Levels().at(c);
        if (!HasSelected(column)) continue;
        CNodeList& cells = *column.children;
        moved = 0;
        if (delta < 0) {
            for (int k = 0, row = lastRow_; k < -delta; ++k, --row) {
                const CNode* cell = cells.at(row);
                if (cell == nullptr) break;
                if (cell->IsSelected()) {
                    cells.erase(row);
                    ++moved;
                }
            }
        } else {
            // The block repeats itself cell by cell: the walk runs on into
            // the copies it has just made.
            for (int k = 0, from = baseStart_, at = lastRow_ + 1; k < delta; ++k, ++from) {
                const CNode* cell = cells.at(from);
                if (cell == nullptr || !cell->IsSelected()) break;
                cells.insert(at++, cell->CloneCell());
                ++moved;
            }
        }
    }
    baseStart_ += delta > 0 ? moved : -moved;
    until_ = until;
    FinishEdit();
    Measure();
    Bounds();
    sheet_.SetCurrentFrame(lastRow_);
    repeat_ = (until_ - firstRow_) / std::max(baseLength_, 1);
    return true;
}

Result CRange::ChangeUntil(int until) {
    if (!HasRange()) return kOk;
    const Result result = BeginChange();
    MoveUntil(until);
    EndChange();
    return result;
}

Result CRange::ChangeRepeat(int repeat) {
    if (!HasRange()) return kOk;
    const Result result = BeginChange();
    if (repeat >= 1 && repeat != repeat_) {
        const std::int64_t block = (std::int64_t{lastRow_} - firstRow_ + 1) / std::max(repeat_, 1);
        const std::int64_t until = firstRow_ + repeat * block;
        if (until <= RowLimit() && (until == until_ || MoveUntil(static_cast<int>(until)))) {
            repeat_ = repeat;
        }
    }
    EndChange();
    return result;
}

// ---- blanks before and after

void CRange::ChangeBlanksBeside(int row, int delta, bool above) {
    for (int c = firstColumn_; c <= LastRangeColumn(); ++c) {
        CNode& column = *sheet_.Levels().at(c);
        if (!HasSelected(column)) continue;
        CNodeList& cells = *column.children;
        const CNode* anchor = cells.at(row);
        if (anchor == nullptr) continue;
        for (int k = 0; k < std::abs(delta); ++k) {
            const int at = cells.indexOf(anchor) + (above ? 0 : 1);
            if (delta > 0) {
                cells.insert(at, CNode::NewCell(nullptr));
                continue;
            }
            const int beside = above ? at - 1 : at;
            if (beside >= 0 && beside < cells.size() && IsBlank(cells.at(beside))) {
                cells.erase(beside);
            }
        }
    }
}

Result CRange::ChangeBefore(int before) {
    if (!HasRange()) return kOk;
    const Result result = BeginChange();
    if (before >= 0 && before != before_ && sheet_.SheetLength() + before <= RowLimit()) {
        const int delta = before - before_;
        ChangeBlanksBeside(firstRow_, delta, true);
        baseStart_ += delta;
        baseOrigin_ += delta;
        before_ = before;
        FinishEdit();
        Measure();
        Bounds();
        sheet_.SetCurrentFrame(firstRow_);
    }
    EndChange();
    return result;
}

Result CRange::ChangeAfter(int after) {
    if (!HasRange()) return kOk;
    const Result result = BeginChange();
    if (after >= 0 && after != after_ && sheet_.SheetLength() + after <= RowLimit()) {
        ChangeBlanksBeside(lastRow_, after - after_, false);
        after_ = after;
        FinishEdit();
        Measure();
        Bounds();
        sheet_.SetCurrentFrame(lastRow_);
    }
    EndChange();
    return result;
}

}  // namespace kolvane
