#include <gtest/gtest.h>

#include <set>

#include <QDir>
#include <QFile>
#include <QSettings>

#include "model/MediaInfo.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "movie/MovieChoices.h"
#include "movie/MovieFrame.h"
#include "settings/DialogRecord.h"
#include "settings/Settings.h"
#include "tests/movie/MovieTestSupport.h"
#include "tests/support/TestEnvironment.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

// What the dialog adds to the frame rule: typed sizes and large pictures are
// held to the largest side the movie can have.
TEST(MovieFrame, SizesAreHeldToWhatTheMovieCanHave) {
    const struct {
        const char* typed;
        const char* held;
    } texts[] = {
        {"99999x99999", "8192x8192"},     {"720x576", "720x576"},
        {" 9000 x 100 ", " 8192 x 100 "}, {"123456789012345678901x2", "8192x2"},
        {"pillarbox", "pillarbox"},       {"x", "x"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(HeldTypedSize(QString::fromLatin1(t.typed)), QString::fromLatin1(t.held));

    const struct {
        QRect frame;
        QRect held;
    } frames[] = {
        {QRect(0, 0, 720, 576), QRect(0, 0, 720, 576)},
        {QRect(0, 0, 8192, 8192), QRect(0, 0, 8192, 8192)},
        {QRect(0, 0, 16384, 9216), QRect(0, 0, 8192, 4608)},
        {QRect(0, 0, 112, 20000), QRect(0, 0, 48, 8192)},  // 45 rounded up to 48
        {QRect(), QRect()},
    };
    for (const auto& f : frames) {
        const QRect held = HeldToMaxMovieSide(f.frame);
        EXPECT_EQ(held, f.held) << f.frame.width() << "x" << f.frame.height();
    }
    // A typed size of a scene without pictures is a frame; no size is none.
    EXPECT_EQ(MovieFrameFor(QSize(), HeldTypedSize("640x480"), false).rect, QRect(0, 0, 640, 480));
    for (const char* resizing : {"none", "standard", "widescreen", "letterbox", "pillarbox", "0x0"})
        EXPECT_TRUE(MovieFrameFor(QSize(), QString::fromLatin1(resizing), false).rect.isEmpty());
}

TEST(MovieFrame, PicturesNotLoadedYetAreMeasuredFromTheirFiles) {
    test::CTestScene scene;
    const auto image = [&scene](const char* name, QSize size, bool measured) {
        CNode* item = scene.Image(QString::fromLatin1(name), qRgb(0, 0, 0), size);
        if (measured) {
            item->imageInfo->imageWidth = size.width();
            item->imageInfo->imageHeight = size.height();
        }
        return item;
    };
    CNode* wide = image("wide", QSize(640, 100), true);
    CNode* unknown = image("unknown", QSize(320, 900), false);  // not loaded yet
    scene.Column({wide, unknown, unknown});
    scene.Finish();
    EXPECT_EQ(LargestPicture(scene.sheet), QSize(640, 100));
    int measured = 0;
    EXPECT_EQ(LargestPicture(scene.sheet,
                             [&measured](const CNode& item) {
                                 ++measured;
                                 return PictureFileSize(item);
                             }),
              QSize(640, 900));
    EXPECT_EQ(measured, 1) << "a picture held for frames is measured once";
}

class MovieChoicesTest : public ::testing::Test {
  protected:
    MovieChoicesTest() : documents(test::MakeTempDir(QStringLiteral("documents"))) {}

    CMovieChoices& Open() {
        choices.Open(record, settings);
        choices.TypeChanged();
        choices.DestinationChanged();
        choices.DerivePreset();
        return choices;
    }
    void Choose(void (CMovieChoices::*set)(const QString&), const QString& text) {
        (choices.*set)(text);
        choices.DerivePreset();
    }

    QString documents;
    // What this "machine" has encoders for.
    std::set<QString> installed{"YUV 422", "MS Video", "FFDShow", "H.264/AVC"};
    bool ffdshowInMp4 = false;
    CSettings settings{CSettings::Unstored{}};
    CDialogRecord record{QStringLiteral("LastMovie")};
    CMovieChoices choices{documents, [this](const QString& reduction, const QString& extension) {
                              if (extension == ".mp4" && reduction == "FFDShow" && !ffdshowInMp4)
                                  return false;
                              return installed.count(reduction) > 0;
                          }};
};

TEST_F(MovieChoicesTest, AFirstShowingIsAMasterInMyMovies) {
    Open();
    EXPECT_TRUE(QFileInfo(documents + "/My Movies").isDir());
    EXPECT_EQ(choices.Destination(), documents + "/My Movies");
    EXPECT_EQ(choices.Preset(), "master");
    EXPECT_EQ(choices.Type(), "AVI movie");
    EXPECT_EQ(choices.Resizing(), "none");
    EXPECT_EQ(choices.Reduction(), "none");
    EXPECT_EQ(choices.Name(), "");
    EXPECT_FALSE(choices.OkEnabled()) << "no name yet";
}

TEST_F(MovieChoicesTest, PresetsFillTheFieldsAndOtherChoicesMakeThemCustom) {
    Open();
    choices.SetPreset("webstream");
    choices.PresetChanged(settings);
    EXPECT_EQ(choices.Type(), "MP4 movie");
    EXPECT_EQ(choices.Resizing(), "pillarbox");
    EXPECT_EQ(choices.Reduction(), "H.264/AVC");
    EXPECT_EQ(choices.Extension(), ".mp4");
    EXPECT_EQ(settings.Get(MoviePreset), 3);
    Choose(&CMovieChoices::SetResizing, "none");
    EXPECT_EQ(choices.Preset(), "(custom)");
    Choose(&CMovieChoices::SetResizing, "pillarbox");
    EXPECT_EQ(choices.Preset(), "webstream");

    choices.SetPreset("broadcast");
    choices.PresetChanged(settings);
    EXPECT_EQ(choices.Type(), "AVI movie");
    EXPECT_EQ(choices.Reduction(), "YUV 422");
    EXPECT_EQ(choices.Extension(), ".avi");
    choices.SetType("MP4 movie");
    choices.TypeChanged();
    EXPECT_EQ(choices.Reduction(), "H.264/AVC") << "MP4 sets its reduction";
    EXPECT_EQ(choices.Preset(), "(custom)");
    choices.SetType("DVD");
    choices.TypeChanged();
    EXPECT_EQ(choices.Type(), "AVI movie") << "anything else is an AVI movie";
    EXPECT_EQ(choices.Extension(), ".avi");
}

TEST_F(MovieChoicesTest, TheReductionsAreThoseWithAnEncoderForTheContainer) {
    Open();
    EXPECT_EQ(choices.Reductions(), (QStringList{"none", "YUV 422", "MS Video", "FFDShow"}));
    choices.SetType("MP4 movie");
    choices.TypeChanged();
    EXPECT_EQ(choices.Reduction(), "H.264/AVC");
    EXPECT_EQ(choices.Reductions(), QStringList{}) << "FFDShow makes no MP4 here";
    ffdshowInMp4 = true;
    choices.TypeChanged();
    EXPECT_EQ(choices.Reductions(), QStringList{"FFDShow"});
    installed.clear();
    choices.SetType("AVI movie");
    choices.TypeChanged();
    EXPECT_EQ(choices.Reductions(), QStringList{"none"});
}

TEST_F(MovieChoicesTest, TheDestinationListsItsFoldersAndMovies) {
    Open();
    const QString movies = documents + "/My Movies";
    QDir().mkpath(movies + "/old");
    for (const char* name : {"b.avi", "a.MP4", "c.mov", ".a.avi.part-abcdef", "notes.txt"})
        QFile(movies + "/" + name).open(QIODevice::WriteOnly);
    choices.SetDestination(".");
    choices.DestinationChanged();
    EXPECT_EQ(choices.Names(), (QStringList{"a.MP4", "b.avi"}));
    EXPECT_EQ(choices.Destinations(), (QStringList{".", "..", "old"}));
    choices.SetDestination("/");
    choices.DestinationChanged();
    choices.SetDestination("..");
    choices.DestinationChanged();
    EXPECT_EQ(choices.Destination(), "");
    EXPECT_EQ(choices.Destinations(), QStringList{"/"}) << "an empty destination offers the roots";
    EXPECT_FALSE(choices.OkEnabled());
}

TEST_F(MovieChoicesTest, TheMoviePathTakesTheTypesExtensionUnlessTheNameHasOne) {
    Open();
    const QString movies = documents + "/My Movies/";
    const struct {
        const char* type;
        const char* name;
        QString path;
    } cases[] = {
        {"AVI movie", "shot", movies + "shot.avi"},
        {"MP4 movie", "shot", movies + "shot.mp4"},
        {"MP4 movie", "shot.AVI", movies + "shot.AVI"},  // the name's extension decides
        {"AVI movie", "shot.v2", movies + "shot.v2.avi"},
    };
    for (const auto& c : cases) {
        choices.SetType(QString::fromLatin1(c.type));
        choices.TypeChanged();
        choices.SetName(QString::fromLatin1(c.name));
        EXPECT_EQ(choices.MoviePath(), c.path);
    }
    for (const char* name : {"../shot", "a/b", "..", "*"}) {
        choices.SetName(QString::fromLatin1(name));
        EXPECT_FALSE(choices.NameIsValid()) << name;
    }
}

TEST_F(MovieChoicesTest, TheRecordBringsBackTheLastMovie) {
    Open();
    choices.SetPreset("multimedia");
    choices.PresetChanged(settings);
    choices.SetName("final cut");
    choices.Store(record);

    CMovieChoices again(documents, {});
    again.Open(record, settings);
    again.TypeChanged();
    again.DestinationChanged();
    again.DerivePreset();
    EXPECT_EQ(again.Preset(), "multimedia");
    EXPECT_EQ(again.Name(), "final cut");
    EXPECT_EQ(again.Resizing(), "letterbox");
    EXPECT_EQ(again.Destination(), documents + "/My Movies");

    // A destination that is gone falls back to the one remembered.
    QSettings store(QSettings::IniFormat, QSettings::UserScope, "Brevanta", "Kolvane");
    store.setValue("LastMovie/Path", documents + "/gone");
    store.sync();
    CMovieChoices moved(documents, {});
    moved.Open(record, settings);
    moved.DestinationChanged();
    EXPECT_EQ(moved.Destination(), documents + "/My Movies");
}

}  // namespace
}  // namespace kolvane
