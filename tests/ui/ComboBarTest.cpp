#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "settings/Settings.h"
#include "tests/ui/ManualClock.h"
#include "ui/BasicButton.h"
#include "ui/ComboBar.h"
#include "ui/SelectMenu.h"
#include "ui/TextButton.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

class ComboBarTest : public ::testing::Test {
  protected:
    CComboBar* Row(CComboBar::Kind kind, const QString& label = QStringLiteral("loopmode")) {
        auto* row = new CComboBar(33095, label, QStringLiteral("tip"), kind, colors, &window);
        row->setGeometry(0, 0, 300, LineHeight() + 4);
        row->Field()->SetClock(clock);
        return row;
    }
    void Click(CBasicButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, {2, 2}); }

    test::CManualClock clock;
    CColors colors{QColor(CColors::kDialog)};
    QWidget window;
    const QStringList loop{QStringLiteral("continuous"), QStringLiteral("extra white"),
                           QStringLiteral("extra black")};
};

TEST_F(ComboBarTest, ListRowStepsThroughItsChoicesAndStopsAtTheEnds) {
    CComboBar* row = Row(CComboBar::Kind::kList);
    row->SetItems(loop);
    row->SetText(QStringLiteral("extra white"));
    QSignalSpy sent(row, &CComboBar::Command);
    Click(row->OnButton());
    EXPECT_EQ(row->Text(), QStringLiteral("extra black"));
    Click(row->OnButton());  // already the last
    Click(row->BackButton());
    Click(row->BackButton());
    Click(row->BackButton());  // already the first
    EXPECT_EQ(row->Text(), QStringLiteral("continuous"));
    EXPECT_EQ(sent.count(), 3);
    for (const auto& args : sent)
        EXPECT_EQ(args[0].toInt(), 33095);
    // A value that is not among the choices steps onto the first one.
    row->SetText(QStringLiteral("manual"));
    row->Step(1);
    EXPECT_EQ(row->Text(), QStringLiteral("continuous"));
}

TEST_F(ComboBarTest, ListIsOpenedByItsButtonOrKeysAndAChoiceIsSent) {
    window.show();
    CComboBar* row = Row(CComboBar::Kind::kList);
    row->SetItems(loop);
    row->SetText(QStringLiteral("continuous"));
    QSignalSpy sent(row, &CComboBar::Command);
    Click(row->DropButton());
    ASSERT_TRUE(row->Menu()->IsOpen());
    EXPECT_EQ(row->Menu()->Highlighted(), 0);
    QTest::keyClick(row->Menu(), Qt::Key_Down);
    QTest::keyClick(row->Menu(), Qt::Key_Return);
    EXPECT_EQ(row->Text(), QStringLiteral("extra white"));
    EXPECT_EQ(sent.count(), 1);

    // From the keyboard: Down steps, Alt+Down opens, typing changes nothing.
    QTest::keyClick(row->Field(), Qt::Key_Down);
    EXPECT_EQ(row->Text(), QStringLiteral("extra black"));
    QTest::keyClicks(row->Field(), QStringLiteral("abc"));
    EXPECT_EQ(row->Text(), QStringLiteral("extra black"));
    QTest::keyClick(row->Field(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(row->Menu()->IsOpen());
    EXPECT_EQ(row->Menu()->Highlighted(), 2);
    QTest::keyClick(row->Menu(), Qt::Key_Escape);
    EXPECT_EQ(sent.count(), 2);
}

TEST_F(ComboBarTest, NumberRowStepsWithinItsRangeAndSendsTypedNumbers) {
    window.show();
    CComboBar* row = Row(CComboBar::Kind::kNumber, QStringLiteral("def timing"));
    row->SetNumberRange(1, 3);
    row->SetText(QStringLiteral("2"));
    QSignalSpy sent(row, &CComboBar::Command);
    EXPECT_FALSE(row->DropButton()->isVisibleTo(row));
    row->Step(1);
    row->Step(1);
    EXPECT_EQ(row->Text(), QStringLiteral("3"));
    EXPECT_EQ(sent.count(), 1);

    QApplication::setActiveWindow(&window);
    row->Field()->setFocus();
    QApplication::processEvents();
    QTest::keyClicks(row->Field(), QStringLiteral("12"));
    EXPECT_EQ(sent.count(), 1);
    clock.Advance(CTextButton::kEditDelayMs);
    EXPECT_EQ(sent.count(), 2);
    EXPECT_EQ(row->Text(), QStringLiteral("12"));  // the dialog decides what it takes
}

TEST_F(ComboBarTest, SwitchIsReadPerLabelAndWrittenWhenToggled) {
    CSettings::SetFieldState(QStringLiteral("overlay"), false);
    CComboBar* off = Row(CComboBar::Kind::kList, QStringLiteral("overlay"));
    off->SetItems(loop);
    off->SetText(QStringLiteral("continuous"));
    EXPECT_FALSE(off->IsSwitchedOn());
    EXPECT_FALSE(off->SwitchButton()->IsChecked());
    EXPECT_FALSE(off->Field()->isEnabled());
    QSignalSpy sent(off, &CComboBar::Command);
    off->Step(1);
    EXPECT_EQ(off->Text(), QStringLiteral("continuous"));
    EXPECT_EQ(sent.count(), 0);

    Click(off->SwitchButton());
    EXPECT_TRUE(off->IsSwitchedOn());
    EXPECT_TRUE(CSettings::FieldState(QStringLiteral("overlay")));
    EXPECT_TRUE(off->Field()->isEnabled());

    // Unknown labels start on; a row without a label has no switch.
    EXPECT_TRUE(Row(CComboBar::Kind::kList, QStringLiteral("never stored"))->IsSwitchedOn());
    CComboBar* page = Row(CComboBar::Kind::kList, QString());
    EXPECT_EQ(page->SwitchButton(), nullptr);
    EXPECT_TRUE(page->IsSwitchedOn());

    // A second row of the same label reads the stored state.
    Click(off->SwitchButton());
    EXPECT_FALSE(Row(CComboBar::Kind::kList, QStringLiteral("overlay"))->IsSwitchedOn());
}

}  // namespace
}  // namespace kolvane
