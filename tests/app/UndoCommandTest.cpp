#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTimer>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "platform/StringTable.h"
#include "ui/MessageDialog.h"

namespace kolvane {
namespace {

class UndoCommandTest : public ::testing::Test {
  protected:
    UndoCommandTest() : objects(CEngine::Program{160}) {
        frame.resize(1280, 800);
        frame.show();
        QApplication::processEvents();
    }
    // An edit as the editing commands make it.
    void PlaceImage(const QString& name) {
        objects.undo.RecordEdit(objects.sheet);
        objects.sheet.PlaceImage(
            objects.media.AddMediaFile(kTypeImage, QStringLiteral("/scene/%1.png").arg(name)));
        frame.SendCommand(cmd::kSheetChanged);
    }
    bool Enabled(int id) { return frame.QueryCommand(id).enabled; }

    CEngine objects;
    CMainFrame frame{objects};
};

TEST_F(UndoCommandTest, UndoAndRedoCommandsStepTheSheetAndFollowTheHistory) {
    EXPECT_FALSE(Enabled(cmd::kUndo)) << "an empty Undo folder has nothing to undo";
    EXPECT_FALSE(Enabled(cmd::kRedo));
    PlaceImage("A 0001");
    PlaceImage("A 0002");
    EXPECT_TRUE(Enabled(cmd::kUndo));
    EXPECT_EQ(objects.title.FrameCount(), 4);

    frame.SendCommand(cmd::kUndo);
    EXPECT_EQ(objects.title.FrameCount(), 2);
    EXPECT_TRUE(Enabled(cmd::kRedo));
    frame.SendCommand(cmd::kUndo);
    EXPECT_TRUE(objects.sheet.Levels().empty());
    EXPECT_FALSE(Enabled(cmd::kUndo));

    frame.SendCommand(cmd::kRedo);
    frame.SendCommand(cmd::kRedo);
    EXPECT_EQ(objects.title.FrameCount(), 4);
    EXPECT_FALSE(Enabled(cmd::kRedo));
}

TEST_F(UndoCommandTest, AnUnreadableSnapshotIsReportedAndTheSheetStays) {
    PlaceImage("A 0001");
    PlaceImage("A 0002");
    ASSERT_TRUE(QFile::remove(objects.undo.UndoList().front() + ".csv"));

    QString shown;
    QTimer::singleShot(0, &frame, [&] {
        shown = frame.MessageBox().Message();
        frame.MessageBox().End(CBasicDialog::kClose);
    });
    frame.SendCommand(cmd::kUndo);
    EXPECT_EQ(shown, StringText(msg::kUndoNotRead));
    EXPECT_EQ(objects.title.FrameCount(), 4);
}

TEST_F(UndoCommandTest, TheNextStartGoesOnFromTheSnapshotsLeftBehind) {
    PlaceImage("A 0001");
    PlaceImage("A 0002");
    CEngine next(CEngine::Program{160});
    EXPECT_EQ(next.undo.Counter(), "0002");
    EXPECT_TRUE(next.undo.CanUndo());
}

}  // namespace
}  // namespace kolvane
