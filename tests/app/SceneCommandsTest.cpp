#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTimer>

#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "model/Anim.h"
#include "tests/support/TestEnvironment.h"
#include "ui/MessageDialog.h"

namespace kolvane {
namespace {

// The program's objects over the test's own working folders; the frame comes
// later, so that a test can leave work of an "earlier run" there first.
class SceneCommandsTest : public ::testing::Test {
  protected:
    SceneCommandsTest() : objects(CEngine::Program{160}) {}

    void Show() {
        frame = std::make_unique<CMainFrame>(objects);
        frame->resize(1280, 800);
        frame->show();
        QApplication::processEvents();
    }
    // Answers the next question of the message box.
    void Answer(int button) {
        QTimer::singleShot(0, frame.get(), [this, button] { frame->MessageBox().End(button); });
    }
    void Grabbed(const QString& name) {
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(Qt::gray);
        ASSERT_TRUE(image.save(objects.storage.GetGrabFolder() + name + QStringLiteral(".png")));
    }
    bool Enabled(int id) { return frame->QueryCommand(id).enabled; }
    int Frames() const { return objects.sheet.FrameCount(); }

    CEngine objects;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(SceneCommandsTest, EmptyWorkingFoldersStartAnUntitledSceneInTheGrabber) {
    Show();
    EXPECT_EQ(frame->ActiveArea(), CMainFrame::Area::Grabber);
    EXPECT_TRUE(objects.title.Text().contains(QStringLiteral("Scene: Untitled ")));
    EXPECT_FALSE(objects.title.IsChanged());
    EXPECT_FALSE(Enabled(cmd::kRestoreLastScene));
    EXPECT_FALSE(Enabled(cmd::kSaveScene));
    EXPECT_FALSE(Enabled(cmd::kClearSceneTiming));
    EXPECT_FALSE(Enabled(cmd::kOpenSceneTiming));
}

TEST_F(SceneCommandsTest, WorkOfAnEarlierRunComesBackInTheEditorMarkedAsChanged) {
    Grabbed(QStringLiteral("walk 0001"));
    Grabbed(QStringLiteral("walk 0002"));
    Show();
    EXPECT_EQ(frame->ActiveArea(), CMainFrame::Area::Editor);
    EXPECT_TRUE(objects.title.IsChanged());
    EXPECT_EQ(objects.title.ImageCount(), 2);
    EXPECT_EQ(Frames(), 2 * objects.settings.Get(DefTiming));
    EXPECT_EQ(frame->GrabLevel().NextName(), QStringLiteral("walk 0003"));
    EXPECT_TRUE(Enabled(cmd::kSaveScene));
    EXPECT_TRUE(Enabled(cmd::kClearSceneTiming));
    EXPECT_TRUE(Enabled(cmd::kOpenSceneTiming));
}

TEST_F(SceneCommandsTest, ClearSceneAsksThenClearsIntoTheGrabberAndRestoreBringsItBack) {
    Grabbed(QStringLiteral("walk 0001"));
    Show();
    const int frames = Frames();
    ASSERT_GT(frames, 0);

    Answer(CBasicDialog::kNo);
    frame->SendCommand(cmd::kClearScene);
    EXPECT_EQ(frame->MessageBox().Message(), QStringLiteral("clear the current scene ?"));
    EXPECT_EQ(Frames(), frames);

    Answer(CBasicDialog::kYes);
    frame->SendCommand(cmd::kClearScene);
    EXPECT_EQ(Frames(), 0);
    EXPECT_EQ(objects.media.ImageLevel(), nullptr);
    EXPECT_EQ(frame->ActiveArea(), CMainFrame::Area::Grabber);
    EXPECT_FALSE(objects.title.IsChanged());
    EXPECT_EQ(objects.title.FrameCount(), 0);
    EXPECT_TRUE(Enabled(cmd::kRestoreLastScene));

    Answer(CBasicDialog::kYes);
    frame->SendCommand(cmd::kRestoreLastScene);
    EXPECT_EQ(Frames(), frames);
    EXPECT_EQ(objects.title.FrameCount(), frames);
    EXPECT_EQ(objects.title.ImageCount(), 1);
    EXPECT_FALSE(objects.title.IsChanged());
}

TEST_F(SceneCommandsTest, ClearSceneTimingKeepsTheMediaAndSwitchesToTheEditor) {
    Grabbed(QStringLiteral("walk 0001"));
    Show();
    frame->SendCommand(cmd::kViewPlayer);
    objects.title.SetMark(QString());
    Answer(CBasicDialog::kYes);
    frame->SendCommand(cmd::kClearSceneTiming);
    EXPECT_EQ(frame->MessageBox().Message(), QStringLiteral("clear the scene timing ?"));
    EXPECT_EQ(Frames(), 0);
    EXPECT_EQ(objects.media.ImageLevel()->children->size(), 1);
    EXPECT_EQ(frame->ActiveArea(), CMainFrame::Area::Editor);
    EXPECT_TRUE(objects.title.IsChanged());
}

TEST_F(SceneCommandsTest, OpenSceneFromTheDialogClearsFirstAndStaysOutOfTheGrabber) {
    Grabbed(QStringLiteral("walk 0001"));
    Show();
    frame->SendCommand(cmd::kViewPlayer);
    const QString scene = QDir::tempPath() + QStringLiteral("/opened scene");
    QDir().mkpath(scene);
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(scene + QStringLiteral("/run 0001.png")));

