#include <gtest/gtest.h>

#include <cerrno>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "platform/ResultCodes.h"
#include "storage/Import.h"
#include "storage/SafeFile.h"
#include "storage/SceneSave.h"
#include "tests/storage/SceneFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using test::ColourOf;
using test::Entries;
using test::MakeTempDir;
using test::ReadAll;
using test::ScriptedProgress;
using test::WriteImage;
using test::WriteText;

CNode* Item(const CMdiaList& media, const QString& name) {
    return media.FindItemByName(name);
}

QString PathOf(const CMdiaList& media, const QString& name) {
    const CNode* item = Item(media, name);
    return item != nullptr ? item->imageInfo->path : QString();
}

class SceneSaving : public testing::Test {
  protected:
    SceneSaving() {
        copy.progress = &progress;
        copy.pause = [this](std::chrono::milliseconds time) { paused += time; };
    }

    void Import(const QString& folder) { ASSERT_EQ(ImportFolder(media, folder, kTypeImage), kOk); }

    // The whole save of the files, as Save Scene runs its steps.
    Result Save(const QString& folder, const QString& extension = {}) {
        DeleteUnusedFiles(media, folder);
        if (const Result result = MarkRenamedImages(media, folder); result != kOk) return result;
        if (const Result result = CopySceneImages(media, folder, extension, copy); result != kOk)
            return result;
        DeleteMarkedFiles(media, folder);
        return kOk;
    }

    CMdiaList media;
    ScriptedProgress progress;
    SceneCopy copy;
    std::chrono::milliseconds paused{0};
};

TEST_F(SceneSaving, CopiesImagesWithTheirCompanionsUnderTheItemNames) {
    const QString grab = MakeTempDir(QStringLiteral("grab"));
    WriteImage(grab + QStringLiteral("/A 0001.jpg"), Qt::red);
    WriteText(grab + QStringLiteral("/A 0001.lvw"), "live view");
    WriteImage(grab + QStringLiteral("/A 0002.png"), Qt::blue);
    Import(grab);
    Item(media, QStringLiteral("A 0002"))->name = QStringLiteral("walk 0001");
    const QString scene = MakeTempDir(QStringLiteral("scene"));

    ASSERT_EQ(Save(scene), kOk);
    EXPECT_EQ(Entries(scene), (QStringList{"A 0001.jpg", "A 0001.lvw", "walk 0001.png"}));
    EXPECT_EQ(ReadAll(scene + QStringLiteral("/A 0001.lvw")), "live view");
    EXPECT_EQ(ColourOf(scene + QStringLiteral("/walk 0001.png")), QColor(Qt::blue));
    EXPECT_EQ(PathOf(media, QStringLiteral("walk 0001")), scene + QStringLiteral("/walk 0001.png"));
    EXPECT_EQ(PathOf(media, QStringLiteral("A 0001")), scene + QStringLiteral("/A 0001.jpg"));
    // The sources stay where they were.
    EXPECT_EQ(Entries(grab), (QStringList{"A 0001.jpg", "A 0001.lvw", "A 0002.png"}));

    EXPECT_EQ(progress.title, 40205);
    EXPECT_EQ(progress.buttons, IProgress::kAbortStop);
    EXPECT_EQ(progress.range, 2);
    EXPECT_EQ(progress.positions, (QList<int>{1, 2}));
    EXPECT_FALSE(progress.open);
    EXPECT_EQ(paused, std::chrono::milliseconds(250));
}

TEST_F(SceneSaving, TwoImagesSwappingNamesInTheirOwnFolderLeaveNoMarkedFile) {
    const QString scene = MakeTempDir(QStringLiteral("own folder"));
    WriteImage(scene + QStringLiteral("/A 0001.png"), Qt::red);
    WriteText(scene + QStringLiteral("/A 0001.lvw"), "red live view");
    WriteImage(scene + QStringLiteral("/B 0001.png"), Qt::green);
    Import(scene);
    Item(media, QStringLiteral("A 0001"))->name = QStringLiteral("tmp");
    Item(media, QStringLiteral("B 0001"))->name = QStringLiteral("A 0001");
    Item(media, QStringLiteral("tmp"))->name = QStringLiteral("B 0001");

    ASSERT_EQ(Save(scene), kOk);
    EXPECT_EQ(Entries(scene), (QStringList{"A 0001.png", "B 0001.lvw", "B 0001.png"}));
    EXPECT_EQ(ColourOf(scene + QStringLiteral("/A 0001.png")), QColor(Qt::green));
    EXPECT_EQ(ColourOf(scene + QStringLiteral("/B 0001.png")), QColor(Qt::red));
    EXPECT_EQ(ReadAll(scene + QStringLiteral("/B 0001.lvw")), "red live view");
    EXPECT_EQ(PathOf(media, QStringLiteral("B 0001")), scene + QStringLiteral("/B 0001.png"));
}

