#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "app/MainFrame.h"
#include "app/OptionsDialog.h"
#include "engine/Engine.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"

namespace kolvane {
namespace {

class MainFrameDialogsTest : public ::testing::Test {
  protected:
    MainFrameDialogsTest() : objects(CEngine::Program{160}) {
        frame.resize(1024, 700);
        frame.show();
        QApplication::processEvents();
    }
    COptionsDialog& Options() { return frame.OptionsDialog(); }

    CEngine objects;
    CMainFrame frame{objects};
};

TEST_F(MainFrameDialogsTest, OptionsOpenOnThePageOfTheVisibleArea) {
    frame.SendCommand(cmd::kViewPlayer);
    EXPECT_TRUE(frame.QueryCommand(cmd::kOptions).enabled);
    frame.SendCommand(cmd::kOptions);
    ASSERT_TRUE(Options().IsOpen());
    EXPECT_EQ(Options().Page(), COptionsDialog::kPlayerPage);
    EXPECT_FALSE(frame.QueryCommand(cmd::kOptions).enabled);

    struct Case {
        int view;
        int page;
    };
    const Case cases[] = {
        {cmd::kViewGrabber, COptionsDialog::kGrabberPage},
        {cmd::kViewMedia, COptionsDialog::kEditorPage},  // Media shows the editor's page
        {cmd::kViewPlayer, COptionsDialog::kPlayerPage},
        {cmd::kViewEditor, COptionsDialog::kEditorPage},
    };
    for (const Case& c : cases) {
        frame.SendCommand(c.view);
        EXPECT_EQ(Options().Page(), c.page) << c.view;
    }
    Options().End(CBasicDialog::kOk);
    EXPECT_TRUE(frame.QueryCommand(cmd::kOptions).enabled);
}

TEST_F(MainFrameDialogsTest, ResetSettingsReloadsAnOpenOptionsDialog) {
    frame.SendCommand(cmd::kOptions);
    Options().Row(33094)->Step(1);
    ASSERT_EQ(objects.settings.Get(FrameRate), 30);
    // Reset ends with a notice: answer it with the close box.
    QTimer::singleShot(0, &frame, [this] { frame.MessageBox().End(CBasicDialog::kClose); });
    frame.SendCommand(cmd::kResetSettings);
    EXPECT_EQ(frame.MessageBox().Message(), QStringLiteral("default settings"));
    EXPECT_EQ(Options().Row(33094)->Text(), QStringLiteral("25 fps"));
}

TEST_F(MainFrameDialogsTest, ClosingAsksWithTheMessageBoxAndNoKeepsTheProgramRunning) {
    int kind = 0;
    QTimer::singleShot(0, &frame, [this, &kind] {
        kind = frame.MessageBox().windowTitle() == QStringLiteral("Please confirm") ? 4 : 0;
        QTest::keyClick(frame.MessageBox().focusWidget() != nullptr
                            ? frame.MessageBox().focusWidget()
                            : &frame.MessageBox(),
                        Qt::Key_Escape);
    });
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(kind, 4);
    EXPECT_EQ(frame.MessageBox().Message(), QStringLiteral("close the application ?"));
    EXPECT_TRUE(frame.isVisible());
}

}  // namespace
}  // namespace kolvane
