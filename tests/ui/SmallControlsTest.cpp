#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "model/ListList.h"
#include "tests/ui/ManualClock.h"
#include "ui/CounterBar.h"
#include "ui/SelectMenu.h"
#include "ui/StripBar.h"
#include "ui/TextButton.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

CColors Scheme() {
    return CColors(QColor(CColors::kPlayerView));
}

TEST(ColorsTest, TableDerivesFromTheBaseAndStatesDiffer) {
    const CColors scheme(QColor(CColors::kDialog));
    EXPECT_EQ(scheme.Base(), QColor(170, 120, 60));
    for (int role = 0; role < 3; ++role) {
        EXPECT_EQ(scheme.Fill(role), scheme.At(role * 3 + 0));
        EXPECT_EQ(scheme.Text(role), scheme.At(role * 3 + 2));
        EXPECT_EQ(scheme.Fill(role, CColors::kOff), scheme.At(9 + role * 3));
        EXPECT_NE(scheme.Fill(role), scheme.Fill(role, CColors::kOff));
        EXPECT_NE(scheme.Fill(role), scheme.Fill(role, CColors::kSelected));
        // Text stands out from the fill it is written on.
        EXPECT_GT(std::abs(scheme.Text(role).value() - scheme.Fill(role).value()), 60);
    }
    // Another base gives another table.
    EXPECT_NE(CColors(QColor(CColors::kMediaView)).Fill(0), scheme.Fill(0));
}

TEST(StripBarTest, ForwardsLeftAndRightPressesInTheOwnersCoordinates) {
    QWidget owner;
    owner.resize(300, 200);
    QWidget holder(&owner);
    holder.setGeometry(20, 30, 200, 100);
    CStripBar strip(&holder, &owner);
    strip.setGeometry(5, 6, 100, 10);
    QSignalSpy pressed(&strip, &CStripBar::Pressed);
    QTest::mousePress(&strip, Qt::RightButton, {}, {1, 2});
    QTest::mousePress(&strip, Qt::MiddleButton, {}, {1, 2});
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(pressed[0][1].toPoint(), QPoint(26, 38));
}

TEST(CounterBarTest, ClickSetsTheFrameHeldToTheLastAndASecondClickShowsThePlayer) {
    test::CManualClock clock;
    const CColors colors = Scheme();
    CListList sheet;
    auto level = sheet.MakeLevel(kTypeLevel, QStringLiteral("A"), 0);
    for (int i = 0; i < 6; ++i)
        level->children->append(CNode::NewCell(nullptr));
    sheet.Levels().append(std::move(level));  // sheet length 6: frames 0..4

    CCounterBar counter(colors, nullptr);
    counter.resize(40, 20 * LineHeight());
    counter.SetList(&sheet);
    counter.SetHeaderHeight(LineHeight());
    counter.SetFirstRow(2);
    counter.SetClock(clock);
    counter.SetDoubleClickMs(400);
    QSignalSpy commands(&counter, &CCounterBar::Command);
    QSignalSpy frames(&counter, &CCounterBar::CurrentFrameChanged);
    const int line = LineHeight();
    auto rowPoint = [line](int visibleRow) { return QPoint(5, line + visibleRow * line + 2); };

    QTest::mouseClick(&counter, Qt::LeftButton, {}, rowPoint(1));
    EXPECT_EQ(sheet.currentPosition, 3);
    QTest::mouseClick(&counter, Qt::LeftButton, {}, rowPoint(9));  // beyond the sheet
    EXPECT_EQ(sheet.currentPosition, 4);
    EXPECT_EQ(frames.count(), 2);
    EXPECT_EQ(commands.count(), 0);

    clock.Advance(399);
    QTest::mouseClick(&counter, Qt::LeftButton, {}, rowPoint(2));  // frame 4 again
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands[0][0].toInt(), 32897);

    // Too slow for a double click: it only keeps the frame.
    clock.Advance(401);
    QTest::mouseClick(&counter, Qt::LeftButton, {}, rowPoint(2));
    clock.Advance(401);
    QTest::mouseClick(&counter, Qt::LeftButton, {}, rowPoint(2));
    EXPECT_EQ(commands.count(), 1);
    // The header line is no frame.
    EXPECT_EQ(counter.FrameAt({5, 2}), -1);
}

TEST(SelectMenuTest, PointerHighlightsAndClickChooses) {
    const CColors colors = Scheme();
    QWidget owner;
    owner.show();
    CSelectMenu menu(colors, &owner);
    menu.SetItems({QStringLiteral("off"), QStringLiteral("counter"), QStringLiteral("thumbnail")});
    QSignalSpy chosen(&menu, &CSelectMenu::Chosen);
    menu.Open(QRect(owner.mapToGlobal(QPoint(0, 0)), QSize(100, 20)), 0);
    ASSERT_TRUE(menu.IsOpen());
    QTest::mouseMove(&menu, menu.ItemRect(2).center());
    EXPECT_EQ(menu.Highlighted(), 2);
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.ItemRect(1).center());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), 1);
    EXPECT_FALSE(menu.IsOpen());
}

