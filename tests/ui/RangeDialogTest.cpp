#include <gtest/gtest.h>

#include <vector>

#include <QTest>

#include "model/SceneState.h"
#include "model/SheetHistory.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "tests/support/SheetPatterns.h"
#include "tests/ui/PanelFixtures.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"
#include "ui/RangeDialog.h"
#include "ui/SelectMenu.h"
#include "ui/TextButton.h"

namespace kolvane {
namespace {

class RangeDialogTest : public ::testing::Test {
  protected:
    RangeDialogTest() {
        scene.SetShownBy([this](bool unsaved) { title.ShowUnsavedChanges(unsaved); });
        dialog.SetMessageBox([this](int, int id) {
            messages.push_back(id);
            return CBasicDialog::kClose;
        });
        CNode* column = test::AddColumn(sheet, media, "c", {"A", "B", "C", "D"});
        test::SelectRows(*column, 0, 3);
        sheet.Normalise();
    }
    void Type(int control, const QString& text) {
        CTextButton* input = dialog.Row(control)->Field();
        input->setFocus();
        QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(input, text);
        input->Commit();
    }
    QString Shown(int control) { return dialog.Row(control)->Text(); }
    QStringList Cells() { return test::CellNames(*sheet.Levels().at(0)); }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    CTitleBar title{settings};
    CSceneState scene;  // shown by the title, as the program links them
    test::CSnapshotCounter history;
    test::CCommandRecorder sink;
    CRangeDialog dialog{nullptr, sheet, scene, history, sink, [] { return std::int64_t{0}; }};
    std::vector<int> messages;
};

TEST_F(RangeDialogTest, OpensOnTheSelectionAndAppliesEachChangeAtOnce) {
    dialog.Open();
    ASSERT_TRUE(dialog.IsOpen());
    EXPECT_FALSE(dialog.IsModal());
    EXPECT_EQ(dialog.windowTitle(), "Edit range");
    const QStringList shown{Shown(CRangeDialog::kOrdering), Shown(CRangeDialog::kTiming),
                            Shown(CRangeDialog::kRepeat),   Shown(CRangeDialog::kUntil),
                            Shown(CRangeDialog::kBefore),   Shown(CRangeDialog::kAfter)};
    EXPECT_EQ(shown, (QStringList{"keep", "1", "1", "4", "0", "1"}));
    EXPECT_TRUE(dialog.Row(CRangeDialog::kTiming)->isEnabled());

    Type(CRangeDialog::kTiming, "2");
    EXPECT_EQ(Cells(), (QStringList{"A", "A", "B", "B", "C", "C", "D", "D", "-"}));
    EXPECT_EQ(title.Mark(), "*");
    EXPECT_EQ(history.recorded, 1);
    EXPECT_EQ(Shown(CRangeDialog::kUntil), "8");
    EXPECT_EQ(sink.all, (std::vector<int>{cmd::kEditorGoToCurrent, cmd::kRangeReload}));

    // The ordering is chosen from its list.
    CComboBar* ordering = dialog.Row(CRangeDialog::kOrdering);
    ordering->OpenList();
    ASSERT_TRUE(ordering->Menu()->IsOpen());
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(ordering->Menu(), Qt::Key_Down);
    QTest::keyClick(ordering->Menu(), Qt::Key_Return);
    EXPECT_EQ(Shown(CRangeDialog::kOrdering), "reverse");
    EXPECT_EQ(Cells(), (QStringList{"D", "D", "C", "C", "B", "B", "A", "A", "-"}));

    Type(CRangeDialog::kRepeat, "2");
    EXPECT_EQ(Cells().size(), 17);
    EXPECT_EQ(Shown(CRangeDialog::kUntil), "16");
    EXPECT_EQ(history.recorded, 3);
    EXPECT_TRUE(messages.empty());
}

TEST_F(RangeDialogTest, AValueThatMakesNoSenseShowsTheRangeAsItIs) {
    dialog.Open();
    Type(CRangeDialog::kTiming, "0");
    EXPECT_EQ(Shown(CRangeDialog::kTiming), "1");
    Type(CRangeDialog::kUntil, "2");
    EXPECT_EQ(Shown(CRangeDialog::kUntil), "4");
    EXPECT_EQ(Cells(), (QStringList{"A", "B", "C", "D", "-"}));
}

TEST_F(RangeDialogTest, FollowsTheSelectionAndReportsAnUndoStepNotKept) {
    dialog.Open();
    history.answer = msg::kUndoNotSaved;
    Type(CRangeDialog::kBefore, "1");
    EXPECT_EQ(messages, (std::vector<int>{msg::kUndoNotSaved}));
    EXPECT_EQ(Cells(), (QStringList{"-", "A", "B", "C", "D", "-"})) << "the change is made";

    // Cells removed by the editor: 33027 measures again, here nothing.
    sheet.UnselectAll();
    EXPECT_TRUE(dialog.OnCommand(cmd::kRangeInitialise));
    EXPECT_FALSE(dialog.Row(CRangeDialog::kTiming)->isEnabled());
    EXPECT_FALSE(dialog.Row(CRangeDialog::kOrdering)->isEnabled());

    dialog.End(CBasicDialog::kClose);
    EXPECT_FALSE(dialog.IsOpen());
    EXPECT_FALSE(dialog.OnCommand(cmd::kRangeReload)) << "a closed dialog takes no commands";
}

}  // namespace
}  // namespace kolvane
