#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/ResultCodes.h"
#include "storage/WorkingFolders.h"
#include "tests/storage/SceneFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using test::Entries;
using test::MakeTempDir;
using test::ReadAll;
using test::WriteText;

class WorkingFoldersTest : public testing::Test {
  protected:
    QString root = MakeTempDir(QStringLiteral("working"));
    QString documents = MakeTempDir(QStringLiteral("documents"));

    QString At(const QString& name) const { return root + u'/' + name; }
};

TEST_F(WorkingFoldersTest, AreMadeAtConstructionAndEndInASlash) {
    const QString deep = root + QStringLiteral("/not/yet/there");
    const CWorkingFolders folders(deep, documents);
    EXPECT_EQ(folders.Grab(), deep + QStringLiteral("/Grab/"));
    EXPECT_EQ(folders.Undo(), deep + QStringLiteral("/Undo/"));
    EXPECT_EQ(folders.Sounds(), documents + QStringLiteral("/My Sounds/"));
    for (const QString& folder : {folders.Grab(), folders.Undo(), folders.Sounds()})
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
    EXPECT_EQ(CWorkingFolders::BackupOf(folders.Grab()), deep + QStringLiteral("/Grab~/"));
    EXPECT_FALSE(folders.HasBackup());
}

TEST_F(WorkingFoldersTest, RotateKeepsOneBackupGeneration) {
    CWorkingFolders folders(root, documents);
    const QString grab = folders.Grab();

    // An empty folder makes no backup.
    EXPECT_EQ(CWorkingFolders::RotateFolder(grab), kOk);
    EXPECT_FALSE(QFileInfo::exists(At("Grab~")));

    WriteText(grab + QStringLiteral("first.png"), "1");
    WriteText(grab + QStringLiteral("sub/deep/old.png"), "1");
    EXPECT_EQ(CWorkingFolders::RotateFolder(grab), kOk);
    EXPECT_TRUE(Entries(grab).isEmpty());
    EXPECT_EQ(Entries(At("Grab~")), (QStringList{"first.png", "sub"}));
    EXPECT_TRUE(folders.HasBackup());

    // The next generation replaces the backup, subfolders and all.
    WriteText(grab + QStringLiteral("second.png"), "2");
    EXPECT_EQ(CWorkingFolders::RotateFolder(grab), kOk);
    EXPECT_TRUE(Entries(grab).isEmpty());
    EXPECT_EQ(Entries(At("Grab~")), QStringList{"second.png"});
}

