#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "ui/BasicButton.h"
#include "ui/BasicDialog.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

class CClosingRecorder : public CBasicDialog {
  public:
    using CBasicDialog::CBasicDialog;
    std::vector<int> closed;

  protected:
    void OnClosed(int id) override { closed.push_back(id); }
};

TEST(BasicDialogTest, ButtonSetsGiveTheirLabelsAndCommands) {
    struct Case {
        int set;
        std::vector<std::pair<QString, int>> buttons;
    };
    const Case cases[] = {
        {0, {}},
        {1, {{"ok", 1}}},
        {2, {{"yes", 6}, {"no", 7}}},
        {3, {{"ok", 1}, {"cancel", 2}}},
        {4, {{"abort", 3}, {"stop", 10}}},
        {5, {{"apply", 9}, {"close", 2}}},
        {6, {{"ok", 1}, {"apply", 9}, {"close", 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        CClosingRecorder dialog(nullptr);
        dialog.SetButtonSet(c.set);
        dialog.Create(QStringLiteral("t"), 400, 200);
        for (int k = 1; k <= 3; ++k) {
            CBasicButton* button = dialog.Button(k);
            if (k > static_cast<int>(c.buttons.size())) {
                EXPECT_EQ(button, nullptr);
                continue;
            }
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->Text(), c.buttons[static_cast<std::size_t>(k - 1)].first);
            EXPECT_EQ(button->CommandId(), c.buttons[static_cast<std::size_t>(k - 1)].second);
        }
        // Every button ends a modeless dialog with its own id.
        if (!c.buttons.empty()) {
            CBasicButton* last = dialog.Button(static_cast<int>(c.buttons.size()));
            QTest::mouseClick(last, Qt::LeftButton, {}, {3, 3});
            EXPECT_FALSE(dialog.IsOpen());
            EXPECT_EQ(dialog.closed, std::vector<int>{last->CommandId()});
        }
    }
}

TEST(BasicDialogTest, LayoutFollowsTheDialogUnit) {
    const int unit = DialogUnit();
    const int line = LineHeight();
    CBasicDialog dialog(nullptr);
    dialog.SetButtonSet(6);
    dialog.Create(QStringLiteral("t"), 600, 300);
    const int frame = CBasicDialog::kFrameWidth;
    const QRect row = dialog.ButtonRowRect();
    EXPECT_EQ(row.height(), unit / 2);
    EXPECT_EQ(row.left(), frame + 2);
    EXPECT_EQ(row.right(), 600 - frame - 3);
    EXPECT_EQ(row.bottom(), 300 - frame - 3);
    EXPECT_EQ(dialog.ClientRect().bottom(), row.top() - 3);  // a 2-pixel gap
    const int each = row.width() / 3;
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(dialog.Button(k)->geometry(),
                  QRect(row.left() + (k - 1) * each, row.top(), each, row.height())
                      .adjusted(1, 1, -1, -1));
    }
    EXPECT_EQ(dialog.CloseBoxRect(),
              QRect(600 - frame - line, frame, line, CBasicDialog::CaptionHeight()));
    EXPECT_EQ(dialog.CaptionRect().right(), dialog.CloseBoxRect().left() - 1);

    dialog.SetButtonSet(0);
    EXPECT_EQ(dialog.ClientRect().bottom(), 300 - frame - 3);
}

TEST(BasicDialogTest, PositionMemoryAboveNineReopensWhereTheUserLeftIt) {
    QWidget owner;
    owner.setGeometry(50, 50, 900, 700);
    owner.show();
    for (const int memory : {9, 10}) {
        SCOPED_TRACE(memory);
        CBasicDialog dialog(&owner);
        dialog.SetPositionMemory(memory);
        dialog.Create(QStringLiteral("stats"), 200, 100);
        const QPoint centred = dialog.pos();
        dialog.move(centred + QPoint(70, 30));
        dialog.End(CBasicDialog::kClose);
        dialog.Create(QStringLiteral("stats"), 200, 100);
        EXPECT_EQ(dialog.pos(), memory > 9 ? centred + QPoint(70, 30) : centred);
        dialog.End(CBasicDialog::kClose);
    }
}

TEST(BasicDialogTest, DraggingTheCaptionMovesTheWindow) {
    CBasicDialog dialog(nullptr);
    dialog.Create(QStringLiteral("t"), 300, 150);
    const QPoint start = dialog.pos();
    const QPoint grip = dialog.CaptionRect().center();
    QTest::mousePress(&dialog, Qt::LeftButton, {}, grip);
    QTest::mouseMove(&dialog, grip + QPoint(40, 25));
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, grip + QPoint(40, 25));
    EXPECT_EQ(dialog.pos(), start + QPoint(40, 25));
}

}  // namespace
}  // namespace kolvane
