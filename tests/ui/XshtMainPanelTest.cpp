#include <gtest/gtest.h>

#include <vector>

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QTest>

#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/SceneState.h"
#include "model/SheetHistory.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "tests/support/SheetPatterns.h"
#include "tests/ui/PanelFixtures.h"
#include "ui/CounterBar.h"
#include "ui/RangeDialog.h"
#include "ui/ScrollBar.h"
#include "ui/TrackTip.h"
#include "ui/UiMetrics.h"
#include "ui/XshtMainPanel.h"
#include "ui/XshtView.h"

namespace kolvane {
namespace {

using test::AddColumn;
using test::CellNames;
using test::CSnapshotCounter;

// Routes every command to the panel, as the frame would, and keeps a record.
class CPanelSink : public ICommandSink {
  public:
    void SendCommand(int id) override {
        sent.push_back(id);
        if (panel != nullptr) panel->OnCommand(id);
    }
    void PostCommand(int id) override { SendCommand(id); }
    int Count(int id) const { return static_cast<int>(std::count(sent.begin(), sent.end(), id)); }
    CXshtMainPanel* panel = nullptr;
    std::vector<int> sent;
};

class XshtMainPanelTest : public ::testing::Test {
  protected:
    XshtMainPanelTest() {
        settings.Set(ColumnCount, 4);
        settings.Set(CellInfo, 1);
        links.media = &media;
        links.sheet = &sheet;
        links.settings = &settings;
        links.title = &title;
        sceneState.SetShownBy([this](bool unsaved) { title.ShowUnsavedChanges(unsaved); });
        links.sceneState = &sceneState;
        links.history = &history;
        links.escapeHeld = [this] { return escape; };
        links.currentFrameMoved = [this](int from) {
            moves.push_back({from, sheet.CurrentFrame()});
        };
        panel = new CXshtMainPanel(sink, links, &window);
        sink.panel = panel;
        window.resize(640, LineHeight() * 14);
        panel->setGeometry(window.rect());
        window.show();
        QApplication::processEvents();
    }
    ~XshtMainPanelTest() override {
        sink.panel = nullptr;
        delete panel;
    }

