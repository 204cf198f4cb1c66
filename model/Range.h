#pragma once

#include <cstdint>
#include <functional>

#include <QString>
#include <QStringList>

#include "model/NodeList.h"
#include "platform/ResultCodes.h"

namespace kolvane {

class CSceneState;
class CXshtList;
class ICommandSink;
class ISheetHistory;

// The range: the block of selected cells of the exposure sheet, and the six
// properties the range dialog edits (ordering, timing, repeat, until, before,
// after). Rows are 0-based; the trailing blank column never takes part and
// loses its selection after every change.
//
// Every change marks the scene changed, keeps an undo step of the sheet as it
// was, edits, normalises the sheet, and sends 33041 and 33050. A value that
// would do nothing, or that makes no sense (a timing or repeat below 1, a
// negative count, an until inside the base block), leaves the sheet as it is.
class CRange {
  public:
    // Seconds since the epoch; the random ordering seeds from it.
    using Clock = std::function<std::int64_t()>;

    enum class Order { kKeep, kAscend, kDescend, kReverse, kRandom };

    // No range grows the sheet beyond this many rows (about an hour at 30
    // frames per second), or beyond its current length when that is longer.
    static constexpr int kMaxRows = 1 << 17;

    CRange(CXshtList& sheet, CSceneState& scene, ISheetHistory& history, ICommandSink& commands,
           Clock clock = {});

    // Measures the selection afresh (dialog opening, 33027).
    void Initialise();

    // The changes 33051-33056. Each answers 0, or the message number of an
    // undo step that could not be kept (the change is made all the same).
    Result ChangeOrdering(const QString& text);
    Result ChangeTiming(int timing);
    Result ChangeRepeat(int repeat);
    Result ChangeUntil(int until);
    Result ChangeBefore(int before);
    Result ChangeAfter(int after);

    // The ordering choices in the order the dialog lists them.
    static QStringList OrderingChoices();
    static Order OrderOf(const QString& text);

    // A range exists while timing is not 0; the dialog's controls follow.
    bool HasRange() const { return timing_ != 0; }
    const QString& Ordering() const { return ordering_; }
    int Timing() const { return timing_; }
    int Repeat() const { return repeat_; }
    int Until() const { return until_; }
    int Before() const { return before_; }
    int After() const { return after_; }
    int FirstColumn() const { return firstColumn_; }
    int FirstRow() const { return firstRow_; }
    int LastRow() const { return lastRow_; }
    int BaseStart() const { return baseStart_; }
    int BaseLength() const { return baseLength_; }

  private:
    Result BeginChange();
    void EndChange();
    void Measure();
    void Bounds();
    void Base();
    // Applies an until change; false when the value does nothing.
    bool MoveUntil(int until);
    void ReorderColumn(CNode& column, Order order);
    // In every selected column: `delta` blank cells put next to the cell in
    // `row` (above or below it), or for a negative delta as many blank cells
    // there taken away.
    void ChangeBlanksBeside(int row, int delta, bool above);
    // Index of the last column that takes part (the next-to-last one).
    int LastRangeColumn() const;
    void UnselectBlankColumn();
    void FinishEdit();
    std::int64_t RowLimit() const;
    int DrawRandom() const;

    CXshtList& sheet_;
    CSceneState& scene_;
    ISheetHistory& history_;
    ICommandSink& commands_;
    Clock clock_;

    int firstColumn_ = 0;
    int firstRow_ = 0;
    int lastRow_ = 0;
    int baseStart_ = 0;
    int baseLength_ = 0;
    // Where the based block began; base start walks on with each extension,
    // this stays, so the range can shrink back to its block.
    int baseOrigin_ = 0;
    CNodeList buffer_;
    QString ordering_;
    int timing_ = 0;
    int repeat_ = 0;
    int until_ = 0;
    int before_ = 0;
    int after_ = 0;
};

}  // namespace kolvane
