#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "ui/BasicButton.h"
#include "ui/ScrollBar.h"

namespace kolvane {
namespace {

class ScrollBarTest : public ::testing::Test {
  protected:
    ScrollBarTest() {
        bar.setGeometry(0, 0, 16, 216);  // arrows 16 high, track 184
        bar.SetRange(0, 100);
        bar.SetPage(10);
    }
    CColors colors{QColor(CColors::kMediaView)};
    CVScrollBar bar{colors, nullptr};
};

TEST_F(ScrollBarTest, PositionMessagesStayWithinMinimumAndMaximumLessPage) {
    struct Case {
        int start;
        int code;
        int expected;
    };
    const Case cases[] = {
        {0, CScrollBar::kLineBack, 0}, {0, CScrollBar::kLineOn, 1},
        {89, CScrollBar::kLineOn, 90}, {90, CScrollBar::kLineOn, 90},
        {5, CScrollBar::kPageBack, 0}, {50, CScrollBar::kPageBack, 40},
        {85, CScrollBar::kPageOn, 90}, {50, CScrollBar::kPageOn, 60},
    };
    for (const Case& c : cases) {
        bar.SetPosition(c.start);
        bar.Scroll(c.code);
        EXPECT_EQ(bar.Position(), c.expected) << c.start << " code " << c.code;
    }
}

TEST_F(ScrollBarTest, RangeChangesPullThePositionBackAndAShortListStaysAtTheStart) {
    bar.SetPosition(500);
    EXPECT_EQ(bar.Position(), 90);
    bar.SetRange(0, 40);
    EXPECT_EQ(bar.Position(), 30);
    bar.SetPage(60);  // the page is longer than the list
    EXPECT_EQ(bar.Limit(), 0);
    EXPECT_EQ(bar.Position(), 0);
    bar.Scroll(CScrollBar::kPageOn);
    EXPECT_EQ(bar.Position(), 0);
    bar.SetRange(5, 3);  // an inverted range collapses onto its minimum
    EXPECT_EQ(bar.Position(), 5);
}

TEST_F(ScrollBarTest, OnlyUserChangesAreReported) {
    QSignalSpy changed(&bar, &CScrollBar::PositionChanged);
    bar.SetPosition(20);
    EXPECT_EQ(changed.count(), 0);
    bar.Scroll(CScrollBar::kLineOn);
    bar.ToEnd();
    bar.ToEnd();  // no change, no report
    bar.ToStart();
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed[0][0].toInt(), 21);
    EXPECT_EQ(changed[1][0].toInt(), 90);
    EXPECT_EQ(changed[2][0].toInt(), 0);
}

TEST_F(ScrollBarTest, ArrowsStepByLinesAndTheTrackPagesBesideTheThumb) {
    bar.SetPosition(50);
    QTest::mouseClick(bar.OnButton(), Qt::LeftButton, {}, {4, 4});
    EXPECT_EQ(bar.Position(), 51);
    QTest::mouseClick(bar.BackButton(), Qt::LeftButton, {}, {4, 4});
    EXPECT_EQ(bar.Position(), 50);

    const QRect thumb = bar.ThumbRect();
    QTest::mouseClick(&bar, Qt::LeftButton, {}, {8, thumb.bottom() + 5});
    EXPECT_EQ(bar.Position(), 60);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, {8, bar.ThumbRect().top() - 5});
    EXPECT_EQ(bar.Position(), 50);
}

TEST_F(ScrollBarTest, DraggingTheThumbMovesInProportionAndStopsAtTheEnds) {
    bar.SetPosition(0);
    const QRect thumb = bar.ThumbRect();
    const int travel = bar.TrackRect().height() - thumb.height();
    const QPoint grip(8, thumb.center().y());
    QTest::mousePress(&bar, Qt::LeftButton, {}, grip);
    QTest::mouseMove(&bar, grip + QPoint(0, travel / 2));
    EXPECT_NEAR(bar.Position(), 45, 1);
    QTest::mouseMove(&bar, grip + QPoint(0, travel * 3));
    EXPECT_EQ(bar.Position(), 90);
    QTest::mouseMove(&bar, grip - QPoint(0, travel));
    EXPECT_EQ(bar.Position(), 0);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, grip);
}

}  // namespace
}  // namespace kolvane