TEST(SelectMenuTest, KeysMoveChooseAndClose) {
    const CColors colors = Scheme();
    QWidget owner;
    owner.show();
    CSelectMenu menu(colors, &owner);
    QStringList items;
    for (int i = 0; i < 12; ++i)
        items << QString::number(i);
    menu.SetItems(items);
    menu.SetVisibleRows(4);
    QSignalSpy chosen(&menu, &CSelectMenu::Chosen);
    menu.Open(QRect(0, 0, 100, 20), 1);
    QTest::keyClick(&menu, Qt::Key_Down);
    QTest::keyClick(&menu, Qt::Key_End);
    EXPECT_EQ(menu.Highlighted(), 11);
    EXPECT_EQ(menu.FirstShown(), 8);  // the highlight stays in view
    QTest::keyClick(&menu, Qt::Key_Up);
    QTest::keyClick(&menu, Qt::Key_Return);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), 10);

    menu.Open(QRect(0, 0, 100, 20), 3);
    QTest::keyClick(&menu, Qt::Key_Escape);
    EXPECT_FALSE(menu.IsOpen());
    EXPECT_EQ(chosen.count(), 1);
}

TEST(TextButtonTest, EditsAtTheCaretAndReportsAfterAPause) {
    test::CManualClock clock;
    const CColors colors = Scheme();
    QWidget window;
    CTextButton field(colors, &window);
    field.SetClock(clock);
    window.show();
    field.setFocus();
    QApplication::processEvents();
    field.SetText(QStringLiteral("12"));
    QSignalSpy edited(&field, &CTextButton::Command);

    QTest::keyClicks(&field, QStringLiteral("7"));  // everything marked: replaced
    EXPECT_EQ(field.Text(), QStringLiteral("7"));
    QTest::keyClick(&field, Qt::Key_Home);
    QTest::keyClicks(&field, QStringLiteral("4"));
    QTest::keyClick(&field, Qt::Key_End);
    QTest::keyClick(&field, Qt::Key_Backspace);
    EXPECT_EQ(field.Text(), QStringLiteral("4"));
    EXPECT_EQ(edited.count(), 0);
    clock.Advance(CTextButton::kEditDelayMs);
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0][0].toInt(), 33007);

    // Enter sends a pending edit at once; a programmatic text sends nothing.
    QTest::keyClicks(&field, QStringLiteral("0"));
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(edited.count(), 2);
    field.SetText(QStringLiteral("99"));
    clock.Advance(5000);
    EXPECT_EQ(edited.count(), 2);
}

// A dialog writes its fields back after every edit it is sent; the field
// being typed in must go on where the typing was.
TEST(TextButtonTest, TheSameTextSetBackKeepsTheTypingAndANewOneIsMarked) {
    test::CManualClock clock;
    const CColors colors = Scheme();
    QWidget window;
    CTextButton field(colors, &window);
    field.SetClock(clock);
    QObject::connect(&field, &CTextButton::Command, &field,
                     [&field] { field.SetText(field.Text()); });
    window.show();
    field.setFocus();
    QApplication::processEvents();

    QTest::keyClicks(&field, QStringLiteral("fi"));
    clock.Advance(CTextButton::kEditDelayMs);
    QTest::keyClicks(&field, QStringLiteral("lm"));
    EXPECT_EQ(field.Text(), QStringLiteral("film"));
    QTest::keyClick(&field, Qt::Key_Left);
    clock.Advance(CTextButton::kEditDelayMs);
    QTest::keyClicks(&field, QStringLiteral("-"));
    EXPECT_EQ(field.Text(), QStringLiteral("fil-m")) << "the caret stays where it was";

    // A text of the program's own (a completed level) is marked, to be typed over.
    field.SetText(QStringLiteral("shot 1"));
    QTest::keyClicks(&field, QStringLiteral("x"));
    EXPECT_EQ(field.Text(), QStringLiteral("x"));
}

TEST(TextButtonTest, ReadOnlyFieldsIgnoreTyping) {
    const CColors colors = Scheme();
    CTextButton field(colors, nullptr);
    field.SetReadOnly(true);
    field.SetText(QStringLiteral("off"));
    QTest::keyClicks(&field, QStringLiteral("xy"));
    QTest::keyClick(&field, Qt::Key_Backspace);
    EXPECT_EQ(field.Text(), QStringLiteral("off"));
    EXPECT_FALSE(field.HasPendingEdit());
}

}  // namespace
}  // namespace kolvane
