#include <algorithm>

#include <QApplication>

#include "settings/Settings.h"
#include "tests/app/FrameFixture.h"
#include "ui/CameraDialog.h"
#include "ui/ComboBar.h"
#include "ui/VSourceDialog.h"

namespace kolvane {
namespace {

class GrabberDialogsTest : public test::FrameFixture {
  protected:
    GrabberDialogsTest() {
        frame.SendCommand(cmd::kViewGrabber);
        spy.seen.clear();
    }
    CVSourceDialog& Source() { return frame.VideoSourceDialog(); }
    CCameraDialog& Camera() { return frame.CameraDialog(); }
    CSettings& settings = objects.settings;

    // The user picks `text` in a list row: the row shows it and sends its command.
    static void Choose(CComboBar& row, const QString& text) {
        row.SetText(text);
        emit row.Command(row.CommandId());
    }
    std::vector<int> Bytes(int from, int to) const {
        std::vector<int> bytes;
        for (int i = from; i <= to; ++i)
            bytes.push_back(objects.settings.Get(i));
        return bytes;
    }
    // The capture graph's and the grabber's commands the spy saw, in order.
    std::vector<int> GraphCommands() const {
        std::vector<int> seen;
        std::copy_if(spy.seen.begin(), spy.seen.end(), std::back_inserter(seen),
                     [](int id) { return (id >= 32850 && id <= 32867) || id == 33020; });
        return seen;
    }
};

TEST_F(GrabberDialogsTest, EachVideoSourceChangeIsStoredAndSentToTheGraph) {
    frame.SendCommand(cmd::kVideoSource);
    ASSERT_TRUE(Source().IsOpen());
    EXPECT_EQ(Source().windowTitle(), QStringLiteral("Adjust video source"));
    EXPECT_FALSE(frame.QueryCommand(cmd::kVideoSource).enabled);
    EXPECT_EQ(Source().Row(VideoInput)->Text(), settings.TextOf(VideoInput, false));

    Choose(*Source().Row(VideoInput), QStringLiteral("dv video (1394)"));
    EXPECT_EQ(settings.Get(VideoInput), 3);
    Choose(*Source().Row(VideoQuality), QStringLiteral("full hd (1920x1080)"));
    EXPECT_EQ(settings.Get(VideoQuality), 5);
    Choose(*Source().Row(Denoise), QStringLiteral("severe"));
    EXPECT_EQ(settings.Get(Denoise), 8);
    // A number row stores all five numbers, held to 0..100.
    Source().Row(Brightness)->SetText(QStringLiteral("140"));
    Source().Row(Opacity)->SetText(QStringLiteral("35"));
    emit Source().Row(Brightness)->Command(CVSourceDialog::kPictureRow);
    EXPECT_EQ(settings.Get(Brightness), 100);
    EXPECT_EQ(settings.Get(Opacity), 35);
    EXPECT_EQ(Source().Row(Brightness)->Text(), QStringLiteral("100"));
    EXPECT_EQ(GraphCommands(), (std::vector<int>{cmd::kReopenVideoInput, cmd::kVideoFormatChanged,
                                                 cmd::kDenoiseChanged, cmd::kGrabberSettings3}));

    // A reload shows what the record holds now.
    settings.Set(Contrast, 12);
    frame.SendCommand(cmd::kVideoSourceReload);
    EXPECT_EQ(Source().Row(Contrast)->Text(), QStringLiteral("12"));
}

TEST_F(GrabberDialogsTest, VideoSourceCancelPutsBytes16To23BackAndTheGraphWithThem) {
    const std::vector<int> before = Bytes(VideoInput, Opacity);
    frame.SendCommand(cmd::kVideoSource);
    Choose(*Source().Row(VideoInput), QStringLiteral("webcam (usb)"));
    Choose(*Source().Row(VideoQuality), QStringLiteral("low (most images)"));
    Choose(*Source().Row(Denoise), QStringLiteral("extreme"));
    Source().Row(Whiteness)->SetText(QStringLiteral("3"));
    emit Source().Row(Whiteness)->Command(CVSourceDialog::kPictureRow);
    ASSERT_NE(Bytes(VideoInput, Opacity), before);
    spy.seen.clear();

    Source().SendDialogCommand(CBasicDialog::kCancel);
    EXPECT_FALSE(Source().IsOpen());
    EXPECT_EQ(Bytes(VideoInput, Opacity), before);
    // The input changed: the graph searches again for the old one, in the
    // old quality; then the old noise reduction and picture settings.
    EXPECT_EQ(GraphCommands(), (std::vector<int>{cmd::kReopenVideoInput, cmd::kDenoiseChanged,
                                                 cmd::kGrabberSettings3}));

    // Only the quality changed: a new format on the device in use.
    frame.SendCommand(cmd::kVideoSource);
    Choose(*Source().Row(VideoQuality), QStringLiteral("best (most details)"));
    spy.seen.clear();
    Source().SendDialogCommand(CBasicDialog::kCancel);
    EXPECT_EQ(Bytes(VideoInput, Opacity), before);
    EXPECT_EQ(GraphCommands(),
              (std::vector<int>{cmd::kVideoFormatChanged, cmd::kGrabberSettings3}));

    // OK keeps what was chosen.
    frame.SendCommand(cmd::kVideoSource);
    Choose(*Source().Row(VideoQuality), QStringLiteral("best (most details)"));
    Source().SendDialogCommand(CBasicDialog::kOk);
    EXPECT_EQ(settings.Get(VideoQuality), 4);
}

TEST_F(GrabberDialogsTest, CameraChangesAreWrittenAndCancelGivesTheCameraItsValuesBack) {
    frame.Receivers().cameraName = [] { return QStringLiteral("Canon EOS 550D"); };
    settings.Set(VideoInput, 6);
    settings.Set(ImageSize, 254);
    const std::vector<int> before = Bytes(LightingType, ImageSize);
    spy.seen.clear();
    frame.SendCommand(cmd::kCameraSetup);
    ASSERT_TRUE(Camera().IsOpen());
    EXPECT_EQ(Camera().windowTitle(), QStringLiteral("Camera setup"));
    EXPECT_EQ(Camera().CameraRow()->Text(), QStringLiteral("Canon EOS 550D"));
    EXPECT_EQ(Camera().Row(ImageSize)->Text(), QStringLiteral("SD video (liveview)"));
    EXPECT_EQ(GraphCommands(), (std::vector<int>{cmd::kCameraRemember}));

    spy.seen.clear();
    Choose(*Camera().Row(LightingType), QStringLiteral("tungsten (3200K)"));
    EXPECT_EQ(settings.Get(LightingType), 3);
    EXPECT_EQ(GraphCommands(), (std::vector<int>{cmd::kGrabberSettings4}));
    spy.seen.clear();
    Choose(*Camera().Row(ImageSize), QStringLiteral("4K+ film (L phototype)"));
    EXPECT_EQ(settings.Get(ImageSize), 0);
    // A new grab size: the status line and overlay follow.
    EXPECT_EQ(GraphCommands(), (std::vector<int>{cmd::kGrabberSettings4, cmd::kGrabberRefresh}));
    Choose(*Camera().Row(FocalRange), QStringLiteral("macro focus (f/22)"));
    Choose(*Camera().Row(SceneType), QStringLiteral("dark (ISO 800)"));
    ASSERT_EQ(Bytes(LightingType, ImageSize), (std::vector<int>{3, 96, 80, 0}));

    spy.seen.clear();
    Camera().SendDialogCommand(CBasicDialog::kCancel);
    EXPECT_FALSE(Camera().IsOpen());
    EXPECT_EQ(Bytes(LightingType, ImageSize), before);
    EXPECT_EQ(GraphCommands(), (std::vector<int>{cmd::kCameraRestore, cmd::kGrabberSettings4,
                                                 cmd::kGrabberRefresh}));

    // Without a camera the row says so; a cancel without a size change
    // leaves the status line alone.
    frame.Receivers().cameraName = [] { return QString(); };
    frame.SendCommand(cmd::kCameraSetup);
    EXPECT_EQ(Camera().CameraRow()->Text(), QStringLiteral("no camera"));
    Choose(*Camera().Row(LightingType), QStringLiteral("shade (7000K)"));
    spy.seen.clear();
    Camera().SendDialogCommand(CBasicDialog::kCancel);
    EXPECT_EQ(GraphCommands(), (std::vector<int>{cmd::kCameraRestore, cmd::kGrabberSettings4}));
    EXPECT_EQ(Bytes(LightingType, ImageSize), before);
}

TEST_F(GrabberDialogsTest, OpenDialogsGoAndComeWithTheGrabber) {
    frame.SendCommand(cmd::kVideoSource);
    ASSERT_TRUE(Source().isVisible());
    frame.SendCommand(cmd::kViewEditor);
    EXPECT_FALSE(Source().isVisible());
    EXPECT_TRUE(Source().IsOpen());
    EXPECT_FALSE(frame.QueryCommand(cmd::kVideoSource).enabled);
    frame.SendCommand(cmd::kViewGrabber);
    EXPECT_TRUE(Source().isVisible());
    Source().SendDialogCommand(CBasicDialog::kOk);
    frame.SendCommand(cmd::kViewEditor);
    frame.SendCommand(cmd::kViewGrabber);
    EXPECT_FALSE(Source().isVisible());  // a closed dialog stays closed
}

}  // namespace
}  // namespace kolvane
