#include <functional>

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QImageWriter>
#include <QTest>

#include "app/IdlePump.h"
#include "app/MainFrame.h"
#include "engine/Engine.h"
#include "model/MediaInfo.h"
#include "tests/support/TestEnvironment.h"
#include "ui/SelectBox.h"

namespace kolvane {
namespace {

// The main frame with the renderer and the image list of a scene whose
// photos have live-view companions beside them.
class DisplayWiringTest : public ::testing::Test {
  protected:
    DisplayWiringTest() : objects(CEngine::Program{133}) {
        dir = test::MakeTempDir(QStringLiteral("scene"));
        frame.resize(1024, 768);
        frame.show();
        QApplication::processEvents();
    }

    CNode* AddPhoto(const QString& name, bool companion) {
        Write(name + QStringLiteral(".jpg"), QSize(64, 48));
        if (companion) Write(name + QStringLiteral(".lvw"), QSize(32, 24));
        return objects.media.AddMediaFile(kTypeImage,
                                          dir + QLatin1Char('/') + name + QStringLiteral(".jpg"));
    }

    void Write(const QString& name, QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(QImageWriter(dir + QLatin1Char('/') + name, "png").write(image));
    }

    QString dir;
    CEngine objects;
    CMainFrame frame{objects};
};

TEST_F(DisplayWiringTest, TheViewGetsItsRendererAndIdleTimeLoadsTheImages) {
    ASSERT_TRUE(objects.display.HasDevice());
    EXPECT_EQ(objects.display.TargetSize(), frame.MainPanel(CMainFrame::Area::Player)->size());
    CNode* first = AddPhoto(QStringLiteral("shot 0001"), false);
    CNode* second = AddPhoto(QStringLiteral("shot 0002"), false);
    frame.IdlePump().Wake();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !second->texture.isNull(); }));
    EXPECT_EQ(first->imageInfo->imageWidth, 64);
}

// Counts the paints of a widget made once `ready` holds.
class PaintsAfter : public QObject {
  public:
    PaintsAfter(QWidget& widget, std::function<bool()> ready) : ready_(std::move(ready)) {
        widget.installEventFilter(this);
    }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && ready_()) ++count;
        return false;
    }

  private:
    std::function<bool()> ready_;
};

// A scene opened or resumed lists its images before their pictures load;
// each picture loaded while idle shows in the media list at once, not at the
// list's next redraw for another reason.
TEST_F(DisplayWiringTest, PicturesLoadedWhileIdleShowInTheMediaList) {
    CNode* photo = AddPhoto(QStringLiteral("shot 0001"), false);
    frame.SendCommand(cmd::kMediaChanged);
    QApplication::processEvents();
    ASSERT_TRUE(photo->texture.isNull()) << "loaded before the list was drawn without it";
    const auto boxes = frame.MediaListPanel()->findChildren<CSelectBox*>();
    ASSERT_FALSE(boxes.isEmpty());
    PaintsAfter paints(*boxes.front(), [photo] { return !photo->texture.isNull(); });

    frame.IdlePump().Wake();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !photo->texture.isNull(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints.count > 0; }, 2000));
}

TEST_F(DisplayWiringTest, LiveViewToggleReloadsEveryImageFromItsCompanion) {
    CNode* withCompanion = AddPhoto(QStringLiteral("shot 0001"), true);
    CNode* without = AddPhoto(QStringLiteral("shot 0002"), false);
    objects.display.LoadPendingImages(true);
    ASSERT_EQ(withCompanion->imageInfo->imageWidth, 64);
    objects.settings.Set(LoadLiveView, 0);

    frame.SendCommand(cmd::kLoadLiveView);
    EXPECT_EQ(objects.settings.Get(LoadLiveView), 1);
    EXPECT_TRUE(frame.QueryCommand(cmd::kLoadLiveView).checked);
    EXPECT_EQ(withCompanion->imageInfo->imageWidth, 32);
    EXPECT_EQ(without->imageInfo->imageWidth, 64);
    EXPECT_TRUE(frame.isEnabled());  // the progress window has gone

    frame.SendCommand(cmd::kLoadLiveView);
    EXPECT_EQ(objects.settings.Get(LoadLiveView), 0);
    EXPECT_EQ(withCompanion->imageInfo->imageWidth, 64);
}

TEST_F(DisplayWiringTest, WithoutCompanionsTheToggleOnlyFlipsTheSetting) {
    objects.settings.Set(LoadLiveView, 0);
    CNode* photo = AddPhoto(QStringLiteral("shot 0001"), false);
    frame.SendCommand(cmd::kLoadLiveView);
    EXPECT_EQ(objects.settings.Get(LoadLiveView), 1);
    EXPECT_TRUE(photo->texture.isNull());  // nothing was reloaded
}

}  // namespace
}  // namespace kolvane
