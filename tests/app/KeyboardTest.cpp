#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/MainMenu.h"
#include "app/OptionsDialog.h"
#include "tests/app/FrameFixture.h"
#include "ui/BasicButton.h"
#include "ui/MessageDialog.h"
#include "ui/PlayMainPanel.h"
#include "ui/ToolPanel.h"

namespace kolvane {
namespace {

using test::KeyProbe;

class KeyboardTest : public test::FrameFixture {
  protected:
    CBasicButton& Button(int command) {
        for (int view : {cmd::kViewMedia, cmd::kViewGrabber, cmd::kViewEditor, cmd::kViewPlayer}) {
            if (CBasicButton* button = frame.ToolPanel(view)->Button(command)) return *button;
        }
        ADD_FAILURE() << command;
        return *frame.ToolPanel(cmd::kViewMedia)->Button(cmd::kViewMedia);
    }
    QString MenuText(const char* path, int command) {
        QMenu* menu = frame.Menu().Menu(QString::fromLatin1(path));
        menu->popup(QPoint(0, 0));
        menu->hide();
        return frame.Menu().Action(command)->text();
    }
    // A key held down long enough for the keyboard to repeat it `repeats` times.
    void Hold(int key, int repeats) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&frame, &down);
        for (int i = 0; i < repeats; ++i) {
            // The desktop repeats a key as release and press pairs, both marked.
            QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
            QKeyEvent again(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(&frame, &up);
            QApplication::sendEvent(&frame, &again);
        }
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(&frame, &up);
    }
    CPlayEngine& Engine() { return frame.PlayerView().Engine(); }
    // The arrow and page keys act on the panel under the pointer: keep it off
    // the media list, whose scroll bars would take them.
    void PointAtMainArea() {
        QWidget& player = frame.PlayerView();
        QCursor::setPos(player.mapToGlobal(player.rect().center()));
    }
    void LiveVideo() {
        frame.Receivers().liveVideoRuns = [] { return true; };
    }
};

TEST_F(KeyboardTest, EnterPressesGrabAndAfterTheSwapPlayWithTheMenuFollowing) {
    LiveVideo();
    FillSheet(5);
    QSignalSpy grab(&Button(cmd::kGrab), &CBasicButton::Command);
    QSignalSpy play(&Button(cmd::kPlay), &CBasicButton::Command);
    EXPECT_EQ(MenuText("Tools/Grabber", cmd::kGrab), QStringLiteral("&Grab\tEnter/Return"));
    EXPECT_EQ(MenuText("Tools/Player", cmd::kPlay), QStringLiteral("&Play\tSpacebar"));

    QTest::keyPress(&frame, Qt::Key_Return);
    EXPECT_TRUE(Button(cmd::kGrab).IsShownPressed());
    EXPECT_EQ(grab.count(), 0);  // a plain button fires when let go
    QTest::keyRelease(&frame, Qt::Key_Return);
    EXPECT_EQ(grab.count(), 1);
    EXPECT_FALSE(Button(cmd::kGrab).IsShownPressed());
    QApplication::processEvents();
    EXPECT_EQ(spy.Count(cmd::kGrab), 1);

    frame.SendCommand(cmd::kSwapGrabPlayKeys);
    EXPECT_EQ(MenuText("Tools/Grabber", cmd::kGrab), QStringLiteral("&Grab\tSpacebar"));
    EXPECT_EQ(MenuText("Tools/Player", cmd::kPlay), QStringLiteral("&Play\tEnter/Return"));
    QTest::keyClick(&frame, Qt::Key_Space);
    EXPECT_EQ(grab.count(), 2);
    QTest::keyClick(&frame, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(play.count(), 1);
    EXPECT_EQ(grab.count(), 2);

    QApplication::processEvents();  // the posted play starts a run
    ASSERT_TRUE(Engine().IsPlaying());
    EXPECT_EQ(MenuText("Tools/Player", cmd::kPlay), QStringLiteral("&Stop\tEnter/Return"));
    frame.UpdateToolPanelStates();
    EXPECT_EQ(Button(cmd::kPlay).Text(), QStringLiteral("stop"));
    QTest::keyClick(&frame, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(Engine().IsPlaying());
    frame.UpdateToolPanelStates();
    EXPECT_EQ(Button(cmd::kPlay).Text(), QStringLiteral("play"));
}

TEST_F(KeyboardTest, LeftAndRightStepTheGrabberWhenItShowsAndThePlayerOtherwise) {
    FillSheet(5);
    QSignalSpy back(&Button(cmd::kStepBackButton), &CBasicButton::Command);
    QSignalSpy forw(&Button(cmd::kStepForwButton), &CBasicButton::Command);
    QTest::keyClick(&frame, Qt::Key_Left);
    QTest::keyClick(&frame, Qt::Key_Right);
    QTest::keyClick(&frame, Qt::Key_Right);
    EXPECT_EQ(spy.seen, (std::vector<int>{cmd::kShowPrev, cmd::kShowNext, cmd::kShowNext}));
    EXPECT_EQ(back.count() + forw.count(), 0);

    frame.SendCommand(cmd::kViewPlayer);
    PointAtMainArea();
    spy.seen.clear();
    // A step button fires when pressed and again when let go.
    QTest::keyPress(&frame, Qt::Key_Left);
    EXPECT_EQ(back.count(), 1);
    QTest::keyRelease(&frame, Qt::Key_Left);
    EXPECT_EQ(back.count(), 2);
    QTest::keyClick(&frame, Qt::Key_Right);
    EXPECT_EQ(forw.count(), 2);
    EXPECT_EQ(spy.Count(cmd::kShowPrev) + spy.Count(cmd::kShowNext), 0);
    QApplication::processEvents();
    EXPECT_EQ(spy.Count(cmd::kStepBackButton), 2);
    EXPECT_EQ(spy.Count(cmd::kStepForwButton), 2);
    EXPECT_FALSE(Engine().IsPlaying());

    // In the editor the step buttons are off: the arrows do nothing.
    frame.SendCommand(cmd::kViewEditor);
    QTest::keyClick(&frame, Qt::Key_Left);
    EXPECT_EQ(back.count(), 2);
}

TEST_F(KeyboardTest, AModalDialogBlocksEveryKey) {
    LiveVideo();
    FillSheet(5);
    frame.Receivers().grabberDigit = [this](int digit) { spy.seen.push_back(-digit); };
    QSignalSpy grab(&Button(cmd::kGrab), &CBasicButton::Command);
    std::vector<int> seenWhileModal{-1};
    QTimer::singleShot(0, &frame, [&] {
        QTest::keyClick(&frame, Qt::Key_Return);
        QTest::keyClick(&frame, Qt::Key_F3);
        QTest::keyClick(&frame, Qt::Key_Left);
        QTest::keyClick(&frame, Qt::Key_F12);
        QTest::keyClick(&frame, Qt::Key_5, Qt::KeypadModifier);
        QTest::keyClick(&frame, Qt::Key_P, Qt::ControlModifier);
        seenWhileModal = spy.seen;
        frame.MessageBox().End(CBasicDialog::kClose);
    });
    frame.Inform(60000);
    EXPECT_TRUE(seenWhileModal.empty());
    EXPECT_EQ(grab.count(), 0);
    EXPECT_FALSE(frame.OptionsDialog().IsOpen());
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Grabber);

    QTest::keyClick(&frame, Qt::Key_5, Qt::KeypadModifier);  // and after it, keys work again
    EXPECT_EQ(spy.seen, (std::vector<int>{-5}));
}

TEST_F(KeyboardTest, ADisabledButtonLetsTheKeyTakeItsOrdinaryWay) {
    KeyProbe probe(frame);
    QSignalSpy grab(&Button(cmd::kGrab), &CBasicButton::Command);
    QTest::keyClick(&frame, Qt::Key_Return);  // no live video: "grab" is off
    EXPECT_EQ(grab.count(), 0);
    EXPECT_EQ(probe.presses, 1);
    EXPECT_EQ(probe.releases, 1);

    LiveVideo();
    QTest::keyClick(&frame, Qt::Key_Return);
    EXPECT_EQ(grab.count(), 1);
    QTest::keyClick(&frame, Qt::Key_A);  // no binding: the frame drops it
    EXPECT_EQ(probe.presses, 1);
    EXPECT_EQ(probe.releases, 1);
}

TEST_F(KeyboardTest, AutoRepeatFiresOnlyRepeatingButtons) {
    LiveVideo();
    FillSheet(5);
    QSignalSpy grab(&Button(cmd::kGrab), &CBasicButton::Command);
    Hold(Qt::Key_Return, 3);
    EXPECT_EQ(grab.count(), 1);

    frame.SendCommand(cmd::kViewPlayer);
    PointAtMainArea();
    QSignalSpy back(&Button(cmd::kStepBackButton), &CBasicButton::Command);
    Hold(Qt::Key_Left, 3);
    EXPECT_EQ(back.count(), 2);
}

TEST_F(KeyboardTest, PageHomeAndEndMoveThePlayerThroughTheSheet) {
    FillSheet(40);
    frame.SendCommand(cmd::kViewPlayer);
    PointAtMainArea();
    struct Step {
        Qt::Key key;
        int frame;
    };
    // Going past either end comes round: one second back from the start
    // lands on the last frame, one on from the end that many frames in.
    const Step steps[] = {{Qt::Key_End, 39},   {Qt::Key_Home, 0},    {Qt::Key_PageDown, 25},
                          {Qt::Key_PageUp, 0}, {Qt::Key_PageUp, 39}, {Qt::Key_PageDown, 23}};
    for (const Step& step : steps) {
        QTest::keyClick(&frame, step.key);
        EXPECT_EQ(objects.sheet.CurrentFrame(), step.frame) << step.key;
    }
}

TEST_F(KeyboardTest, TheGrabberTakesKeypadDigitsOnly) {
    std::vector<int> digits;
    frame.Receivers().grabberDigit = [&](int digit) { digits.push_back(digit); };
    QTest::keyClick(&frame, Qt::Key_7, Qt::KeypadModifier);
    QTest::keyClick(&frame, Qt::Key_7);
    QTest::keyClick(&frame, Qt::Key_0, Qt::KeypadModifier);
    FillSheet(2);
    frame.SendCommand(cmd::kViewEditor);
    QTest::keyClick(&frame, Qt::Key_3, Qt::KeypadModifier);
    EXPECT_EQ(digits, (std::vector<int>{7}));
}

TEST_F(KeyboardTest, FunctionKeysSwitchAreasAndADialogKeepsItsKeys) {
    FillSheet(2);
    QTest::keyClick(&frame, Qt::Key_F3);
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Grabber);  // posted by the button
    QApplication::processEvents();
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Editor);

    frame.SendCommand(cmd::kOptions);
    ASSERT_TRUE(frame.OptionsDialog().IsOpen());
    QTest::keyClick(&frame.OptionsDialog(), Qt::Key_Escape);
    EXPECT_FALSE(frame.OptionsDialog().IsOpen());
}

}  // namespace
}  // namespace kolvane