    // Columns from patterns, normalised as after any edit.
    void Sheet(std::initializer_list<std::pair<const char*, QStringList>> columns) {
        for (const auto& [name, pattern] : columns)
            AddColumn(sheet, media, QString::fromLatin1(name), pattern);
        sink.SendCommand(cmd::kSheetChanged);
        sink.sent.clear();
        history.recorded = 0;
    }
    CXshtView& View() { return panel->View(); }
    QPoint At(int column, int row) { return View().CellRect({column, row}).center(); }
    QStringList Column(int index) { return CellNames(*sheet.Levels().at(index)); }
    QStringList Selected() {
        QStringList cells;
        for (int c = 0; c < sheet.Levels().size(); ++c) {
            const CNodeList& children = *sheet.Levels().at(c)->children;
            for (int r = 0; r < children.size(); ++r) {
                if (children.at(r)->IsSelected()) cells << QStringLiteral("%1:%2").arg(c).arg(r);
            }
        }
        return cells;
    }
    void Click(int column, int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(&View(), Qt::LeftButton, modifiers, At(column, row));
    }
    // A mouse event as the window system sends it, with the buttons held.
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
               Qt::KeyboardModifiers modifiers = {}) {
        QMouseEvent event(type, at, View().mapToGlobal(at), button, held, modifiers);
        QApplication::sendEvent(&View(), &event);
    }
    // Drags cell (column, row) by `rows` rows with the middle button, one row a move.
    void Retime(int column, int row, int rows, Qt::KeyboardModifiers modifiers = {}) {
        Mouse(QEvent::MouseButtonPress, At(column, row), Qt::MiddleButton, Qt::MiddleButton,
              modifiers);
        const int step = rows > 0 ? 1 : -1;
        for (int i = step; i != rows + step; i += step)
            Mouse(QEvent::MouseMove, At(column, row + i), Qt::NoButton, Qt::MiddleButton,
                  modifiers);
        Mouse(QEvent::MouseButtonRelease, At(column, row + rows), Qt::MiddleButton, Qt::NoButton,
              modifiers);
    }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    CTitleBar title{settings};
    CSceneState sceneState;
    CSnapshotCounter history;
    CPanelSink sink;
    SceneLinks links;
    bool escape = false;
    std::vector<std::pair<int, int>> moves;  // the current frame's, from and to
    QWidget window;
    CXshtMainPanel* panel;
};

TEST_F(XshtMainPanelTest, ClickCtrlShiftAndDragSelectTheWayASpreadsheetDoes) {
    Sheet({{"a", {"A", "A", "B", "C", "C"}}, {"b", {"D", "E", "E", "F", "G"}}});
    CNode* image = test::ImageItem(media, "A");
    image->Select();
    media.RecomputeSummaries();

    // A click selects only that cell, in the media list too, and makes its
    // row the current frame; the other panels and the range dialog follow.
    Click(1, 2);
    EXPECT_EQ(Selected(), QStringList{"1:2"});
    EXPECT_FALSE(image->IsSelected());
    EXPECT_EQ(sheet.CurrentFrame(), 2);
    EXPECT_EQ(sheet.rangeFlag, 1);
    EXPECT_EQ(sink.Count(cmd::kMediaSync), 1);
    EXPECT_EQ(sink.Count(cmd::kEditorRefresh), 1);
    EXPECT_EQ(sink.Count(cmd::kRangeInitialise), 1);

    // Ctrl adds one cell and the selection is no range any more.
    Click(0, 0, Qt::ControlModifier);
    EXPECT_EQ(Selected(), (QStringList{"0:0", "1:2"}));
    EXPECT_EQ(sheet.rangeFlag, 0);

    // Shift after a click: the rectangle between the two.
    Click(0, 1);
    Click(1, 3, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (QStringList{"0:1", "0:2", "0:3", "1:1", "1:2", "1:3"}));

    // A drag keeps only the rectangle under the pointer: going back shrinks it.
    Mouse(QEvent::MouseButtonPress, At(0, 0), Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, At(1, 3), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(Selected().size(), 8);
    Mouse(QEvent::MouseMove, At(0, 1), Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, At(0, 1), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(Selected(), (QStringList{"0:0", "0:1"}));

    // A Ctrl drag from a selected cell takes the anchor's state: it unselects,
    // and what it passes over and leaves again comes back as it was.
    Mouse(QEvent::MouseButtonPress, At(0, 4), Qt::LeftButton, Qt::LeftButton,
          Qt::ControlModifier);  // 0:4 toggles on: the anchor is selected
    Mouse(QEvent::MouseButtonRelease, At(0, 4), Qt::LeftButton, Qt::NoButton, Qt::ControlModifier);
    Mouse(QEvent::MouseButtonPress, At(0, 1), Qt::LeftButton, Qt::LeftButton,
          Qt::ControlModifier);  // 0:1 toggles off
    Mouse(QEvent::MouseMove, At(0, 4), Qt::NoButton, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(Selected(), QStringList{"0:0"});
    Mouse(QEvent::MouseMove, At(0, 2), Qt::NoButton, Qt::LeftButton, Qt::ControlModifier);
    Mouse(QEvent::MouseButtonRelease, At(0, 2), Qt::LeftButton, Qt::NoButton, Qt::ControlModifier);
    EXPECT_EQ(Selected(), (QStringList{"0:0", "0:4"}));
}

struct RetimeCase {
    const char* what;
    int row;
    int rows;
    Qt::KeyboardModifiers modifiers;
    QStringList expected;
};

// Whatever moves the current frame (a click in the grid or on the counter, a
// retiming drag) says where from, so that pictures are read ahead that way.
TEST_F(XshtMainPanelTest, MovingTheCurrentFrameSaysWhereFrom) {
    using Moves = std::vector<std::pair<int, int>>;
    Sheet({{"a", {"A", "B", "C", "D", "E", "F"}}});
    Click(0, 3);
    Click(0, 3);  // not moved
    Click(0, 1);
    EXPECT_EQ(moves, (Moves{{0, 3}, {3, 1}}));
    const int line = LineHeight();
    QTest::mouseClick(&panel->Counter(), Qt::LeftButton, {},
                      QPoint(5, View().HeaderHeight() + 4 * line + line / 2));
    EXPECT_EQ(sheet.CurrentFrame(), 4);
    Retime(0, 2, 1);
    ASSERT_GE(moves.size(), 4u);
    EXPECT_EQ(moves[2], std::make_pair(1, 4));
    EXPECT_EQ(moves[3], std::make_pair(4, 2));
}

TEST_F(XshtMainPanelTest, DraggingRetimesAtAnExposureStartAndInsideOne) {
    // Column "a": A A B B C, then the trailing blank row.
    const RetimeCase cases[] = {
        {"down from B's first frame: the exposure above grows",
         2,
         2,
         {},
         {"A", "A", "A", "A", "B", "B", "C", "-"}},
        {"down from B's second frame: B grows", 3, 2, {}, {"A", "A", "B", "B", "B", "B", "C", "-"}},
        {"up from B's first frame: A shrinks but never vanishes",
         2,
         -2,
         {},
         {"A", "B", "B", "C", "-"}},
        {"up from B's second frame: B shrinks", 3, -1, {}, {"A", "A", "B", "C", "-"}},
        {"down from the first frame: a blank exposure above",
         0,
         1,
         {},
         {"-", "A", "A", "B", "B", "C", "-"}},
        {"Alt and middle down: only the boundary moves",
         2,
         1,
         Qt::AltModifier,
         {"A", "A", "A", "B", "C", "-"}},
        {"Alt and middle up: only the boundary moves",
         2,
         -1,
         Qt::AltModifier,
         {"A", "B", "B", "B", "C", "-"}},
    };
    for (const RetimeCase& c : cases) {
        sheet.Clear();
        Sheet({{"a", {"A", "A", "B", "B", "C"}}});
        Retime(0, c.row, c.rows, c.modifiers);
        EXPECT_EQ(Column(0), c.expected) << c.what;
        EXPECT_EQ(history.recorded, 1) << c.what;
        EXPECT_EQ(title.Mark(), "*");
        EXPECT_FALSE(View().IsRetiming());
        // The dragged cell is the only one selected.
        EXPECT_EQ(sheet.Totals().selected, 1) << c.what;
    }
}

TEST_F(XshtMainPanelTest, ASoundDraggedDownContinuesTheSoundAboveFrameByFrame) {
    CNode* hum = media.AddMediaFile(kTypeSound, QStringLiteral("/scene/hum.wav"));
    CNode* boom = media.AddMediaFile(kTypeSound, QStringLiteral("/scene/boom.wav"));
    CNode* column = sheet.GetColumn(0, QStringLiteral("fx"));
    for (auto [item, index] : {std::pair{hum, 1}, {hum, 2}, {boom, 1}, {boom, 2}}) {
        CNode* cell = column->children->append(CNode::NewCell(item));
        cell->name = SoundCellName(item->name, index);
    }
    sink.SendCommand(cmd::kSheetChanged);
    // Pressing any cell of "boom" drags the whole sound from its first cell.
    Retime(0, 3, 2);
    EXPECT_EQ(Column(0), (QStringList{SoundCellName("hum", 1), SoundCellName("hum", 2),
                                      SoundCellName("hum", 3), SoundCellName("hum", 4),
                                      SoundCellName("boom", 1), SoundCellName("boom", 2), "-"}));
}

TEST_F(XshtMainPanelTest, ScrolledToItsEndTheGridFollowsTheFramesTheDragInserts) {
    QStringList cells;
    for (int i = 0; i < 30; ++i)
        cells << "A";
    cells << "B"
          << "B"
          << "B";
    Sheet({{"a", cells}});
    View().SetFirstRow(sheet.SheetLength());
    const int end = View().FirstRow();
    ASSERT_GT(end, 0);
    const QPoint pointer = At(0, 30);
    const int line = LineHeight();
    Mouse(QEvent::MouseButtonPress, pointer, Qt::MiddleButton, Qt::MiddleButton);
    for (int rows = 1; rows <= 2; ++rows)
        Mouse(QEvent::MouseMove, pointer + QPoint(0, rows * line), Qt::NoButton, Qt::MiddleButton);
    Mouse(QEvent::MouseButtonRelease, pointer + QPoint(0, 2 * line), Qt::MiddleButton,
          Qt::NoButton);
    EXPECT_EQ(test::CellNames(*sheet.Levels().at(0)).count("A"), 32);
    EXPECT_EQ(View().FirstRow(), end + 2);
    // Each row the pointer went down put one more frame above B, and the
    // grid scrolled with them: B's first frame stays where it was pressed.
    EXPECT_EQ(View().CellAt(pointer).row, 32);
    EXPECT_EQ(View().NodeAt({0, 32})->name, "B");
    EXPECT_EQ(View().NodeAt({0, 31})->name, "A");
}

TEST_F(XshtMainPanelTest, TheTipShowsTheExposureLengthWhileRetiming) {
    Sheet({{"a", {"A", "A", "B", "B", "C"}}});
    Mouse(QEvent::MouseButtonPress, At(0, 3), Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_EQ(sink.Count(cmd::kMediaSync), 1);
    EXPECT_EQ(sink.Count(cmd::kEditorRefresh), 1);
    Mouse(QEvent::MouseMove, At(0, 4), Qt::NoButton, Qt::MiddleButton);
    EXPECT_EQ(View().TrackTip()->Text(), "3");
    EXPECT_EQ(sheet.CurrentFrame(), 4);
    EXPECT_GE(sink.Count(cmd::kSheetChanged), 1);
    EXPECT_GE(sink.Count(cmd::kRangeInitialise), 1);
    Mouse(QEvent::MouseButtonRelease, At(0, 4), Qt::MiddleButton, Qt::NoButton);
    EXPECT_FALSE(View().TrackTip()->isVisible());
}

TEST_F(XshtMainPanelTest, DuplicateWaitsForATargetThenCopiesIntoTheTrailingColumn) {
    Sheet({{"A", {"A 0001", "A 0002", "A 0003", "A 0004"}}});
    Click(0, 1);
    Click(0, 2, Qt::ShiftModifier);
    sink.SendCommand(cmd::kDuplicate);
    EXPECT_TRUE(panel->WaitingForDuplicateTarget());
    EXPECT_EQ(history.recorded, 0);

    // The next left click, right of the last column, names the target: the
    // copies go into the trailing blank column at the clicked row.
    const QPoint right(View().width() - 3, At(0, 3).y());
    QTest::mouseClick(&View(), Qt::LeftButton, {}, right);
    EXPECT_FALSE(panel->WaitingForDuplicateTarget());
    EXPECT_EQ(history.recorded, 1);
    ASSERT_EQ(sheet.Levels().size(), 3);
    EXPECT_EQ(sheet.Levels().at(1)->name, "A");  // named after the copies
    EXPECT_EQ(Column(1), (QStringList{"-", "-", "-", "A 0002", "A 0003", "-"}));
    EXPECT_EQ(Column(0), (QStringList{"A 0001", "A 0002", "A 0003", "A 0004", "-", "-"}));
    EXPECT_EQ(sheet.Levels().at(2)->type, kTypeBlankColumn);
}

TEST_F(XshtMainPanelTest, DuplicateWithAltOverwritesAndStopsAtTheColumnsEnd) {
    Sheet({{"a", {"A", "B", "C"}}, {"b", {"D", "E", "F"}}});
    Click(0, 0);
    Click(0, 2, Qt::ShiftModifier);
    sink.SendCommand(cmd::kDuplicate);
    // The button (or Insert) the second time, with the pointer on b's second row.
    QCursor::setPos(View().mapToGlobal(At(1, 1)));
    QTest::keyPress(&View(), Qt::Key_Alt, Qt::AltModifier);  // the state the command reads
    sink.SendCommand(cmd::kDuplicate);
    QTest::keyRelease(&View(), Qt::Key_Alt);
    // The trailing row is taken, and no row more.
    EXPECT_EQ(Column(1), (QStringList{"D", "A", "B", "C", "-"}));
    EXPECT_EQ(Column(0), (QStringList{"A", "B", "C", "-", "-"}));
}

TEST_F(XshtMainPanelTest, ADuplicateCancelledWithEscapeOrOutsideChangesNothing) {
    Sheet({{"a", {"A", "B", "C"}}});
    Click(0, 0);
    const QString before = test::SheetText(sheet);
    for (const bool withEscape : {true, false}) {
        sink.SendCommand(cmd::kDuplicate);
        escape = withEscape;
        QCursor::setPos(withEscape ? View().mapToGlobal(At(0, 1))
                                   : panel->mapToGlobal(QPoint(-20, -20)));
        sink.SendCommand(cmd::kDuplicate);
        escape = false;
        EXPECT_FALSE(panel->WaitingForDuplicateTarget());
    }
    EXPECT_EQ(test::SheetText(sheet), before);
    EXPECT_EQ(history.recorded, 0);
}

TEST_F(XshtMainPanelTest, RemoveTakesTheCellsOutOrWithAltLeavesBlanks) {
    Sheet({{"a", {"A", "B", "C", "D"}}, {"b", {"E", "F", "G", "H"}}});
    Click(0, 1);
    Click(0, 2, Qt::ShiftModifier);
    QTest::keyPress(&View(), Qt::Key_Alt, Qt::AltModifier);
    sink.SendCommand(cmd::kRemove);
    QTest::keyRelease(&View(), Qt::Key_Alt);
    EXPECT_EQ(Column(0), (QStringList{"A", "-", "-", "D", "-"}));
    EXPECT_EQ(history.recorded, 1);

    Click(1, 0);
    Click(1, 1, Qt::ShiftModifier);
    sink.SendCommand(cmd::kRemove);
    EXPECT_EQ(Column(1), (QStringList{"G", "H", "-", "-", "-"}));
    EXPECT_EQ(Column(0).size(), 5);  // the sheet keeps the longer column's length
    EXPECT_GE(sink.Count(cmd::kRangeInitialise), 1);
}

TEST_F(XshtMainPanelTest, EditOpensTheRangeDialogOnTheSelectionAndHidesWithThePanel) {
    Sheet({{"a", {"A", "A", "B", "B", "C", "C", "C", "C"}}});
    Click(0, 0);
    Click(0, 7, Qt::ShiftModifier);
    sink.SendCommand(cmd::kEditRange);
    ASSERT_NE(panel->RangeDialog(), nullptr);
    EXPECT_TRUE(panel->RangeDialog()->IsOpen());
    EXPECT_EQ(panel->RangeDialog()->Range().Timing(), 2);  // 8 frames over 3 exposures

    panel->hide();
    EXPECT_FALSE(panel->RangeDialog()->isVisible());
    panel->show();
    EXPECT_TRUE(panel->RangeDialog()->isVisible());
    panel->RangeDialog()->End(CBasicDialog::kClose);
}

TEST_F(XshtMainPanelTest, GoToCurrentCentresTheFrameAndTheBarsFollowALongSheet) {
    QStringList frames;
    for (int i = 0; i < 10000; ++i)
        frames << QStringLiteral("A %1").arg(i % 50, 4, 10, QChar(u'0'));
    Sheet({{"a", frames}});
    EXPECT_EQ(title.FrameCount(), 10000);
    sheet.SetCurrentFrame(5000);
    sink.SendCommand(cmd::kEditorGoToCurrent);
    EXPECT_EQ(View().FirstRow(), 5000 - View().VisibleRows() / 2);
    EXPECT_EQ(panel->VerticalBar()->Position(), View().FirstRow());
    EXPECT_EQ(panel->Counter().FirstRow(), View().FirstRow());

    // The bar scrolls the grid and the counter together.
    panel->VerticalBar()->ToEnd();
    EXPECT_EQ(View().FirstRow(), sheet.SheetLength() - View().VisibleRows());
    EXPECT_EQ(panel->Counter().FirstRow(), View().FirstRow());
    EXPECT_EQ(View().CellAt(At(0, 10000)).row, 10000);
}

TEST_F(XshtMainPanelTest, TheColumnCountAndTheLevelMenuWorkOnTheSheet) {
    Sheet({{"walk", {"A", "B"}}, {"run", {"C"}}});
    settings.Set(ColumnCount, 2);
    sink.SendCommand(cmd::kEditorColumnCount);
    EXPECT_EQ(View().VisibleColumns(), 2);

    panel->SetTextQuery([](const QString& title, const QString&) -> std::optional<QString> {
        if (title == "Set level name (run)") return QStringLiteral("jump");
        if (title == "Set level rank (jump)") return QStringLiteral("1");
        return std::nullopt;
    });
    emit View().LevelMenuChosen(1, level_menu::kSetName);
    EXPECT_EQ(sheet.Levels().at(1)->name, "jump");
    emit View().LevelMenuChosen(1, level_menu::kSetRank);
    EXPECT_EQ(sheet.Levels().at(0)->name, "jump");
    EXPECT_EQ(history.recorded, 2);
    emit View().LevelMenuChosen(1, level_menu::kSelectAll);
    EXPECT_EQ(sheet.Levels().at(1)->summary->selected, 3);
}

}  // namespace
}  // namespace kolvane
