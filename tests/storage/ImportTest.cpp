#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "platform/Progress.h"
#include "settings/Settings.h"
#include "storage/Storage.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/storage/SceneFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using test::MakeTempDir;

void WriteImage(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
}

void WriteText(const QString& path, const QByteArray& text = "not a picture") {
    QDir().mkpath(QFileInfo(path).path());
    test::WriteBytes(path, text);
}

QStringList ItemNames(const CMdiaList& media, std::uint32_t kind) {
    QStringList names;
    if (const CNode* level = media.FindLevelByType(kind)) {
        for (const CNode* item : *level->children)
            names << item->name;
    }
    return names;
}

QStringList ImagePaths(const CMdiaList& media) {
    QStringList paths;
    if (const CNode* level = media.ImageLevel()) {
        for (const CNode* item : *level->children)
            paths << QFileInfo(item->imageInfo->path).fileName();
    }
    return paths;
}

using test::ScriptedProgress;

const QStringList kDefaultSceneFormat = {".bmp", ".jpg", ".png", ".gif",
                                         ".tif", ".tga", ".wav", ".aif"};

// The storage connected to its own media list, loading images the way the
// display does: a file that does not decode fails.
class Importing : public testing::Test {
  protected:
    Importing() {
        storage.Connect({&settings, &media, nullptr, [this](CNode& item) {
                             ++loaded;
                             return QImageReader(item.imageInfo->path).canRead() ? kOk : kFail;
                         }});
        storage.SetPause([this](std::chrono::milliseconds time) { paused += time; });
        storage.SetMemoryLoadSource([this]() -> std::optional<int> {
            ++memoryChecks;
            return memoryLoad.value(memoryChecks - 1, 40);
        });
    }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CStorage storage;
    ScriptedProgress progress;
    QList<int> memoryLoad;  // the load before each entry
    int memoryChecks = 0;
    int loaded = 0;
    std::chrono::milliseconds paused{0};
};

TEST_F(Importing, FolderImportWalksSubfoldersAndSkipsWhatItMust) {
    const QString dir = MakeTempDir(QStringLiteral("folder"));
    WriteImage(dir + QStringLiteral("/walk 0001.png"));
    WriteImage(dir + QStringLiteral("/._walk 0001.png"));  // a resource fork copy
    WriteImage(dir + QStringLiteral("/RUN 0001.JPG"));     // capitals are fine
    WriteImage(dir + QStringLiteral("/long 0001.jpeg"));   // not a four-character extension
    WriteImage(dir + QStringLiteral("/deep/er/jump 0001.tga"));
    WriteText(dir + QStringLiteral("/notes.txt"));
    test::WritePcmClip(dir + QStringLiteral("/deep/step.wav"), 48000, 1, 4800);

    EXPECT_EQ(storage.ImportFolder(dir, kTypeImage), kOk);
    EXPECT_EQ(ItemNames(media, kTypeImage), (QStringList{"RUN 0001", "jump 0001", "walk 0001"}));
    EXPECT_TRUE(ItemNames(media, kTypeSound).isEmpty());
    EXPECT_EQ(loaded, 0);  // the display loads them later
    EXPECT_EQ(media.Totals().typeBits, kTypeImageItem);

    // Sounds of the same tree, opened as they are added; a second import of
    // the images adds nothing.
    EXPECT_EQ(storage.ImportFolder(dir, kTypeImage | kTypeSound), kOk);
    EXPECT_EQ(ItemNames(media, kTypeImage).size(), 3);
    ASSERT_EQ(ItemNames(media, kTypeSound), QStringList{"step"});
    EXPECT_NE(media.SoundLevel()->children->front()->soundInfo->decoder, nullptr);
}

TEST_F(Importing, OfTwoFilesDifferingInExtensionTheFirstInNameOrderIsImported) {
    const QString dir = MakeTempDir(QStringLiteral("order"));
    WriteImage(dir + QStringLiteral("/shot 0001.png"));
    WriteImage(dir + QStringLiteral("/Shot 0001.BMP"));
    WriteImage(dir + QStringLiteral("/shot 0002.TIF"));
    WriteImage(dir + QStringLiteral("/shot 0002.gif"));
    EXPECT_EQ(storage.ImportFolder(dir, kTypeImage), kOk);
    // Name order ignores case, whatever order the file system lists in.
    EXPECT_EQ(ImagePaths(media), (QStringList{"Shot 0001.BMP", "shot 0002.gif"}));
}

TEST_F(Importing, LinksThatLeadBackUpDoNotMakeTheWalkEndless) {
    const QString dir = MakeTempDir(QStringLiteral("links"));
    WriteImage(dir + QStringLiteral("/a/frame 0001.png"));
    WriteImage(dir + QStringLiteral("/b/other 0001.png"));
    ASSERT_TRUE(QFile::link(dir, dir + QStringLiteral("/a/up")));
    ASSERT_TRUE(QFile::link(dir + QStringLiteral("/b"), dir + QStringLiteral("/a/to b")));
    EXPECT_EQ(storage.ImportFolder(dir, kTypeImage), kOk);
    // Each folder is walked once, whichever way it was reached first.
    EXPECT_EQ(ItemNames(media, kTypeImage), (QStringList{"frame 0001", "other 0001"}));
}

TEST_F(Importing, AFolderThatCannotBeListedImportsNothing) {
    const QString missing = test::TempRoot() + QStringLiteral("/no such folder");
    EXPECT_EQ(storage.ImportFolder(missing, kTypeImage | kTypeSound), kOk);
    EXPECT_EQ(media.TotalChildren(), 0);
    EXPECT_EQ(storage.ImportSceneFolder(missing, kDefaultSceneFormat, progress),
              msg::kNotAllFilesLoaded);
    EXPECT_FALSE(progress.open);
}

