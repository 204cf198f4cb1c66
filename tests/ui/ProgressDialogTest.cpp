#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "platform/StringTable.h"
#include "ui/BasicButton.h"
#include "ui/ProgressDialog.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kLoadingImages = 40207;

QRgb PixelAt(QWidget& widget, QPoint at) {
    return widget.grab().toImage().pixel(at);
}

TEST(ProgressDialogTest, BarFillsInProportionAndNeverDividesByZero) {
    CProgressDialog progress(nullptr);
    progress.Open(kLoadingImages, IProgress::kNoButtons);
    ASSERT_TRUE(progress.IsOpen());
    EXPECT_EQ(progress.windowTitle(), StringText(kLoadingImages));
    EXPECT_EQ(progress.BarRect().height(), LineHeight());
    const int width = progress.BarRect().width();

    struct Case {
        int total;
        int position;
        int filled;
    };
    const Case cases[] = {
        {100, 50, width * 50 / 100}, {100, 0, 0},     {100, 100, width}, {0, 0, 0}, {0, 7, 0},
        {3, 1, width / 3},           {10, 25, width}, {10, -4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.position << "/" << c.total);
        progress.SetRange(c.total);
        EXPECT_EQ(progress.Step(c.position), IProgress::kGoOn);
        EXPECT_EQ(progress.FilledRect().width(), c.filled);
    }

    // Half of 100 paints the left half in the face colour, the rest as track.
    progress.SetRange(100);
    progress.Step(50);
    const QRect bar = progress.BarRect();
    const int middle = bar.left() + bar.width() / 2;
    const QRgb face = progress.Colors().Fill(CColors::kFace).rgb();
    const QRgb track = progress.Colors().Fill(CColors::kTrack).rgb();
    EXPECT_EQ(PixelAt(progress, {middle - 1, bar.center().y()}), face);
    EXPECT_EQ(PixelAt(progress, {middle, bar.center().y()}), track);
    progress.Close();
    EXPECT_FALSE(progress.IsOpen());
}

TEST(ProgressDialogTest, ButtonsAndCloseBoxAreReportedByStepWithoutClosing) {
    struct Case {
        const char* name;
        int button;  // 0: the close box
        int answer;
    };
    const Case cases[] = {
        {"abort", 1, IProgress::kAbort},
        {"stop", 2, IProgress::kStop},
        {"close box", 0, IProgress::kClosed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CProgressDialog progress(nullptr);
        progress.Open(kLoadingImages, IProgress::kAbortStop);
        progress.SetRange(10);
        EXPECT_EQ(progress.Step(1), IProgress::kGoOn);
        ASSERT_NE(progress.Button(1), nullptr);
        EXPECT_EQ(progress.Button(1)->Text(), QStringLiteral("abort"));
        EXPECT_EQ(progress.Button(2)->Text(), QStringLiteral("stop"));
        if (c.button != 0) {
            QTest::mouseClick(progress.Button(c.button), Qt::LeftButton, {}, {4, 4});
        } else {
            QTest::mouseClick(&progress, Qt::LeftButton, {}, progress.CloseBoxRect().center());
        }
        EXPECT_EQ(progress.Step(2), c.answer);
        EXPECT_EQ(progress.Step(3), c.answer);  // it keeps the answer
        EXPECT_TRUE(progress.IsOpen());
        progress.Close();
    }
}

TEST(ProgressDialogTest, ReopeningStartsFreshAndBlocksOtherWindows) {
    QWidget owner;
    owner.show();
    CProgressDialog progress(&owner);
    progress.Open(kLoadingImages, IProgress::kAbortStop);
    EXPECT_EQ(QApplication::activeModalWidget(), &progress);
    QTest::mouseClick(progress.Button(2), Qt::LeftButton, {}, {4, 4});
    EXPECT_EQ(progress.Step(1), IProgress::kStop);
    progress.Close();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    progress.Open(kLoadingImages, IProgress::kNoButtons);
    EXPECT_EQ(progress.Button(1), nullptr);
    EXPECT_EQ(progress.Total(), 0);
    EXPECT_EQ(progress.Step(1), IProgress::kGoOn);
    // Without buttons the client is half a unit high; the bar stays one line.
    EXPECT_EQ(progress.BarRect().height(), LineHeight());
}

}  // namespace
}  // namespace kolvane
