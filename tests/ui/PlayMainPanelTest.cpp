#include <gtest/gtest.h>

#include <QApplication>

#include "app/core/Settings.h"
#include "display/Direct3D.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"
#include "tests/player/ManualPlayClock.h"
#include "tests/support/TestEnvironment.h"
#include "ui/PlayMainPanel.h"

namespace kolvane {
namespace {

using namespace std::chrono_literals;

QRgb Colour(int k) {
    return qRgb(40 * k + 20, 90, 160);
}

class RecordingSink final : public ICommandSink {
  public:
    void SendCommand(int id) override { sent.push_back(id); }
    void PostCommand(int id) override { posted.push_back(id); }
    std::vector<int> sent;
    std::vector<int> posted;
};

// The scene objects, a sheet of three coloured images, and the player view on
// a clock the test moves.
class PlayMainPanelTest : public ::testing::Test {
  protected:
    PlayMainPanelTest() {
        settings.Set(FrameRate, 25);
        storage.Connect({&settings, &media, &sound, {}});
        const QString dir = test::MakeTempDir(QStringLiteral("panel"));
        CNode* column = sheet.GetColumn(0, QStringLiteral("walk"));
        for (int k = 0; k < 3; ++k) {
            CNode* item =
                media.AddMediaFile(kTypeImage, dir + QStringLiteral("/walk %1.png").arg(k));
            QImage texture(8, 6, QImage::Format_RGB32);
            texture.fill(Colour(k));
            item->texture = texture;
            item->imageInfo->imageWidth = 64;
            item->imageInfo->imageHeight = 48;
            column->children->append(CNode::NewCell(item));
        }
        sheet.Normalise();
        sheet.SetCurrentFrame(0);
        display.CreateDevice(QSize(64, 48));

        CPlayEngine::Links links;
        links.sheet = &sheet;
        links.media = &media;
        links.settings = &settings;
        links.display = &display;
        links.sound = &sound;
        links.storage = &storage;
        links.clock = &clock;
        panel = std::make_unique<CPlayMainPanel>(sink, links, nullptr);
        panel->resize(64, 48);
    }
    ~PlayMainPanelTest() override {
        panel.reset();
        storage.Connect({});
    }

    QRgb Centre() { return panel->grab().toImage().pixel(32, 24); }

    CStorage storage;
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    CDirect3D display{settings, media};
    CDirectSound sound{settings};
    test::CManualPlayClock clock;
    RecordingSink sink;
    std::unique_ptr<CPlayMainPanel> panel;
};

TEST_F(PlayMainPanelTest, ShowsTheCurrentFrameAndFollowsTheStepCommands) {
    panel->show();
    EXPECT_EQ(Centre(), Colour(0));
    EXPECT_TRUE(panel->OnCommand(cmd::kStepForw));
    EXPECT_EQ(Centre(), Colour(1));
    panel->OnCommand(cmd::kStepBack);
    panel->OnCommand(cmd::kStepBack);
    EXPECT_EQ(sheet.CurrentFrame(), 2);
    EXPECT_EQ(Centre(), Colour(2));
    EXPECT_TRUE(panel->OnCommand(cmd::kPlayerRefresh));
    EXPECT_TRUE(panel->OnCommand(cmd::kPlayerDisplaySettings));
    EXPECT_TRUE(panel->InfoShown());
    EXPECT_FALSE(panel->OnCommand(cmd::kViewEditor));
}

TEST_F(PlayMainPanelTest, PlaysOnItsTimerThreadAndStopsWhenHidden) {
    panel->show();
    ASSERT_TRUE(panel->OnCommand(cmd::kPlay));
    ASSERT_TRUE(panel->Engine().IsPlaying());
    clock.Advance(40ms);  // the first tick falls due
    while (sheet.CurrentFrame() == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(sheet.CurrentFrame(), 1);
    EXPECT_EQ(Centre(), Colour(1));  // a paint during the run shows the frame as it is

    panel->hide();
    EXPECT_FALSE(panel->Engine().IsPlaying());
    EXPECT_EQ(sink.sent.back(), cmd::kEditorGoToCurrent);
    clock.Advance(1s);
    QCoreApplication::processEvents();
    EXPECT_EQ(sheet.CurrentFrame(), 1);
}

}  // namespace
}  // namespace kolvane
