#include <gtest/gtest.h>

#include "display/Direct3D.h"
#include "model/MediaInfo.h"
#include "model/Node.h"
#include "movie/MovieFrame.h"
#include "tests/movie/MovieTestSupport.h"

namespace kolvane {
namespace {

struct FrameCase {
    QSize largest;
    const char* resizing;
    bool anamorphic;
    QSize frame;
    int mode;
};

TEST(MovieFrame, FollowsTheResizingFromTheLargestPicture) {
    const FrameCase cases[] = {
        {{720, 576}, "none", false, {720, 576}, kFitInside},
        {{720, 576}, "widescreen (16:9)", false, {720, 406}, kFitFill},  // 405 made even
        {{720, 576}, "standard (4:3)", false, {768, 576}, kFitFill},
        {{720, 576}, "pillarbox (16:9)", false, {1024, 576}, kFitInside},
        {{720, 576}, "letterbox (4:3)", false, {720, 540}, kFitInside},
        {{650, 480}, "none", false, {656, 484}, kFitInside},  // 480 x 656 / 650
        {{100, 100}, "720x576", false, {720, 576}, kFitInside},
        {{100, 80}, "0x576", false, {112, 646}, kFitInside},  // 576 x 112 / 100, made even
        {{100, 80}, " 320 x 0", false, {320, 80}, kFitInside},
        {{720, 576}, "none", true, {1024, 576}, kFitStretch},
        {{720, 576}, "widescreen (16:9)", true, {1024, 576}, kFitStretch},
    };
    for (const FrameCase& c : cases) {
        const MovieFrame frame =
            MovieFrameFor(c.largest, QString::fromUtf8(c.resizing), c.anamorphic);
        EXPECT_EQ(frame.rect, QRect(QPoint(0, 0), c.frame))
            << c.resizing << " from " << c.largest.width() << "x" << c.largest.height();
        EXPECT_EQ(frame.fitMode, c.mode) << c.resizing;
    }
}

TEST(MovieFrame, NoPictureGivesNoFrame) {
    EXPECT_TRUE(MovieFrameFor(QSize(), QStringLiteral("none"), false).rect.isEmpty());
    EXPECT_TRUE(MovieFrameFor(QSize(), QStringLiteral("pillarbox (16:9)"), true).rect.isEmpty());
    EXPECT_TRUE(RoundedMovieFrame(QSize(0, 48)).isEmpty());
    EXPECT_TRUE(
        MovieFrameFor(QSize(64, 48), QStringLiteral("99999999x99999999"), false).rect.isEmpty());
}

TEST(MovieFrame, LargestPictureTakesWidthAndHeightApartFromTheColumnsThatAreOn) {
    test::CTestScene scene;
    const auto sized = [&](const char* name, QSize size) {
        CNode* item = scene.Image(QString::fromUtf8(name), qRgb(0, 0, 0), QSize(4, 4));
        item->imageInfo->imageWidth = size.width();
        item->imageInfo->imageHeight = size.height();
        return item;
    };
    CNode* wide = sized("wide", QSize(640, 200));
    CNode* tall = sized("tall", QSize(300, 480));
    CNode* huge = sized("huge", QSize(4000, 3000));
    scene.Column({wide, nullptr});
    scene.Column({tall});
    CNode* hidden = scene.Column({huge});
    hidden->flags &= ~kFlagOn;
    scene.Finish();
    EXPECT_EQ(LargestPicture(scene.sheet), QSize(640, 480));
}

}  // namespace
}  // namespace kolvane