    Answer(CBasicDialog::kYes);  // clear the current scene ?
    EXPECT_EQ(frame->OpenScene(scene, {".png"}), kOk);
    EXPECT_EQ(objects.media.ImageLevel()->children->size(), 1);
    EXPECT_EQ(objects.media.ImageLevel()->children->front()->name, QStringLiteral("run 0001"));
    EXPECT_EQ(objects.title.SceneName(), scene);
    EXPECT_EQ(objects.title.ImageCount(), 1);
    // The clear ran for the dialog: no settings restored, no switch.
    EXPECT_EQ(frame->ActiveArea(), CMainFrame::Area::Player);
}

TEST_F(SceneCommandsTest, OpenSceneTimingReadsAnXdtsSheetAndSaysWhatItLeftOut) {
    Grabbed(QStringLiteral("walk 0001"));
    Grabbed(QStringLiteral("walk 0002"));
    Show();
    QFile sheet(QDir::tempPath() + QStringLiteral("/from 2D/cut.xdts"));
    QDir().mkpath(QDir::tempPath() + QStringLiteral("/from 2D"));
    ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
    sheet.write(
        "exchangeDigitalTimeSheet Save Data\n"
        "{\"version\":5,\"timeTables\":[{\"duration\":4,"
        "\"timeTableHeaders\":[{\"fieldId\":0,\"names\":[\"walk\"]}],"
        "\"fields\":[{\"fieldId\":5,\"tracks\":[]},{\"fieldId\":0,\"tracks\":[{"
        "\"trackNo\":0,\"frames\":[{\"frame\":0,\"data\":[{\"id\":0,\"values\":[\"2\"]}]},"
        "{\"frame\":2,\"data\":[{\"id\":0,\"values\":[\"1\"]}]}]}]}]}]}");
    sheet.close();

    Answer(CBasicDialog::kYes);  // clear the scene timing ?
    // The warning comes once the sheet is read: close it when it shows.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, frame.get(), [this, &closer] {
        CMessageDialog& box = frame->MessageBox();
        if (box.isVisible() && box.Message().contains(QStringLiteral("camerawork"))) {
            closer.stop();
            box.End(CBasicDialog::kClose);
        }
    });
    closer.start(10);
    EXPECT_EQ(frame->OpenSceneTiming(QDir::tempPath() + QStringLiteral("/from 2D")), kOk);
    EXPECT_EQ(Frames(), 4);
    EXPECT_EQ(objects.sheet.Levels().front()->children->front()->name, QStringLiteral("walk 0002"));
    EXPECT_EQ(frame->MessageBox().Message(), QStringLiteral("camerawork field not read"));
}

// A failed scene procedure says where it failed and why, as the tool does.
TEST_F(SceneCommandsTest, AFailingOpenOrSaveNamesTheFileOrFolderInItsMessage) {
    Show();
    QStringList shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, frame.get(), [this, &shown] {
        CMessageDialog& box = frame->MessageBox();
        if (!box.isVisible()) return;
        shown << box.Message();
        box.End(CBasicDialog::kClose);
    });
    closer.start(10);

    // A timing file that is a FIFO: opening it would wait for ever.
    const QString scene =
        test::MakeTempDir(QStringLiteral("piped")) + QStringLiteral("/piped scene");
    QDir().mkpath(scene);
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(scene + QStringLiteral("/run 0001.png")));
    const QString fifo = scene + QStringLiteral("/piped scene.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(frame->OpenScene(scene, {".png"}), msg::kNotARegularFile);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown.back(), QStringLiteral("Not a regular file: ") + fifo);

    // A save below a file: no folder can be made there.
    const QString file = test::MakeTempDir(QStringLiteral("saved")) + QStringLiteral("/a file");
    QFile plain(file);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(frame->SaveScene(file + QStringLiteral("/saved"), QString()),
              msg::kCannotCreateFolder);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown.back(), QStringLiteral("Can't create the folder: ") + file +
                                QStringLiteral(": Not a directory"));
}

}  // namespace
}  // namespace kolvane