TEST_F(WorkingFoldersTest, DeletingContentsRemovesLinksWithoutFollowingThem) {
    const QString outside = MakeTempDir(QStringLiteral("outside"));
    WriteText(outside + QStringLiteral("/precious.png"), "keep");
    const QString folder = MakeTempDir(QStringLiteral("to empty"));
    WriteText(folder + QStringLiteral("/a/b/c.png"), "x");
    WriteText(folder + QStringLiteral("/.hidden"), "x");
    ASSERT_TRUE(QFile::link(outside, folder + QStringLiteral("/a/link to folder")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/precious.png"),
                            folder + QStringLiteral("/link to file.png")));

    EXPECT_EQ(CWorkingFolders::DeleteFolderContents(folder), kOk);
    EXPECT_TRUE(Entries(folder).isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(ReadAll(outside + QStringLiteral("/precious.png")), "keep");
}

TEST_F(WorkingFoldersTest, SwapTwiceReturnsToTheStartAndLeavesBothFolders) {
    CWorkingFolders folders(root, documents);
    WriteText(folders.Grab() + QStringLiteral("now 0001.png"), "now");
    WriteText(folders.Undo() + QStringLiteral("0001.csv"), "now");
    ASSERT_EQ(folders.WriteScenePath(QStringLiteral("/scenes/now")), kOk);
    ASSERT_EQ(CWorkingFolders::RotateFolder(folders.Grab()), kOk);
    ASSERT_EQ(CWorkingFolders::RotateFolder(folders.Undo()), kOk);
    WriteText(folders.Grab() + QStringLiteral("next 0001.png"), "next");

    ASSERT_EQ(folders.SwapBackups(), kOk);
    EXPECT_EQ(Entries(folders.Grab()), (QStringList{"ScenePath.txt", "now 0001.png"}));
    EXPECT_EQ(folders.ReadScenePath(), QStringLiteral("/scenes/now/"));
    EXPECT_EQ(Entries(folders.Undo()), QStringList{"0001.csv"});
    EXPECT_EQ(Entries(At("Grab~")), QStringList{"next 0001.png"});
    EXPECT_TRUE(Entries(At("Undo~")).isEmpty());

    ASSERT_EQ(folders.SwapBackups(), kOk);
    EXPECT_EQ(Entries(folders.Grab()), QStringList{"next 0001.png"});
    EXPECT_TRUE(Entries(folders.Undo()).isEmpty());
    EXPECT_EQ(Entries(At("Grab~")), (QStringList{"ScenePath.txt", "now 0001.png"}));
    EXPECT_FALSE(QFileInfo::exists(At("Grab$")));
    EXPECT_FALSE(QFileInfo::exists(At("Undo$")));
}

TEST_F(WorkingFoldersTest, SwapWithoutBackupsStillLeavesGrabAndUndoInPlace) {
    CWorkingFolders folders(root, documents);
    WriteText(folders.Grab() + QStringLiteral("a 0001.png"), "a");
    ASSERT_FALSE(QFileInfo::exists(At("Grab~")));
    ASSERT_EQ(folders.SwapBackups(), kOk);
    // Later grabs and snapshots need the folders: both are there, empty.
    EXPECT_TRUE(QFileInfo(folders.Grab()).isDir());
    EXPECT_TRUE(QFileInfo(folders.Undo()).isDir());
    EXPECT_TRUE(Entries(folders.Grab()).isEmpty());
    EXPECT_EQ(Entries(At("Grab~")), QStringList{"a 0001.png"});
    EXPECT_TRUE(folders.HasBackup());
}

TEST_F(WorkingFoldersTest, AFailedUndoSwapPutsGrabBackSoTheGenerationsStayTogether) {
    CWorkingFolders folders(root, documents);
    WriteText(folders.Grab() + QStringLiteral("now.png"), "now");
    WriteText(At("Grab~/then.png"), "then");
    WriteText(At("Undo$/stray.csv"), "in the way");  // Undo cannot be swapped

    EXPECT_NE(folders.SwapBackups(), kOk);
    EXPECT_EQ(Entries(folders.Grab()), QStringList{"now.png"});
    EXPECT_EQ(Entries(At("Grab~")), QStringList{"then.png"});
    EXPECT_EQ(Entries(At("Undo$")), QStringList{"stray.csv"});  // never deleted
}

// Where a crash can stop a swap of Grab (current "now", backup "then"), and
// what the next start finds: each is finished, so the swap happened whole.
TEST_F(WorkingFoldersTest, ASwapCutShortByACrashIsFinishedAtTheNextStart) {
    struct Case {
        const char* name;
        QStringList now, then, swap;  // which of Grab, Grab~, Grab$ hold what
        bool hadBackup;
    };
    const Case cases[] = {
        {"after Grab moved aside", {}, {"then"}, {"now"}, true},
        {"after the backup moved in", {"then"}, {}, {"now"}, true},
        {"without a backup, before Grab was made", {}, {}, {"now"}, false},
        {"without a backup, after Grab was made", {"(empty)"}, {}, {"now"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString base = MakeTempDir(QStringLiteral("crashed swap"));
        auto fill = [&](const QString& folder, const QStringList& files) {
            for (const QString& file : files) {
                if (file == QLatin1String("(empty)")) {
                    QDir().mkpath(base + u'/' + folder);
                } else {
                    WriteText(base + u'/' + folder + u'/' + file + QStringLiteral(".png"),
                              file.toUtf8());
                }
            }
        };
        fill(QStringLiteral("Grab"), c.now);
        fill(QStringLiteral("Grab~"), c.then);
        fill(QStringLiteral("Grab$"), c.swap);

        const CWorkingFolders folders(base, documents);
        const QStringList grab = Entries(folders.Grab());
        EXPECT_EQ(grab, c.hadBackup ? QStringList{"then.png"} : QStringList{});
        EXPECT_EQ(Entries(base + QStringLiteral("/Grab~")), QStringList{"now.png"});
        EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("/Grab$")));
    }
}

TEST_F(WorkingFoldersTest, ScenePathIsOneLineWithItsSlashAndNoLineEnd) {
    CWorkingFolders folders(root, documents);
    EXPECT_EQ(folders.ReadScenePath(), QString());
    ASSERT_EQ(folders.WriteScenePath(QStringLiteral("/home/ann/My Scenes/Ünïcode")), kOk);
    EXPECT_EQ(ReadAll(folders.Grab() + QStringLiteral("ScenePath.txt")),
              QStringLiteral("/home/ann/My Scenes/Ünïcode/").toUtf8());
    EXPECT_EQ(folders.ReadScenePath(), QStringLiteral("/home/ann/My Scenes/Ünïcode/"));
    // A file from elsewhere may end its line.
    WriteText(folders.Grab() + QStringLiteral("ScenePath.txt"), "C:/scenes/x/\r\nrest");
    EXPECT_EQ(folders.ReadScenePath(), QStringLiteral("C:/scenes/x/"));
}

TEST_F(WorkingFoldersTest, CreateFolderMakesEveryParentOrSaysWhyNot) {
    const QString deep = root + QStringLiteral("/one/two/three/four/five/");
    EXPECT_EQ(CWorkingFolders::CreateFolder(deep), kOk);
    EXPECT_TRUE(QFileInfo(deep).isDir());
    WriteText(root + QStringLiteral("/a file"), "x");
    EXPECT_EQ(CWorkingFolders::CreateFolder(root + QStringLiteral("/a file/below")),
              msg::kCannotCreateFolder);
}

}  // namespace
}  // namespace kolvane
