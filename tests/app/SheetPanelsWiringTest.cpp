#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QTest>

#include "tests/app/FrameFixture.h"
#include "ui/MdiaListPanel.h"
#include "ui/RangeDialog.h"
#include "ui/SelectView.h"
#include "ui/XshtMainPanel.h"
#include "ui/XshtView.h"

namespace kolvane {
namespace {

class SheetPanelsWiringTest : public test::FrameFixture {
  protected:
    CXshtMainPanel& Editor() {
        return *static_cast<CXshtMainPanel*>(frame.MainPanel(CMainFrame::Area::Editor));
    }
    CMdiaListPanel& Media() { return *static_cast<CMdiaListPanel*>(frame.MediaListPanel()); }
    QPoint CellPoint(CSelectView& view, int column, int row) {
        return view.CellRect({column, row}).center();
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(&frame, key, modifiers);
        QApplication::processEvents();  // the buttons post their commands
    }
    QStringList WalkCells() {
        QStringList names;
        for (const CNode* cell : *objects.sheet.Levels().at(0)->children)
            names << cell->name;
        return names;
    }
};

TEST_F(SheetPanelsWiringTest, TheEditorsKeysReachItsActionsThroughTheButtons) {
    FillSheet(5);
    Key(Qt::Key_F3);
    ASSERT_TRUE(frame.IsAreaVisible(CMainFrame::Area::Editor));
    CXshtView& view = Editor().View();
    QCursor::setPos(view.mapToGlobal(CellPoint(view, 0, 0)));
    QTest::mouseClick(&view, Qt::LeftButton, {}, CellPoint(view, 0, 1));

    // Numeric * opens the range dialog on the selection.
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    ASSERT_NE(Editor().RangeDialog(), nullptr);
    EXPECT_TRUE(Editor().RangeDialog()->IsOpen());
    Editor().RangeDialog()->End(CBasicDialog::kClose);
    frame.activateWindow();

    // Insert waits for the target, the click on row 3 names it.
    Key(Qt::Key_Insert);
    EXPECT_TRUE(Editor().WaitingForDuplicateTarget());
    QTest::mouseClick(&view, Qt::LeftButton, {}, CellPoint(view, 0, 3));
    EXPECT_EQ(WalkCells().mid(0, 5),
              (QStringList{"walk 0000", "walk 0001", "walk 0002", "walk 0001", "walk 0003"}));

    // Delete takes the selected cell out again.
    QTest::mouseClick(&view, Qt::LeftButton, {}, CellPoint(view, 0, 3));
    Key(Qt::Key_Delete);
    EXPECT_EQ(WalkCells().mid(0, 5),
              (QStringList{"walk 0000", "walk 0001", "walk 0002", "walk 0003", "walk 0004"}));
    EXPECT_EQ(objects.title.Mark(), "*");
    EXPECT_EQ(objects.title.FrameCount(), 5);
}

TEST_F(SheetPanelsWiringTest, TheMediaListTakesTheArrowKeysAndNumericPlusAdds) {
    FillSheet(3);
    objects.settings.Set(DefTiming, 1);
    CSelectView& view = Media().View();
    QCursor::setPos(view.mapToGlobal(CellPoint(view, 0, 0)));
    QTest::mouseClick(&view, Qt::LeftButton, {}, CellPoint(view, 0, 2));
    EXPECT_TRUE(objects.media.ImageLevel()->children->at(2)->IsSelected());

    Key(Qt::Key_Plus, Qt::KeypadModifier);
    // The editor follows: the new cell is the current frame.
    EXPECT_EQ(WalkCells().mid(0, 4),
              (QStringList{"walk 0000", "walk 0001", "walk 0002", "walk 0002"}));
    EXPECT_EQ(objects.sheet.CurrentFrame(), 3);
    EXPECT_EQ(spy.Count(cmd::kEditorGoToCurrent), 1);
}

}  // namespace
}  // namespace kolvane
