#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "tests/ui/ManualClock.h"
#include "ui/BasicButton.h"

namespace kolvane {
namespace {

class BasicButtonTest : public ::testing::Test {
  protected:
    CBasicButton* Make(int style) {
        auto* button = new CBasicButton(4242, QStringLiteral("grab"), QStringLiteral("tip"), style,
                                        colors, &parent);
        button->setGeometry(0, 0, 60, 20);
        button->SetClock(clock);
        return button;
    }

    test::CManualClock clock;  // outlives the buttons and their timers
    CColors colors{QColor(CColors::kToolPanel)};
    QWidget parent;
};

const QPoint kInside(10, 10);
const QPoint kOutside(200, 10);

TEST_F(BasicButtonTest, MouseFiringRulesPerStyle) {
    struct Case {
        const char* name;
        int style;
        QPoint releaseAt;
        int firedOnPress;
        int firedInAll;
        bool checkedAfter;
    };
    const Case cases[] = {
        {"plain inside", CBasicButton::kPlain, kInside, 0, 1, false},
        {"plain outside", CBasicButton::kPlain, kOutside, 0, 0, false},
        {"toggle inside", CBasicButton::kToggle, kInside, 0, 1, true},
        {"toggle outside", CBasicButton::kToggle, kOutside, 0, 0, false},
        {"press-release inside", CBasicButton::kPressRelease, kInside, 1, 2, false},
        {"press-release outside", CBasicButton::kPressRelease, kOutside, 1, 2, false},
        {"repeat quick click", CBasicButton::kAutoRepeat, kInside, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBasicButton* button = Make(c.style);
        QSignalSpy fired(button, &CBasicButton::Command);
        QTest::mousePress(button, Qt::LeftButton, {}, kInside);
        EXPECT_TRUE(button->IsShownPressed());
        EXPECT_EQ(fired.count(), c.firedOnPress);
        QTest::mouseRelease(button, Qt::LeftButton, {}, c.releaseAt);
        EXPECT_FALSE(button->IsShownPressed());
        EXPECT_EQ(fired.count(), c.firedInAll);
        EXPECT_EQ(button->IsChecked(), c.checkedAfter);
        for (const auto& args : fired)
            EXPECT_EQ(args.at(0).toInt(), 4242);
        delete button;
    }
}

TEST_F(BasicButtonTest, PressedLookFollowsThePointerWhileHeld) {
    CBasicButton* button = Make(CBasicButton::kPlain);
    QSignalSpy fired(button, &CBasicButton::Command);
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    QTest::mouseMove(button, kOutside);
    EXPECT_FALSE(button->IsShownPressed());
    QTest::mouseMove(button, kInside);
    EXPECT_TRUE(button->IsShownPressed());
    QTest::mouseRelease(button, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(fired.count(), 1);
}

TEST_F(BasicButtonTest, AutoRepeatWaitsTheKeyboardDelayThenEveryTenthSecond) {
    CBasicButton* button = Make(CBasicButton::kAutoRepeat);
    QSignalSpy fired(button, &CBasicButton::Command);
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(fired.count(), 1);
    clock.Advance(CBasicButton::RepeatDelayMs(1) - 1);
    EXPECT_EQ(fired.count(), 1);
    clock.Advance(1);  // 500 ms
    EXPECT_EQ(fired.count(), 2);
    clock.Advance(99);
    EXPECT_EQ(fired.count(), 2);
    clock.Advance(1);  // 600 ms
    EXPECT_EQ(fired.count(), 3);
    clock.Advance(300);  // 700, 800, 900 ms
    EXPECT_EQ(fired.count(), 6);

    // Outside the button it holds off, and goes on when the pointer returns.
    QTest::mouseMove(button, kOutside);
    clock.Advance(300);
    EXPECT_EQ(fired.count(), 6);
    QTest::mouseMove(button, kInside);
    clock.Advance(100);
    EXPECT_EQ(fired.count(), 7);

    QTest::mouseRelease(button, Qt::LeftButton, {}, kInside);
    clock.Advance(2000);
    EXPECT_EQ(fired.count(), 7);
}

TEST_F(BasicButtonTest, RepeatDelayFollowsTheDelaySetting) {
    EXPECT_EQ(CBasicButton::RepeatDelayMs(0), 250);
    EXPECT_EQ(CBasicButton::RepeatDelayMs(3), 1000);
    CBasicButton* button = Make(CBasicButton::kAutoRepeat);
    button->SetRepeatDelaySetting(3);
    QSignalSpy fired(button, &CBasicButton::Command);
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    clock.Advance(999);
    EXPECT_EQ(fired.count(), 1);
    clock.Advance(1);
    EXPECT_EQ(fired.count(), 2);
}

TEST_F(BasicButtonTest, KeyboardFiringRulesPerStyle) {
    // Key down, a second (auto-repeated) key down, key up.
    struct Case {
        const char* name;
        int style;
        int afterDown;
        int afterSecondDown;
        int afterUp;
    };
    const Case cases[] = {
        {"plain", CBasicButton::kPlain, 0, 0, 1},
        {"toggle", CBasicButton::kToggle, 0, 0, 1},
        {"repeat", CBasicButton::kAutoRepeat, 1, 2, 2},
        {"press-release", CBasicButton::kPressRelease, 1, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBasicButton* button = Make(c.style);
        QSignalSpy fired(button, &CBasicButton::Command);
        EXPECT_TRUE(button->KeyDown());
        EXPECT_TRUE(button->IsShownPressed());
        EXPECT_EQ(fired.count(), c.afterDown);
        button->KeyDown();
        EXPECT_EQ(fired.count(), c.afterSecondDown);
        EXPECT_TRUE(button->KeyUp());
        EXPECT_FALSE(button->IsShownPressed());
        EXPECT_EQ(fired.count(), c.afterUp);
        EXPECT_EQ(button->IsChecked(), c.style == CBasicButton::kToggle);
        // The keyboard's repeat drives a held key: the timer never runs.
        clock.Advance(5000);
        EXPECT_EQ(fired.count(), c.afterUp);
        delete button;
    }
}

TEST_F(BasicButtonTest, DisabledButtonsLeaveKeysAloneAndNeverFire) {
    CBasicButton* button = Make(CBasicButton::kPressRelease);
    QSignalSpy fired(button, &CBasicButton::Command);
    button->setEnabled(false);
    EXPECT_FALSE(button->KeyDown());
    EXPECT_FALSE(button->KeyUp());
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    QTest::mouseRelease(button, Qt::LeftButton, {}, kInside);
    EXPECT_EQ(fired.count(), 0);
}

TEST_F(BasicButtonTest, DisablingAHeldRepeatButtonStopsIt) {
    CBasicButton* button = Make(CBasicButton::kAutoRepeat);
    QSignalSpy fired(button, &CBasicButton::Command);
    QTest::mousePress(button, Qt::LeftButton, {}, kInside);
    button->setEnabled(false);
    clock.Advance(2000);
    EXPECT_EQ(fired.count(), 1);
    EXPECT_FALSE(button->IsShownPressed());
}

TEST_F(BasicButtonTest, HeldFiringStaysOffWhenTheKeyMayNotFire) {
    CBasicButton* button = Make(CBasicButton::kPressRelease);
    QSignalSpy fired(button, &CBasicButton::Command);
    button->KeyDown(false);
    EXPECT_TRUE(button->IsShownPressed());
    button->KeyUp(false);
    EXPECT_EQ(fired.count(), 0);
    // A key taken over by another button drops the look without firing.
    button->KeyDown();
    button->ShowReleased();
    EXPECT_FALSE(button->IsShownPressed());
    EXPECT_EQ(fired.count(), 1);
}

}  // namespace
}  // namespace kolvane
