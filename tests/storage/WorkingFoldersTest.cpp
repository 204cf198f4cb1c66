#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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
    EXPECT_EQ(folders.RotateFolder(grab), kOk);
    EXPECT_FALSE(QFileInfo::exists(At("Grab~")));

    WriteText(grab + QStringLiteral("first.png"), "1");
    WriteText(grab + QStringLiteral("sub/deep/old.png"), "1");
    EXPECT_EQ(folders.RotateFolder(grab), kOk);
    EXPECT_TRUE(Entries(grab).isEmpty());
    EXPECT_EQ(Entries(At("Grab~")), (QStringList{"first.png", "sub"}));
    EXPECT_TRUE(folders.HasBackup());

    // The next generation replaces the backup, subfolders and all.
    WriteText(grab + QStringLiteral("second.png"), "2");
    EXPECT_EQ(folders.RotateFolder(grab), kOk);
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
    ASSERT_EQ(folders.RotateWorkingFolders(), kOk);
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

struct SimulatedCrash {};

// What Grab, Grab~, Undo and Undo~ hold, one file each at most.
QStringList Generations(const QString& root) {
    QStringList held;
    for (const char* folder : {"Grab", "Grab~", "Undo", "Undo~"})
        held << Entries(root + u'/' + QLatin1String(folder)).join(u',');
    return held;
}

// A crash may stop a rotation or a swap before any change on disk that they
// make; the next start finishes it, so Grab and Undo always end as one
// generation: both moved, or (before the journal is written) neither.
TEST_F(WorkingFoldersTest, ACrashAnywhereInAMoveEndsWithBothFoldersMovedOrNeither) {
    struct Case {
        const char* name;
        bool swap;
        bool backups;
        QStringList moved;
    };
    const Case cases[] = {
        {"rotate", false, true, {"", "g-now.png", "", "u-now.csv"}},
        {"rotate without backups", false, false, {"", "g-now.png", "", "u-now.csv"}},
        {"swap", true, true, {"g-then.png", "g-now.png", "u-then.csv", "u-now.csv"}},
        {"swap without backups", true, false, {"", "g-now.png", "", "u-now.csv"}},
    };
    for (const Case& c : cases) {
        bool finished = false;
        for (int crashAt = 0; !finished; ++crashAt) {
            SCOPED_TRACE(testing::Message() << c.name << ", crash at step " << crashAt);
            const QString base = MakeTempDir(QStringLiteral("crash"));
            WriteText(base + QStringLiteral("/Grab/g-now.png"), "now");
            WriteText(base + QStringLiteral("/Undo/u-now.csv"), "now");
            if (c.backups) {
                WriteText(base + QStringLiteral("/Grab~/g-then.png"), "then");
                WriteText(base + QStringLiteral("/Undo~/u-then.csv"), "then");
            }
            const QStringList before = Generations(base);
            {
                CWorkingFolders folders(base, documents);
                int steps = 0;
                folders.SetCheckpoint([&] {
                    if (steps++ == crashAt) throw SimulatedCrash{};
                });
                try {
                    EXPECT_EQ(c.swap ? folders.SwapBackups() : folders.RotateWorkingFolders(), kOk);
                    finished = true;
                } catch (const SimulatedCrash&) {
                }
            }
            const CWorkingFolders restarted(base, documents);
            const QStringList after = Generations(base);
            if (crashAt == 0) {
                EXPECT_EQ(after, before);
            } else {
                EXPECT_EQ(after, c.moved);
            }
            if (crashAt > 0 || c.backups) {  // and no journal or "$" folder is left
                EXPECT_EQ(Entries(base), (QStringList{"Grab", "Grab~", "Undo", "Undo~"}));
            }
            ASSERT_LT(crashAt, 50);
        }
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
    // A FIFO in its place would stop the start waiting for a writer.
    const QByteArray path = QFile::encodeName(folders.Grab() + QStringLiteral("ScenePath.txt"));
    ASSERT_EQ(::unlink(path.constData()), 0);
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    EXPECT_EQ(folders.ReadScenePath(), QString());
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