TEST_F(SceneSaving, MarkingNeverReplacesAFileThatHoldsTheMarkedName) {
    const QString scene = MakeTempDir(QStringLiteral("marks"));
    WriteImage(scene + QStringLiteral("/A 0001.png"), Qt::red);
    WriteText(scene + QStringLiteral("/A 0001~.png"), "left by an earlier save");
    Import(scene);
    Item(media, QStringLiteral("A 0001"))->name = QStringLiteral("C 0001");
    ASSERT_EQ(MarkRenamedImages(media, scene), kOk);
    EXPECT_EQ(PathOf(media, QStringLiteral("C 0001")), scene + QStringLiteral("/A 0001~~.png"));
    EXPECT_EQ(ColourOf(scene + QStringLiteral("/A 0001~~.png")), QColor(Qt::red));
    EXPECT_EQ(ReadAll(scene + QStringLiteral("/A 0001~.png")), "left by an earlier save");
}

TEST_F(SceneSaving, ConvertsByExtensionAndCopiesTheSourcesBeside) {
    const QString grab = MakeTempDir(QStringLiteral("bitmaps"));
    WriteImage(grab + QStringLiteral("/A 0001.bmp"), Qt::red);
    WriteImage(grab + QStringLiteral("/A 0002.bmp"), Qt::yellow);
    // A picture of the same base name that the import passed over must not
    // take the converted image's place.
    WriteImage(grab + QStringLiteral("/A 0002.png"), Qt::black);
    Import(grab);
    ASSERT_EQ(PathOf(media, QStringLiteral("A 0002")), grab + QStringLiteral("/A 0002.bmp"));
    const QString scene = MakeTempDir(QStringLiteral("png scene"));

    ASSERT_EQ(Save(scene, QStringLiteral(".png")), kOk);
    EXPECT_EQ(Entries(scene),
              (QStringList{"A 0001.bmp", "A 0001.png", "A 0002.bmp", "A 0002.png"}));
    for (const char* name : {"A 0001.png", "A 0002.png"}) {
        const QString path = scene + u'/' + QLatin1String(name);
        EXPECT_EQ(QImageReader(path).format(), "png") << name;
    }
    EXPECT_EQ(ColourOf(scene + QStringLiteral("/A 0001.png")), QColor(Qt::red));
    EXPECT_EQ(ColourOf(scene + QStringLiteral("/A 0002.png")), QColor(Qt::yellow));
    EXPECT_EQ(PathOf(media, QStringLiteral("A 0001")), scene + QStringLiteral("/A 0001.png"));
}

TEST_F(SceneSaving, NamesAreTakenLiterallyWhenCompanionsAreFound) {
    const QString grab = MakeTempDir(QStringLiteral("wild names"));
    WriteImage(grab + QStringLiteral("/a*[1]? 0001.png"), Qt::red);
    WriteText(grab + QStringLiteral("/a*[1]? 0001.lvw"), "mine");
    // What "a*[1]? 0001.*" would match as a pattern.
    WriteText(grab + QStringLiteral("/ab1c 0001.lvw"), "not mine");
    WriteText(grab + QStringLiteral("/a*[1]? 0001.png.bak"), "not a companion");
    Import(grab);
    const QString scene = MakeTempDir(QStringLiteral("literal"));

    ASSERT_EQ(Save(scene), kOk);
    EXPECT_EQ(Entries(scene), (QStringList{"a*[1]? 0001.lvw", "a*[1]? 0001.png"}));
    EXPECT_EQ(ReadAll(scene + QStringLiteral("/a*[1]? 0001.lvw")), "mine");
}

TEST_F(SceneSaving, DeletingUnusedFilesTouchesOnlyWhatASceneConsistsOf) {
    const QString scene = MakeTempDir(QStringLiteral("picked by mistake"));
    WriteImage(scene + QStringLiteral("/kept 0001.png"));
    WriteText(scene + QStringLiteral("/kept 0001.lvw"), "companion");
    Import(scene);
    WriteImage(scene + QStringLiteral("/gone 0001.JPG"));
    WriteText(scene + QStringLiteral("/gone 0001.lvw"), "x");
    WriteText(scene + QStringLiteral("/old scene.csv"), "x");
    WriteText(scene + QStringLiteral("/walk timing.txt"), "x");
    WriteText(scene + QStringLiteral("/.kept 0001.png.part-a1B2c3"), "a save cut short");
    const QStringList others = {"letter.odt", "notes.txt", "song.wav", "photo.jpeg", "tax.pdf"};
    for (const QString& name : others)
        WriteText(scene + u'/' + name, "the user's own");
    WriteImage(scene + QStringLiteral("/sub/deeper 0001.png"));
    CAtomicFile running;  // another save still writing
    ASSERT_EQ(running.Open(scene + QStringLiteral("/gone 0002.png")), kOk);

    DeleteUnusedFiles(media, scene);
    QStringList expected = others;
    expected << "kept 0001.lvw"
             << "kept 0001.png"
             << "sub" << QFileInfo(running.TemporaryPath()).fileName();
    expected.sort();
    EXPECT_EQ(Entries(scene), expected);
    EXPECT_TRUE(QFileInfo::exists(scene + QStringLiteral("/sub/deeper 0001.png")));
}

