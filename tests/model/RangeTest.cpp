#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "model/Range.h"
#include "model/SceneState.h"
#include "model/SheetHistory.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "tests/support/SheetPatterns.h"

namespace kolvane {
namespace {

using test::AddColumn;
using test::CellNames;
using test::SelectRows;

// Keeps what the sheet looked like at every recorded step.
class CFakeHistory : public ISheetHistory {
  public:
    Result RecordEdit(const CXshtList& sheet) override {
        snapshots.push_back(test::SheetText(sheet));
        return answer;
    }
    void Reset() override { ++resets; }

    std::vector<QString> snapshots;
    Result answer = kOk;
    int resets = 0;
};

class CFakeSink : public ICommandSink {
  public:
    void SendCommand(int id) override { sent.push_back(id); }
    void PostCommand(int id) override { sent.push_back(id); }
    std::vector<int> sent;
};

// The seed whose first draw of the C runtime generator is `r`: the state
// after one step must hold r in its bits 16 to 30.
std::int64_t SeedDrawing(int r) {
    const std::uint32_t a = 214013u;
    std::uint32_t inverse = a;  // Newton's iteration for a^-1 mod 2^32
    for (int i = 0; i < 5; ++i)
        inverse *= 2u - a * inverse;
    const std::uint32_t state = static_cast<std::uint32_t>(r) << 16;
    return (state - 2531011u) * inverse;
}

class RangeTest : public ::testing::Test {
  protected:
    RangeTest() {
        scene.SetShownBy([this](bool unsaved) { title.ShowUnsavedChanges(unsaved); });
    }
    CNode* Column(const QString& name, const QStringList& pattern) {
        return AddColumn(sheet, media, name, pattern);
    }
    // Normalises the columns built so far, selects and measures.
    void Select(CNode* column, int first, int last) {
        SelectRows(*column, first, last);
        sheet.RecomputeSummaries();
    }
    void Start() {
        sheet.Normalise();
        range.Initialise();
    }
    QStringList Cells(int column) const { return CellNames(*sheet.Levels().at(column)); }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    CTitleBar title{settings};
    CSceneState scene;  // shown by the title, as the program links them
    CFakeHistory history;
    CFakeSink sink;
    std::int64_t now = 1'700'000'000;
    CRange range{sheet, scene, history, sink, [this] { return now; }};
};

TEST_F(RangeTest, MeasuresTimingOverWholeRunsAndTheBlanksAround) {
    // The selection starts inside A's exposure: A counts with both frames.
    CNode* c = Column("c", {"X", "-", "A", "A", "B", "B", "C", "C", "C", "C", "-", "-", "Y"});
    Select(c, 3, 9);
    Start();

    EXPECT_TRUE(range.HasRange());
    EXPECT_EQ(range.Ordering(), "keep");
    EXPECT_EQ(range.Timing(), 2);  // 8 frames / 3 exposures
    EXPECT_EQ(range.Repeat(), 1);
    EXPECT_EQ(range.FirstColumn(), 0);
    EXPECT_EQ(range.FirstRow(), 3);
    EXPECT_EQ(range.LastRow(), 9);
    EXPECT_EQ(range.Until(), 10);
    EXPECT_EQ(range.BaseStart(), 3);
    EXPECT_EQ(range.BaseLength(), 7);
    EXPECT_EQ(range.Before(), 0);  // A's first frame is not blank
    EXPECT_EQ(range.After(), 2);
}

TEST_F(RangeTest, NoRangeWithoutSelectionOrWithOnlyTheBlankColumnSelected) {
    Column("c", {"A", "B"});
    Start();
    EXPECT_FALSE(range.HasRange());
    EXPECT_TRUE(range.Ordering().isEmpty());

    SelectRows(*sheet.Levels().back(), 0, 1);
    range.Initialise();
    EXPECT_FALSE(range.HasRange());
    EXPECT_EQ(range.ChangeTiming(4), kOk);
    EXPECT_EQ(Cells(0), (QStringList{"A", "B", "-"}));
    EXPECT_TRUE(history.snapshots.empty());
    EXPECT_TRUE(sink.sent.empty());
}

TEST_F(RangeTest, EveryChangeMarksRecordsFirstThenNotifies) {
    CNode* c = Column("c", {"A", "B"});
    Select(c, 0, 1);
    Start();
    const QString before = test::SheetText(sheet);

    history.answer = msg::kUndoNotSaved;
    EXPECT_EQ(range.ChangeTiming(2), msg::kUndoNotSaved);

    EXPECT_EQ(title.Mark(), "*");
    ASSERT_EQ(history.snapshots.size(), 1u);
    EXPECT_EQ(history.snapshots[0], before) << "the snapshot holds the sheet before the edit";
    EXPECT_EQ(Cells(0), (QStringList{"A", "A", "B", "B", "-"}))
        << "a failed snapshot stops nothing";
    EXPECT_EQ(sink.sent, (std::vector<int>{cmd::kEditorGoToCurrent, cmd::kRangeReload}));
}

TEST_F(RangeTest, TimingStretchesEverySelectedExposureIncludingOneBegunAbove) {
    CNode* c = Column("c", {"A", "A", "B", "B", "C", "D"});
    Select(c, 1, 4);
    Start();

    range.ChangeTiming(3);
    EXPECT_EQ(Cells(0), (QStringList{"A", "A", "A", "B", "B", "B", "C", "C", "C", "D", "-"}));
    EXPECT_EQ(range.Timing(), 3);
    EXPECT_EQ(range.FirstRow(), 0);
    EXPECT_EQ(range.LastRow(), 8);
    EXPECT_EQ(range.BaseStart(), 0);
    EXPECT_EQ(range.BaseLength(), 9);
    EXPECT_EQ(range.Repeat(), 1);
    EXPECT_EQ(sheet.CurrentFrame(), 4);
    EXPECT_FALSE(c->children->at(9)->IsSelected());

    range.ChangeTiming(1);
    EXPECT_EQ(Cells(0), (QStringList{"A", "B", "C", "D", "-"}));
}

TEST_F(RangeTest, ValuesThatWouldDoNothingOrHarmLeaveTheSheetButStillRecord) {
    CNode* c = Column("c", {"X", "A", "A", "B", "B", "-", "Y"});
    Select(c, 1, 4);
    Start();
    const QString unchanged = test::SheetText(sheet);

    struct Case {
        const char* what;
        Result (CRange::*change)(int);
        int value;
    } cases[] = {
        {"timing 0", &CRange::ChangeTiming, 0},
        {"timing -2", &CRange::ChangeTiming, -2},
        {"timing unchanged", &CRange::ChangeTiming, 2},
        {"timing past any use", &CRange::ChangeTiming, 1 << 30},
        {"repeat 0", &CRange::ChangeRepeat, 0},
        {"repeat -1", &CRange::ChangeRepeat, -1},
        {"repeat past any use", &CRange::ChangeRepeat, 1 << 30},
        {"until inside the block", &CRange::ChangeUntil, 4},
        {"until -5", &CRange::ChangeUntil, -5},
        {"before -1", &CRange::ChangeBefore, -1},
        {"after -3", &CRange::ChangeAfter, -3},
        {"after unchanged", &CRange::ChangeAfter, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const std::size_t recorded = history.snapshots.size();
        (range.*k.change)(k.value);
        EXPECT_EQ(test::SheetText(sheet), unchanged);
        EXPECT_EQ(history.snapshots.size(), recorded + 1);
        EXPECT_EQ(range.Timing(), 2);
        EXPECT_EQ(range.Repeat(), 1);
        EXPECT_EQ(range.Until(), 5);
        EXPECT_EQ(range.Before(), 0);
        EXPECT_EQ(range.After(), 1);
    }
}

TEST_F(RangeTest, OrderingsRearrangeTheSelectedCellsInPlace) {
    struct Case {
        const char* ordering;
        QStringList cells;
        QStringList result;
    } cases[] = {
        {"reverse", {"A", "A", "B", "C"}, {"C", "B", "A", "A"}},
        {"descend", {"B", "A", "C"}, {"C", "B", "A"}},
        {"ascend", {"C", "A", "B", "A"}, {"A", "A", "B", "C"}},
        {"keep", {"B", "A", "C"}, {"B", "A", "C"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.ordering);
        sheet.Clear();
        CNode* c = Column("c", QStringList{"X"} + k.cells + QStringList{"Y"});
        Select(c, 1, static_cast<int>(k.cells.size()));
        Start();
        range.ChangeOrdering(k.ordering);
        EXPECT_EQ(Cells(0), (QStringList{"X"} + k.result + QStringList{"Y", "-"}));
        EXPECT_EQ(range.Ordering(), k.ordering);
    }
}

TEST_F(RangeTest, OrderingTheSameWayTwiceDoesNothingTheSecondTime) {
    CNode* c = Column("c", {"A", "B", "C"});
    Select(c, 0, 2);
    Start();
    range.ChangeOrdering("reverse");
    range.ChangeOrdering("reverse");
    EXPECT_EQ(Cells(0), (QStringList{"C", "B", "A", "-"}));
}

TEST_F(RangeTest, RandomOrderDrawsFromTheRuntimeGeneratorSeededEachPick) {
    // Within one second every pick draws the same number r, and each takes
    // the run around index r * (cells left) / 32768 of the buffer.
    struct Case {
        int r;
        QStringList result;
    } cases[] = {
        {32767, {"D", "C", "B", "A", "A"}},
        {16384, {"B", "C", "A", "A", "D"}},
        {0, {"A", "A", "B", "C", "D"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.r);
        sheet.Clear();
        CNode* c = Column("c", {"A", "A", "B", "C", "D"});
        Select(c, 0, 4);
        Start();
        now = SeedDrawing(k.r);
        range.ChangeOrdering("random");
        EXPECT_EQ(Cells(0), k.result + QStringList{"-"});
    }
}

TEST_F(RangeTest, RepeatAppendsCopiesAndShrinksBackToTheBlock) {
    CNode* c = Column("c", {"X", "A", "B", "C", "D", "-", "Y"});
    Select(c, 1, 4);
    Start();

    range.ChangeRepeat(3);
    EXPECT_EQ(Cells(0), (QStringList{"X", "A", "B", "C", "D", "A", "B", "C", "D", "A", "B", "C",
                                     "D", "-", "Y", "-"}));
    EXPECT_EQ(range.Repeat(), 3);
    EXPECT_EQ(range.Until(), 1 + 12);
    EXPECT_EQ(range.LastRow(), 12);
    EXPECT_EQ(sheet.CurrentFrame(), 12);

    // Fewer repeats take the copies away again.
    range.ChangeRepeat(2);
    EXPECT_EQ(Cells(0).mid(0, 11),
              (QStringList{"X", "A", "B", "C", "D", "A", "B", "C", "D", "-", "Y"}));
    EXPECT_EQ(range.Repeat(), 2);
    EXPECT_EQ(range.Until(), 9);

    range.ChangeRepeat(1);
    EXPECT_EQ(Cells(0), (QStringList{"X", "A", "B", "C", "D", "-", "Y", "-"}));
    EXPECT_EQ(range.Repeat(), 1);
}

TEST_F(RangeTest, UntilContinuesThePatternWhereTheLastExtensionStopped) {
    CNode* c = Column("c", {"A", "B", "C", "D"});
    Select(c, 0, 3);
    Start();

    range.ChangeUntil(6);
    EXPECT_EQ(Cells(0), (QStringList{"A", "B", "C", "D", "A", "B", "-"}));
    EXPECT_EQ(range.Repeat(), 1);  // 6 / 4
    range.ChangeUntil(8);
    EXPECT_EQ(Cells(0), (QStringList{"A", "B", "C", "D", "A", "B", "C", "D", "-"}));
    EXPECT_EQ(range.Repeat(), 2);
    range.ChangeUntil(7);
    range.ChangeUntil(10);
    EXPECT_EQ(Cells(0), (QStringList{"A", "B", "C", "D", "A", "B", "C", "D", "A", "B", "-"}));

    // Never into the block itself.
    range.ChangeUntil(3);
    EXPECT_EQ(Cells(0).size(), 11);
}

TEST_F(RangeTest, UntilWorksOnEverySelectedColumnAndStopsAtUnselectedCells) {
    CNode* a = Column("a", {"A", "B", "-"});
    CNode* b = Column("b", {"P", "Q", "R"});
    Select(a, 0, 1);
    Select(b, 1, 1);  // its selection starts below the base row
    Start();
    EXPECT_EQ(range.FirstColumn(), 0);

    range.ChangeUntil(4);
    EXPECT_EQ(Cells(0), (QStringList{"A", "B", "A", "B", "-"}));
    EXPECT_EQ(Cells(1), (QStringList{"P", "Q", "R", "-", "-"}));
    EXPECT_EQ(Cells(2), (QStringList{"-", "-", "-", "-", "-"}));
}

TEST_F(RangeTest, BlanksBeforeAndAfterComeAndGo) {
    CNode* c = Column("c", {"X", "A", "B", "Y"});
    CNode* d = Column("d", {"-", "P", "Q", "-"});
    Select(c, 1, 2);
    Select(d, 1, 2);
    Start();
    EXPECT_EQ(range.Before(), 0);
    EXPECT_EQ(range.After(), 0);

    range.ChangeBefore(2);
    EXPECT_EQ(Cells(0), (QStringList{"X", "-", "-", "A", "B", "Y", "-"}));
    EXPECT_EQ(Cells(1), (QStringList{"-", "-", "-", "P", "Q", "-", "-"}));
    EXPECT_EQ(range.Before(), 2);
    EXPECT_EQ(range.FirstRow(), 3);
    EXPECT_EQ(range.BaseStart(), 3);
    EXPECT_EQ(sheet.CurrentFrame(), 3);

    range.ChangeAfter(1);
    EXPECT_EQ(Cells(0), (QStringList{"X", "-", "-", "A", "B", "-", "Y", "-"}));
    EXPECT_EQ(range.After(), 1);
    EXPECT_EQ(sheet.CurrentFrame(), 4);

    range.ChangeBefore(0);
    range.ChangeAfter(0);
    EXPECT_EQ(Cells(0), (QStringList{"X", "A", "B", "Y", "-"}));
    EXPECT_EQ(Cells(1), (QStringList{"-", "P", "Q", "-", "-"}));

    // Blanks added before the block move it: a repeat still copies the block.
    range.ChangeBefore(1);
    range.ChangeRepeat(2);
    EXPECT_EQ(Cells(0), (QStringList{"X", "-", "A", "B", "A", "B", "Y", "-"}));
}

TEST_F(RangeTest, TheBlankColumnLosesItsSelectionAfterAChange) {
    CNode* c = Column("c", {"A", "B"});
    Select(c, 0, 1);
    Start();
    CNode* blank = sheet.Levels().back();
    SelectRows(*blank, 0, 1);
    range.ChangeAfter(2);
    for (const CNode* cell : *sheet.Levels().back()->children)
        EXPECT_FALSE(cell->IsSelected());
    EXPECT_EQ(Cells(0), (QStringList{"A", "B", "-"})) << "trailing blanks are the sheet's own";
}

}  // namespace
}  // namespace kolvane
