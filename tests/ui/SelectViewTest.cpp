#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "model/ListList.h"
#include "model/MediaInfo.h"
#include "tests/ui/ManualClock.h"
#include "ui/BasicButton.h"
#include "ui/ScrollBar.h"
#include "ui/SelectBox.h"
#include "ui/SelectMenu.h"
#include "ui/SelectView.h"
#include "ui/TrackTip.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

// Three columns A, B, C of `rows` cells named "<column><row>".
void Fill(CListList& list, int rows) {
    for (const char* name : {"A", "B", "C"}) {
        auto level = list.MakeLevel(kTypeLevel, QString::fromLatin1(name), 0);
        for (int r = 0; r < rows; ++r) {
            auto cell = CNode::NewCell(nullptr);
            cell->name = QString::fromLatin1(name) + QString::number(r);
            level->children->append(std::move(cell));
        }
        list.Levels().append(std::move(level));
    }
    list.RecomputeSummaries();
}

class SelectViewTest : public ::testing::Test {
  protected:
    SelectViewTest() {
        Fill(list, 20);
        view.SetClock(clock);
        view.SetVisibleColumns(3);
        view.resize(300, LineHeight() * 6);  // header and 5 rows
        view.SetList(&list);
        window.show();
    }
    QPoint At(int column, int row) const { return view.CellRect({column, row}).center(); }
    bool Selected(int column, int row) const { return view.NodeAt({column, row})->IsSelected(); }
    QStringList SelectedNames() const {
        QStringList names;
        for (const CNode* level : list.Levels()) {
            for (const CNode* cell : *level->children) {
                if (cell->IsSelected()) names << cell->name;
            }
        }
        return names;
    }

    test::CManualClock clock;
    CColors colors{QColor(CColors::kPlayerView)};
    CListList list;
    QWidget window;
    CSelectView view{colors, &window};
};

TEST_F(SelectViewTest, BindsToTheListAndMapsPointsToCells) {
    EXPECT_EQ(list.view, &view);
    EXPECT_EQ(view.ColumnCount(), 3);
    EXPECT_EQ(view.RowCount(), 20);
    EXPECT_EQ(view.VisibleRows(), 5);
    EXPECT_EQ(view.CellAt(At(1, 3)), (GridCell{1, 3}));
    // Points off the grid are held to its nearest cell; the header is row one.
    EXPECT_EQ(view.CellAt({-50, -50}), (GridCell{0, 0}));
    EXPECT_EQ(view.CellAt({5000, 5000}), (GridCell{2, 4}));
    view.SetFirstRow(10);
    EXPECT_EQ(view.CellAt(At(2, 12)), (GridCell{2, 12}));
    EXPECT_EQ(list.Totals().firstShownRow, 10);
}

TEST_F(SelectViewTest, ClickCtrlAndShiftSelectAsTheGridRulesSay) {
    QSignalSpy rows(&view, &CSelectView::RowChanged);
    QSignalSpy columns(&view, &CSelectView::ColumnChanged);
    QTest::mouseClick(&view, Qt::LeftButton, {}, At(0, 1));
    QTest::mouseClick(&view, Qt::LeftButton, {}, At(1, 2));
    EXPECT_EQ(SelectedNames(), QStringList{QStringLiteral("B2")});
    EXPECT_EQ(list.rangeFlag, 1);
    EXPECT_EQ(rows.last()[0].toInt(), 2);
    EXPECT_EQ(columns.last()[0].toInt(), 1);

    QTest::mouseClick(&view, Qt::LeftButton, Qt::ControlModifier, At(0, 0));
    EXPECT_EQ(SelectedNames(), (QStringList{QStringLiteral("A0"), QStringLiteral("B2")}));
    EXPECT_EQ(list.rangeFlag, 0);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::ControlModifier, At(0, 0));
    EXPECT_EQ(SelectedNames(), QStringList{QStringLiteral("B2")});
    EXPECT_EQ(list.Totals().selected, 1);

    QTest::mouseClick(&view, Qt::LeftButton, {}, At(0, 1));
    QTest::mouseClick(&view, Qt::LeftButton, Qt::ShiftModifier, At(1, 3));
    EXPECT_EQ(SelectedNames(), (QStringList{"A1", "A2", "A3", "B1", "B2", "B3"}));
    EXPECT_EQ(list.Totals().selected, 6);
    EXPECT_EQ(view.Anchor(), (GridCell{0, 1}));
}