TEST_F(SceneSaving, FreeSpaceOfExactlyOneAndAQuarterTimesTheImagesIsEnough) {
    const QString grab = MakeTempDir(QStringLiteral("sized"));
    WriteImage(grab + QStringLiteral("/A 0001.png"));
    WriteImage(grab + QStringLiteral("/A 0002.bmp"));
    Import(grab);
    const std::int64_t size = QFileInfo(grab + QStringLiteral("/A 0001.png")).size() +
                              QFileInfo(grab + QStringLiteral("/A 0002.bmp")).size();
    EXPECT_EQ(RequiredFreeSpace(size), size * 5 / 4);
    EXPECT_EQ(RequiredFreeSpace(7), 8);  // 8.75 truncated

    struct Case {
        std::optional<std::int64_t> free;
        Result expected;
    };
    const Case cases[] = {
        {RequiredFreeSpace(size) - 1, msg::kNotEnoughDiskSpace},
        {RequiredFreeSpace(size), kOk},
        {std::nullopt, kOk},  // the system cannot tell: the copy goes on
    };
    for (const Case& c : cases) {
        const QString scene = MakeTempDir(QStringLiteral("volume"));
        QString asked;
        copy.freeSpace = [&](const QString& folder) {
            asked = folder;
            return c.free;
        };
        EXPECT_EQ(CopySceneImages(media, scene, {}, copy), c.expected);
        EXPECT_EQ(asked, scene);
        EXPECT_EQ(Entries(scene).size(), c.expected == kOk ? 2 : 0);
        if (c.expected == kOk) {
            // Back at the sources for the next case.
            Item(media, QStringLiteral("A 0001"))->imageInfo->path =
                grab + QStringLiteral("/A 0001.png");
            Item(media, QStringLiteral("A 0002"))->imageInfo->path =
                grab + QStringLiteral("/A 0002.bmp");
        }
    }
}

TEST_F(SceneSaving, AFailedCopyLeavesEveryItemWhereItWas) {
    const QString grab = MakeTempDir(QStringLiteral("failing"));
    WriteImage(grab + QStringLiteral("/A 0001.png"));
    WriteImage(grab + QStringLiteral("/A 0002.png"));
    WriteImage(grab + QStringLiteral("/A 0003.png"));
    Import(grab);
    const QStringList before = {PathOf(media, "A 0001"), PathOf(media, "A 0002"),
                                PathOf(media, "A 0003")};
    auto paths = [&] {
        return QStringList{PathOf(media, "A 0001"), PathOf(media, "A 0002"),
                           PathOf(media, "A 0003")};
    };

    struct Case {
        const char* name;
        std::function<void()> arrange;
        Result expected;
        int copiesLeft;
    };
    const Case cases[] = {
        {"abort",
         [&] {
             progress.answers = {IProgress::kGoOn, IProgress::kAbort};
         },
         msg::kScenePartiallySaved, 2},
        {"stop", [&] { progress.answers = {IProgress::kStop}; }, msg::kScenePartiallySaved, 1},
        {"source gone", [&] { QFile::remove(grab + QStringLiteral("/A 0002.png")); },
         msg::kCannotFindFiles, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        progress = ScriptedProgress();
        c.arrange();
        const QString scene = MakeTempDir(QStringLiteral("partial"));
        EXPECT_EQ(CopySceneImages(media, scene, {}, copy), c.expected);
        EXPECT_EQ(paths(), before);
        EXPECT_EQ(Entries(scene).size(), c.copiesLeft);  // the copies made stay
        EXPECT_FALSE(progress.open);
    }
}

TEST_F(SceneSaving, AFormatWithoutAnEncoderFailsWithTheSystemsReason) {
    const QString grab = MakeTempDir(QStringLiteral("to gif"));
    WriteImage(grab + QStringLiteral("/A 0001.png"));
    Import(grab);
    const QString scene = MakeTempDir(QStringLiteral("gif scene"));
    EXPECT_EQ(CopySceneImages(media, scene, QStringLiteral(".gif"), copy), ENOTSUP);
    EXPECT_EQ(PathOf(media, "A 0001"), grab + QStringLiteral("/A 0001.png"));
    EXPECT_TRUE(Entries(scene).isEmpty());
}

TEST_F(SceneSaving, AnImageWhoseNameEndsInATildeSurvivesTheCleanUp) {
    const QString grab = MakeTempDir(QStringLiteral("tilde"));
    WriteImage(grab + QStringLiteral("/draft~.png"), Qt::red);
    Import(grab);
    ASSERT_NE(Item(media, QStringLiteral("draft~")), nullptr);
    const QString scene = MakeTempDir(QStringLiteral("tilde scene"));
    ASSERT_EQ(Save(scene), kOk);
    EXPECT_EQ(Entries(scene), QStringList{"draft~.png"});
}

}  // namespace
}  // namespace kolvane
