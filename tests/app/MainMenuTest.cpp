#include <gtest/gtest.h>

#include <set>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "app/KeyboardFilter.h"
#include "app/MainMenu.h"
#include "app/OptionsDialog.h"
#include "tests/app/FrameFixture.h"

namespace kolvane {
namespace {

class MainMenuTest : public test::FrameFixture {
  protected:
    QMenu& MenuAt(const char* path) {
        QMenu* menu = frame.Menu().Menu(QString::fromLatin1(path));
        EXPECT_NE(menu, nullptr) << path;
        return *menu;
    }
    // Opens and closes the menu, as the user would look into it.
    QAction& Look(const char* path, int command) {
        QMenu& menu = MenuAt(path);
        menu.popup(QPoint(0, 0));
        menu.hide();
        QAction* action = frame.Menu().Action(command);
        EXPECT_NE(action, nullptr) << command;
        return *action;
    }
    static QStringList Titles(const QList<QAction*>& actions) {
        QStringList titles;
        for (const QAction* action : actions)
            titles << action->text();
        return titles;
    }
};

TEST_F(MainMenuTest, TheMenuBarHoldsEveryItemOnceInItsMenu) {
    EXPECT_EQ(Titles(frame.menuBar()->actions()),
              (QStringList{"File", "Edit", "Settings", "Tools", "View"}));
    EXPECT_EQ(Titles(MenuAt("Settings").actions()).first(), QStringLiteral("Preferences"));
    EXPECT_EQ(Titles(MenuAt("Settings/Preferences").actions()).first(),
              QStringLiteral("Monitor Type"));
    EXPECT_EQ(Titles(MenuAt("Tools").actions()),
              (QStringList{"Media", "Grabber", "Editor", "Player"}));
    EXPECT_EQ(Titles(MenuAt("Settings/Preferences/Monitor Type").actions()),
              (QStringList{"Auto Detect", "Standard  5:4", "Standard  4:3", "Wide lcd 16:10",
                           "Wide lcd 15:9", "Wide lcd 16:9"}));
    EXPECT_EQ(
        Titles(MenuAt("File").actions()),
        (QStringList{"&Clear Scene\tCtrl+N", "&Open Scene...\tCtrl+O", "&Save Scene...\tCtrl+S",
                     "Restore &Last Scene\tCtrl+L", "Clear Scene T&iming\tCtrl+I",
                     "O&pen Scene Timing...\tCtrl+P", "Save &Movie...\tCtrl+M", "Exit"}));

    std::set<int> commands;
    int items = 0;
    for (const QMenu* menu : frame.menuBar()->findChildren<QMenu*>()) {
        for (const QAction* action : menu->actions()) {
            if (!action->data().isValid()) continue;
            ++items;
            commands.insert(action->data().toInt());
        }
    }
    EXPECT_EQ(items, 48);
    EXPECT_EQ(commands.size(), 48u);
}

TEST_F(MainMenuTest, ItemsTakeTheirStatesJustBeforeTheMenuOpens) {
    EXPECT_FALSE(Look("File", cmd::kSaveScene).isEnabled());
    FillSheet(4);
    EXPECT_FALSE(frame.Menu().Action(cmd::kSaveScene)->isEnabled());  // not looked at since
    EXPECT_TRUE(Look("File", cmd::kSaveScene).isEnabled());

    frame.SendCommand(cmd::kIgnoreOpacity);
    EXPECT_TRUE(Look("Settings/Preferences", cmd::kIgnoreOpacity).isChecked());
    frame.SendCommand(cmd::kMonitorAutoDetect + 2);
    EXPECT_TRUE(Look("Settings/Preferences/Monitor Type", cmd::kMonitorAutoDetect + 2).isChecked());
    EXPECT_FALSE(frame.Menu().Action(cmd::kMonitorAutoDetect)->isChecked());
}

TEST_F(MainMenuTest, ChosenItemsArePostedAndSwallowedWhileEscapeIsHeld) {
    QAction* grabber = frame.Menu().Action(cmd::kViewGrabber);
    frame.SendCommand(cmd::kViewEditor);

    QTest::keyPress(&frame, Qt::Key_Escape);
    ASSERT_TRUE(frame.Keyboard().EscapeHeld());
    grabber->trigger();
    QApplication::processEvents();
    EXPECT_EQ(spy.Count(cmd::kViewGrabber), 0);
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Editor);

    QTest::keyRelease(&frame, Qt::Key_Escape);
    grabber->trigger();
    EXPECT_EQ(spy.Count(cmd::kViewGrabber), 0);  // not yet: posted
    QApplication::processEvents();
    EXPECT_EQ(spy.Count(cmd::kViewGrabber), 1);
    EXPECT_EQ(frame.ActiveArea(), CMainFrame::Area::Grabber);
}

TEST_F(MainMenuTest, AcceleratorsSendEnabledCommandsWhateverTheirMenuTextSays) {
    QTest::keyClick(&frame, Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(frame.OptionsDialog().IsOpen());
    frame.OptionsDialog().End(CBasicDialog::kOk);

    // Disabled on an empty scene: the key is used up and sends nothing.
    QTest::keyClick(&frame, Qt::Key_H, Qt::ControlModifier);
    QTest::keyClick(&frame, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(spy.Count(cmd::kClearSceneTiming), 0);
    EXPECT_EQ(spy.Count(cmd::kOpenSceneTiming), 0);

    FillSheet(3);
    spy.takes = {cmd::kClearSceneTiming, cmd::kOpenSceneTiming};
    QTest::keyClick(&frame, Qt::Key_H, Qt::ControlModifier);
    QTest::keyClick(&frame, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(&frame, Qt::Key_I, Qt::ControlModifier);  // the menu's text, no accelerator
    QTest::keyClick(&frame, Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(spy.seen, (std::vector<int>{cmd::kClearSceneTiming, cmd::kOpenSceneTiming}));

    QTest::keyPress(&frame, Qt::Key_Escape);
    QTest::keyClick(&frame, Qt::Key_H, Qt::ControlModifier);
    QTest::keyRelease(&frame, Qt::Key_Escape);
    EXPECT_EQ(spy.Count(cmd::kClearSceneTiming), 1);
}

}  // namespace
}  // namespace kolvane
