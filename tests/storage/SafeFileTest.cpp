#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "storage/SafeFile.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

bool Exists(const QString& path) {
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

// Whether another open of `path` could take the lock a writer holds.
bool Lockable(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return locked;
}

TEST(SafeFile, AWriterHoldsItsTemporaryUntilTheRename) {
    const QString folder = test::MakeTempDir(QStringLiteral("held"));
    CAtomicFile file;
    ASSERT_EQ(file.Open(folder + QStringLiteral("/movie.avi")), kOk);
    const QString temporary = file.TemporaryPath();
    EXPECT_TRUE(IsLeftoverTemporary(QFileInfo(temporary).fileName()));
    EXPECT_FALSE(Lockable(temporary));
    EXPECT_FALSE(RemoveIfAbandoned(temporary));
    ASSERT_EQ(::write(file.Descriptor(), "frames", 6), 6);
    ASSERT_EQ(file.Commit(), kOk);
    EXPECT_FALSE(Exists(temporary));
    // Committed, the file is free again.
    EXPECT_TRUE(Lockable(folder + QStringLiteral("/movie.avi")));
}

// The cleanup takes what a killed write left, and nothing else: not a
// running write's temporary, not a file of another naming, not through a
// link, not a folder.
TEST(SafeFile, OnlyAbandonedTemporariesOfOurNamingAreRemoved) {
    const QString folder = test::MakeTempDir(QStringLiteral("leftovers"));
    const QString outside = test::MakeTempDir(QStringLiteral("outside")) + "/kept.avi";
    test::WriteBytes(outside, "the user's");
    const QByteArray bytes("half a movie");
    const QString abandoned = folder + "/.walk.avi.part-a1B2c3";
    test::WriteBytes(abandoned, bytes);
    const QStringList others{
        folder + "/walk.avi.part-a1B2c3",    // not hidden
        folder + "/.walk.avi.part-a1B2",     // too short a suffix
        folder + "/.walk.avi.part-a1B2c!",   // not letters and digits
        folder + "/.walk.avi.parts-a1B2c3",  // another mark
        folder + "/walk.avi",
    };
    for (const QString& path : others)
        test::WriteBytes(path, bytes);
    const QString link = folder + "/.kept.avi.part-LiNkEd";
    ASSERT_EQ(
        ::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(link).constData()), 0);
    const QString subfolder = folder + "/.scene.part-F0lder";
    ASSERT_TRUE(QDir().mkpath(subfolder));

    CAtomicFile running;
    ASSERT_EQ(running.Open(folder + "/other.mp4"), kOk);

    EXPECT_EQ(RemoveAbandonedTemporaries(folder), 1);
    EXPECT_FALSE(Exists(abandoned));
    for (const QString& path : others)
        EXPECT_TRUE(Exists(path)) << path.toStdString();
    EXPECT_TRUE(Exists(link));
    EXPECT_TRUE(Exists(outside));
    EXPECT_TRUE(QFileInfo(subfolder).isDir());
    EXPECT_TRUE(Exists(running.TemporaryPath()));

    // The running write still ends under its name.
    ASSERT_EQ(::write(running.Descriptor(), "whole", 5), 5);
    EXPECT_EQ(running.Commit(), kOk);
    EXPECT_TRUE(Exists(folder + "/other.mp4"));
    EXPECT_EQ(RemoveAbandonedTemporaries(folder), 0);
}

}  // namespace
}  // namespace kolvane