TEST_F(Importing, SceneFolderLoadsItsImagesAndOpensItsSounds) {
    const QString dir = MakeTempDir(QStringLiteral("scene"));
    WriteImage(dir + QStringLiteral("/A 0001.png"));
    WriteImage(dir + QStringLiteral("/A 0002.PNG"));
    WriteImage(dir + QStringLiteral("/._A 0001.png"));
    WriteImage(dir + QStringLiteral("/sub/B 0001.png"));  // subfolders are not opened
    test::WritePcmClip(dir + QStringLiteral("/voice.wav"), 22050, 1, 22050);
    WriteText(dir + QStringLiteral("/broken.wav"));  // stays as an item that plays nothing
    test::WriteMp3(dir + QStringLiteral("/music.mp3"), 44100, 2, 0.2);
    WriteText(dir + QStringLiteral("/scene.csv"));

    EXPECT_EQ(storage.ImportSceneFolder(dir, kDefaultSceneFormat, progress), kOk);
    EXPECT_EQ(ItemNames(media, kTypeImage), (QStringList{"A 0001", "A 0002"}));
    EXPECT_EQ(ItemNames(media, kTypeSound), (QStringList{"broken", "voice"}));
    EXPECT_EQ(loaded, 2);
    const CNodeList& sounds = *media.SoundLevel()->children;
    EXPECT_EQ(sounds.at(0)->soundInfo->decoder, nullptr);
    EXPECT_NE(sounds.at(1)->soundInfo->decoder, nullptr);

    EXPECT_EQ(progress.title, 40204);
    EXPECT_EQ(progress.buttons, IProgress::kAbortStop);
    EXPECT_EQ(progress.range, 4);
    EXPECT_EQ(progress.positions, (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(progress.closed, 1);
    EXPECT_FALSE(progress.open);
    EXPECT_EQ(paused, std::chrono::milliseconds(200));
    EXPECT_EQ(memoryChecks, 4);
}

TEST_F(Importing, SceneFolderWithNothingOfItsFormatLoadsNothing) {
    const QString dir = MakeTempDir(QStringLiteral("mp3 only"));
    test::WriteMp3(dir + QStringLiteral("/song.mp3"), 44100, 2, 0.2);
    WriteImage(dir + QStringLiteral("/._hidden.png"));
    EXPECT_EQ(storage.ImportSceneFolder(dir, kDefaultSceneFormat, progress),
              msg::kNotAllFilesLoaded);
    EXPECT_EQ(media.TotalChildren(), 0);
    EXPECT_EQ(progress.title, 0);  // no progress window was shown

    // Asked for, the same file is opened.
    EXPECT_EQ(storage.ImportSceneFolder(dir, {".mp3"}, progress), kOk);
    EXPECT_EQ(ItemNames(media, kTypeSound), QStringList{"song"});
}

TEST_F(Importing, SceneImportEndsEarlyKeepingWhatItLoaded) {
    const QString dir = MakeTempDir(QStringLiteral("early"));
    for (int i = 1; i <= 5; ++i)
        WriteImage(dir + QStringLiteral("/F %1.png").arg(i, 4, 10, QLatin1Char('0')));
    const struct {
        const char* what;
        QList<int> answers;
        QList<int> memoryLoad;
        Result result;
        int kept;
    } cases[] = {
        {"stop", {0, 0, IProgress::kStop}, {}, kOk, 3},
        {"abort", {0, IProgress::kAbort}, {}, msg::kNotAllFilesLoaded, 2},
        {"close box", {IProgress::kClosed}, {}, msg::kNotAllFilesLoaded, 1},
        {"memory", {}, {50, 96, 97}, msg::kNotEnoughMemory, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        media.Clear();
        progress = ScriptedProgress();
        progress.answers = c.answers;
        memoryLoad = c.memoryLoad;
        memoryChecks = 0;
        paused = {};
        EXPECT_EQ(storage.ImportSceneFolder(dir, kDefaultSceneFormat, progress), c.result);
        EXPECT_EQ(media.TotalChildren(), c.kept);
        EXPECT_EQ(progress.closed, 1);
        EXPECT_EQ(paused.count(), 0);
    }
}

TEST_F(Importing, AnImageThatCannotBeLoadedIsTakenOutAgain) {
    const QString dir = MakeTempDir(QStringLiteral("bad image"));
    WriteImage(dir + QStringLiteral("/a 0001.png"));
    WriteText(dir + QStringLiteral("/b 0001.png"));
    WriteImage(dir + QStringLiteral("/c 0001.png"));
    EXPECT_EQ(storage.ImportSceneFolder(dir, kDefaultSceneFormat, progress),
              msg::kNotAllFilesLoaded);
    EXPECT_EQ(ItemNames(media, kTypeImage), QStringList{"a 0001"});
    EXPECT_EQ(media.Totals().typeBits, kTypeImageItem);
    EXPECT_FALSE(progress.open);

    // Files already present are passed over, and the rest load.
    WriteImage(dir + QStringLiteral("/b 0001.png"));
    EXPECT_EQ(storage.ImportSceneFolder(dir, kDefaultSceneFormat, progress), kOk);
    EXPECT_EQ(ItemNames(media, kTypeImage), (QStringList{"a 0001", "b 0001", "c 0001"}));
}

}  // namespace
}  // namespace kolvane
