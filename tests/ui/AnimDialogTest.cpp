#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <QTest>
#include <QTimer>

#include "model/SheetHistory.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "tests/support/SheetPatterns.h"
#include "tests/ui/PanelFixtures.h"
#include "ui/AnimDialog.h"
#include "ui/BasicButton.h"
#include "ui/ComboBar.h"
#include "ui/MessageDialog.h"
#include "ui/TextButton.h"

namespace kolvane {
namespace {

class AnimDialogTest : public ::testing::Test {
  protected:
    AnimDialogTest() {
        dialog.SetMessageBox([this](int kind, int id) {
            messages.push_back(id);
            return kind == CMessageDialog::kConfirm ? answer : CBasicDialog::kClose;
        });
    }
    CNode* Image(const QString& name) { return test::ImageItem(media, name); }
    QStringList ImageNames() const {
        QStringList names;
        for (const CNode* item : *media.ImageLevel()->children)
            names << item->name;
        return names;
    }
    // Types over a field's text as the user does, and lets the edit through.
    void Type(int field, const QString& text) {
        CTextButton* input = dialog.Row(field)->Field();
        input->setFocus();
        QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(input, text);
        input->Commit();
    }
    QString Shown(int field) { return dialog.Row(field)->Text(); }
    void Click(int button) { QTest::mouseClick(dialog.Button(button), Qt::LeftButton, {}, {4, 4}); }
    // Runs the dialog on `target` and acts once it is open.
    int Run(CAnimDialog::Mode mode, CAnim& target, const std::function<void()>& act) {
        QTimer::singleShot(0, &dialog, act);
        return dialog.Run(mode, target);
    }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    test::CSnapshotCounter history;
    test::CCommandRecorder sink;
    CAnimDialog dialog{nullptr, sheet, history, sink};
    std::vector<int> messages;
    int answer = CBasicDialog::kYes;
};

TEST_F(AnimDialogTest, RenameNumbersTheSelectionOnOk) {
    for (const char* name : {"a 0001", "b 0001", "c 0001"})
        Image(name)->Select();
    Image("keep 0001");
    CAnim target(media);
    target.TakeSelection();

    const int result = Run(CAnimDialog::Mode::kRename, target, [&] {
        EXPECT_TRUE(dialog.IsModal());
        EXPECT_EQ(dialog.windowTitle(), "Rename media");
        EXPECT_EQ(Shown(CAnimDialog::kName), "MIXED");
        EXPECT_EQ(Shown(CAnimDialog::kFirst), "1");
        Type(CAnimDialog::kName, "run");
        Type(CAnimDialog::kStep, "5");
        Type(CAnimDialog::kFirst, "10");
        EXPECT_EQ(Shown(CAnimDialog::kLast), "20") << "first moves last along";
        EXPECT_EQ(target.Name(), "MIXED") << "only a working copy changes before OK";
        Click(1);
    });

    EXPECT_EQ(result, CBasicDialog::kOk);
    EXPECT_EQ(ImageNames(), (QStringList{"keep 0001", "run 0010", "run 0015", "run 0020"}))
        << "renamed in list order, then sorted";
    EXPECT_EQ(target.Get(), (AnimValues{"run", 10, 20, 25, 5}));
    EXPECT_EQ(history.resets, 1);
    EXPECT_EQ(sink.all, (std::vector<int>{cmd::kGrabNameRefresh, cmd::kSheetChanged}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(AnimDialogTest, AClashIsAskedAndOnlyYesReplaces) {
    Image("a 0001")->Select();
    Image("a 0002")->Select();
    Image("run 0002");
    CAnim target(media);
    target.TakeSelection();

    const int result = Run(CAnimDialog::Mode::kRename, target, [&] {
        Type(CAnimDialog::kName, "run");
        answer = CBasicDialog::kNo;
        Click(1);
        EXPECT_EQ(messages, (std::vector<int>{60026}));
        EXPECT_TRUE(dialog.IsOpen()) << "no keeps the dialog open";
        EXPECT_EQ(target.Name(), "run") << "the target holds what was entered";
        EXPECT_EQ(ImageNames(), (QStringList{"a 0001", "a 0002", "run 0002"}));

        answer = CBasicDialog::kYes;
        Click(1);
    });

    EXPECT_EQ(result, CBasicDialog::kOk);
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(ImageNames(), (QStringList{"run 0001", "run 0002"}));
}

TEST_F(AnimDialogTest, ANameThatIsNoFileNameIsRefused) {
    Image("a 0001")->Select();
    CAnim target(media);
    target.TakeSelection();

    const int result = Run(CAnimDialog::Mode::kRename, target, [&] {
        for (const char* name : {"a/b", "..", "."}) {
            Type(CAnimDialog::kName, name);
            Click(1);
            EXPECT_TRUE(dialog.IsOpen()) << name;
        }
        QTest::keyClick(dialog.Row(CAnimDialog::kName)->Field(), Qt::Key_Escape);
    });

    EXPECT_EQ(result, CBasicDialog::kCancel);
    EXPECT_EQ(messages, (std::vector<int>{60027, 60027, 60027}));
    EXPECT_EQ(ImageNames(), (QStringList{"a 0001"}));
    EXPECT_EQ(target.Name(), "a");
    EXPECT_EQ(history.resets, 0);
}

TEST_F(AnimDialogTest, GrabLevelTakesTheNumbersOfTheLevelNamed) {
    for (const char* name : {"walk 0001", "walk 0003", "walk 0005", "run 0001"})
        Image(name);
    CAnim target(media);

    const int result = Run(CAnimDialog::Mode::kGrabLevel, target, [&] {
        EXPECT_EQ(dialog.windowTitle(), "Set grab level");
        Type(CAnimDialog::kName, "Walk");
        EXPECT_EQ(Shown(CAnimDialog::kName), "Walk");
        EXPECT_EQ(Shown(CAnimDialog::kFirst), "1");
        EXPECT_EQ(Shown(CAnimDialog::kLast), "5");
        EXPECT_EQ(Shown(CAnimDialog::kNext), "7");
        EXPECT_EQ(Shown(CAnimDialog::kStep), "2");
        Type(CAnimDialog::kNext, "20");
        QTest::keyClick(dialog.Row(CAnimDialog::kNext)->Field(), Qt::Key_Return);
    });

    EXPECT_EQ(result, CBasicDialog::kOk);
    EXPECT_EQ(target.Get(), (AnimValues{"Walk", 1, 5, 20, 2}));
    EXPECT_EQ(target.Images().size(), 3u);
    EXPECT_EQ(history.resets, 0) << "nothing is renamed";
    EXPECT_TRUE(sink.all.empty());
}

}  // namespace
}  // namespace kolvane