TEST_F(SelectViewTest, DraggingExtendsTheRectangleAndTheTipFollowsUntilRelease) {
    view.SetCellInfo(2);
    QTest::mousePress(&view, Qt::LeftButton, {}, At(2, 3));
    EXPECT_TRUE(view.TrackTip()->isVisible());
    QTest::mouseMove(&view, At(1, 4));
    EXPECT_EQ(SelectedNames(), (QStringList{"B3", "B4", "C3", "C4"}));
    EXPECT_TRUE(view.TrackTip()->Text().contains(QStringLiteral("B4")));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, At(1, 4));
    EXPECT_FALSE(view.TrackTip()->isVisible());
    EXPECT_FALSE(view.IsTracking());

    // Without cell info there is no tip.
    view.SetCellInfo(0);
    QTest::mousePress(&view, Qt::LeftButton, {}, At(0, 0));
    EXPECT_FALSE(view.TrackTip()->isVisible());
    QTest::mouseRelease(&view, Qt::LeftButton, {}, At(0, 0));
}

TEST_F(SelectViewTest, OutsideTheViewATimerScrollsALineAtATimeAndExtends) {
    QSignalSpy firstRows(&view, &CSelectView::FirstRowChanged);
    QTest::mousePress(&view, Qt::LeftButton, {}, At(0, 2));
    QTest::mouseMove(&view, QPoint(At(0, 2).x(), view.height() + 30));
    EXPECT_EQ(view.FirstRow(), 0);
    clock.Advance(CSelectView::kAutoScrollMs);
    EXPECT_EQ(view.FirstRow(), 1);
    EXPECT_TRUE(Selected(0, 5));  // the bottom row now shown
    clock.Advance(3 * CSelectView::kAutoScrollMs);
    EXPECT_EQ(view.FirstRow(), 4);
    EXPECT_TRUE(Selected(0, 8));
    EXPECT_FALSE(Selected(0, 9));
    EXPECT_EQ(firstRows.count(), 4);

    // Back inside, the scrolling stops; after release nothing moves.
    QTest::mouseMove(&view, At(0, 6));
    clock.Advance(500);
    EXPECT_EQ(view.FirstRow(), 4);
    QTest::mouseMove(&view, QPoint(-40, -40));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(-40, -40));
    clock.Advance(1000);
    EXPECT_EQ(view.FirstRow(), 4);
    // Scrolling stops at the end of the list.
    view.SetFirstRow(100);
    EXPECT_EQ(view.FirstRow(), 15);
}

TEST_F(SelectViewTest, ScrollBarsFollowTheViewAndMoveIt) {
    CVScrollBar vertical(colors, &window);
    CHScrollBar horizontal(colors, &window);
    view.SetVisibleColumns(2);
    view.AttachScrollBars(&vertical, &horizontal);
    EXPECT_EQ(vertical.Maximum(), 20);
    EXPECT_EQ(vertical.Page(), 5);
    EXPECT_EQ(horizontal.Maximum(), 3);
    EXPECT_EQ(horizontal.Page(), 2);
    vertical.Scroll(CScrollBar::kPageOn);
    EXPECT_EQ(view.FirstRow(), 5);
    horizontal.ToEnd();
    EXPECT_EQ(view.FirstColumn(), 1);
    EXPECT_EQ(view.Box(0)->Column(), 1);
    view.SetFirstRow(7);
    EXPECT_EQ(vertical.Position(), 7);

    // A shorter list pulls the view and the bar back.
    for (CNode* level : list.Levels())
        level->children->truncate(8);
    list.RecomputeSummaries();
    view.ListChanged();
    EXPECT_EQ(view.FirstRow(), 3);
    EXPECT_EQ(vertical.Maximum(), 8);
    EXPECT_EQ(vertical.Position(), 3);
}

TEST_F(SelectViewTest, HeaderSwitchAndLevelMenuReachTheOwner) {
    for (int r = 0; r < 3; ++r)
        view.NodeAt({1, r})->Select();
    list.RecomputeSummaries();
    EXPECT_EQ(list.Totals().selected, 3);
    QSignalSpy switched(&view, &CSelectView::LevelSwitched);
    QTest::mouseClick(view.Box(1)->SwitchButton(), Qt::LeftButton, {}, {2, 2});
    ASSERT_EQ(switched.count(), 1);
    EXPECT_EQ(switched[0][0].toInt(), 1);
    EXPECT_FALSE(switched[0][1].toBool());
    EXPECT_EQ(list.Levels().at(1)->flags & kFlagOn, 0u);
    EXPECT_EQ(list.Totals().selected, 0);  // an off column counts for nothing

    view.SetLevelMenu({40014, 40015});
    QSignalSpy chosen(&view, &CSelectView::LevelMenuChosen);
    QTest::mouseClick(view.Box(2)->MenuButton(), Qt::LeftButton, {}, {2, 2});
    ASSERT_TRUE(view.LevelMenu()->IsOpen());
    EXPECT_EQ(view.LevelMenu()->Items(),
              (QStringList{QStringLiteral("sort list"), QStringLiteral("select all")}));
    QTest::keyClick(view.LevelMenu(), Qt::Key_Down);
    QTest::keyClick(view.LevelMenu(), Qt::Key_Return);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), 2);
    EXPECT_EQ(chosen[0][1].toInt(), 40015);
}

