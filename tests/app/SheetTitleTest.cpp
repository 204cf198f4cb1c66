#include <gtest/gtest.h>

#include "app/MainFrame.h"
#include "engine/Engine.h"

namespace kolvane {
namespace {

TEST(SheetTitle, TheTitleFollowsEveryChangeOfTheSheet) {
    CEngine objects(CEngine::Program{133});
    CMainFrame frame(objects);
    CNode* a1 = objects.media.AddMediaFile(kTypeImage, QStringLiteral("/scene/A 0001.png"));
    CNode* a2 = objects.media.AddMediaFile(kTypeImage, QStringLiteral("/scene/A 0002.png"));
    objects.sheet.PlaceImage(a1);
    objects.sheet.PlaceImage(a2);

    frame.SendCommand(cmd::kSheetChanged);
    EXPECT_EQ(objects.sheet.Levels().size(), 2) << "normalised: a trailing blank column";
    EXPECT_EQ(objects.title.FrameCount(), 4);
    EXPECT_TRUE(frame.windowTitle().contains(QStringLiteral("4 frames (0.16 seconds at 25 fps)")))
        << frame.windowTitle().toStdString();

    objects.sheet.Clear();
    frame.SendCommand(cmd::kSheetChanged);
    EXPECT_EQ(objects.title.FrameCount(), 0);
}

}  // namespace
}  // namespace kolvane
