#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <QDir>
#include <QFile>

#include "storage/ScratchFolder.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

pid_t GonePid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(ScratchFolder, FoldersOfProcessesThatAreGoneAreRemoved) {
    const QString parent = test::MakeTempDir(QStringLiteral("tmp"));
    const QString gone = QStringLiteral("kolvane-tool-%1-a1B2c3").arg(GonePid());
    const QString running = QStringLiteral("kolvane-tool-%1-d4E5f6").arg(::getppid());
    const QString oldUnnumbered = QStringLiteral("kolvane-tool-Qw3rTy");
    const QString newUnnumbered = QStringLiteral("kolvane-tool-Zx9cVb");
    const QString other = QStringLiteral("kolvane-other-%1-a1B2c3").arg(GonePid());
    for (const QString& name : {gone, running, oldUnnumbered, newUnnumbered, other}) {
        ASSERT_TRUE(QDir().mkpath(parent + u'/' + name + QStringLiteral("/work/Grab")));
        test::WriteBytes(parent + u'/' + name + QStringLiteral("/work/Grab/a.png"), "x");
    }
    const time_t twoDaysAgo = ::time(nullptr) - 2 * 24 * 60 * 60;
    const utimbuf times{twoDaysAgo, twoDaysAgo};
    ASSERT_EQ(::utime(QFile::encodeName(parent + u'/' + oldUnnumbered).constData(), &times), 0);

    CScratchFolder::RemoveStale(parent, QStringLiteral("kolvane-tool"));
    EXPECT_EQ(QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{other, running, newUnnumbered}));
}

TEST(ScratchFolder, IsNamedAfterTheProcessAndGoesWithIt) {
    QString path;
    {
        CScratchFolder folder;
        ASSERT_TRUE(folder.isValid());
        path = folder.path();
        EXPECT_TRUE(QDir(path).dirName().contains(QStringLiteral("-%1-").arg(::getpid())));
    }
    EXPECT_FALSE(QDir(path).exists());
}

}  // namespace
}  // namespace kolvane