TEST_F(SelectViewTest, WaveformsAreBuiltForTheSoundsInViewOnly) {
    // Column C shows sound cells of two sounds: rows 0-1 of "near", row 12 of "far".
    CNode nearSound(kTypeSoundItem, QStringLiteral("near"));
    CNode farSound(kTypeSoundItem, QStringLiteral("far"));
    nearSound.soundInfo = std::make_unique<CSoundInfo>(QStringLiteral("near.wav"));
    farSound.soundInfo = std::make_unique<CSoundInfo>(QStringLiteral("far.wav"));
    CNodeList& cells = *list.Levels().at(2)->children;
    for (int row : {0, 1, 12}) {
        CNode* sound = row == 12 ? &farSound : &nearSound;
        auto cell = CNode::NewCell(sound);
        cell->name = sound->name + QStringLiteral(":   1");
        cells.erase(row);
        cells.insert(row, std::move(cell));
    }
    QStringList built;
    view.SetWaveformBuilder([&built](CNode& sound) {
        built << sound.name;
        sound.soundInfo->waveform.assign(static_cast<std::size_t>(LineHeight()), {-100, 100});
    });
    EXPECT_EQ(built, QStringList{QStringLiteral("near")});
    ASSERT_NE(view.Waveform(nearSound), nullptr);
    EXPECT_EQ(view.Waveform(farSound), nullptr);
    view.SetFirstRow(10);
    EXPECT_EQ(built, (QStringList{QStringLiteral("near"), QStringLiteral("far")}));
    view.ListChanged();  // built once: nothing more
    EXPECT_EQ(built.size(), 2);
    view.grab();  // painting sound cells reads what is built
}

// The editor's retiming drag rides on the Alt/middle-button hooks.
class CAltRecordingView : public CSelectView {
  public:
    using CSelectView::CSelectView;
    QStringList calls;

  protected:
    bool BeginAltDrag(GridCell cell, Qt::MouseButtons, Qt::KeyboardModifiers) override {
        calls << QStringLiteral("begin %1,%2").arg(cell.column).arg(cell.row);
        return true;
    }
    void ContinueAltDrag(GridCell cell, Qt::MouseButtons, Qt::KeyboardModifiers) override {
        calls << QStringLiteral("move %1,%2").arg(cell.column).arg(cell.row);
    }
    void EndAltDrag() override { calls << QStringLiteral("end"); }
};

TEST_F(SelectViewTest, MiddleButtonOrAltDragsGoToThePanelAndSelectNothing) {
    CAltRecordingView alt(colors, &window);
    alt.SetVisibleColumns(3);
    alt.resize(view.size());
    alt.SetList(&list);
    const QPoint a = alt.CellRect({0, 1}).center();
    const QPoint b = alt.CellRect({0, 3}).center();
    QTest::mousePress(&alt, Qt::MiddleButton, {}, a);
    QTest::mouseMove(&alt, b);
    QTest::mouseRelease(&alt, Qt::MiddleButton, {}, b);
    QTest::mousePress(&alt, Qt::LeftButton, Qt::AltModifier, b);
    QTest::mouseRelease(&alt, Qt::LeftButton, Qt::AltModifier, b);
    EXPECT_EQ(alt.calls, (QStringList{"begin 0,1", "move 0,3", "end", "begin 0,3", "end"}));
    EXPECT_TRUE(SelectedNames().isEmpty());
}

// The main window turns a middle press into a left press with the middle
// button held; the panel still takes it as the middle button's drag.
TEST_F(SelectViewTest, ALeftPressWithTheMiddleButtonHeldIsTheMiddleButtonsDrag) {
    CAltRecordingView alt(colors, &window);
    alt.SetVisibleColumns(3);
    alt.resize(view.size());
    alt.SetList(&list);
    const QPointF at = alt.CellRect({0, 2}).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, alt.mapToGlobal(at), Qt::LeftButton,
                      Qt::MiddleButton, Qt::NoModifier);
    QApplication::sendEvent(&alt, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, alt.mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&alt, &release);
    EXPECT_EQ(alt.calls, (QStringList{"begin 0,2", "end"}));
    EXPECT_TRUE(SelectedNames().isEmpty());
}

}  // namespace
}  // namespace kolvane
