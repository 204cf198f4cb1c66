#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"
#include "tests/tool/ToolRun.h"

namespace kolvane {
namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

TEST(SoundCommand, HostileHeadersAreRefusedWithTheReason) {
    const QString dir = test::MakeTempDir(QStringLiteral("hostile"));
    const QString clip = dir + QStringLiteral("/huge.wav");
    test::WriteRawWav(clip, 256, 2147483647u, 16, 4000);
    for (const QStringList& args :
         {QStringList{clip},
          QStringList{clip, QStringLiteral("25"), dir + QStringLiteral("/o.wav")}}) {
        const test::ToolRun run = test::RunTool(QStringList{QStringLiteral("sound")} + args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("Can't read the sound: ") + clip))
            << run.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/o.wav")));
}

TEST(SoundCommand, WritesThePlayedClipOrLeavesTheOldFileWhole) {
    const QString dir = test::MakeTempDir(QStringLiteral("played"));
    const QString clip = dir + QStringLiteral("/door.wav");
    test::WritePcmClip(clip, 44100, 2, 44100 * 3);  // 75 frames at 25 fps
    const QString out = dir + QStringLiteral("/out/played.wav");
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/out")));
    test::WriteBytes(out, QByteArray("the old file"));

    // The disk fills after 64 KB: the tool says so, and the old file stays.
    const test::ToolRun full =
        test::RunTool({QStringLiteral("sound"), clip, QStringLiteral("25"), out}, 60000,
                      test::FileSizeLimit(65536));
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.err.contains(QStringLiteral("File too large: ") + out))
        << full.err.toStdString();
    EXPECT_FALSE(full.out.contains("wrote"));
    EXPECT_EQ(Contents(out), QByteArray("the old file"));
    EXPECT_EQ(FilesIn(dir + QStringLiteral("/out")), QStringList{QStringLiteral("played.wav")});

    const test::ToolRun written =
        test::RunTool({QStringLiteral("sound"), clip, QStringLiteral("25"), out});
    EXPECT_EQ(written.exitCode, 0) << written.err.toStdString();
    EXPECT_TRUE(written.out.contains("wrote 75 frames"));
    EXPECT_EQ(Contents(out).size(), 44 + 75 * 7680);
    EXPECT_EQ(FilesIn(dir + QStringLiteral("/out")), QStringList{QStringLiteral("played.wav")});

    // A folder that is not there is named with the system's reason.
    const QString nowhere = dir + QStringLiteral("/none/played.wav");
    const test::ToolRun missing =
        test::RunTool({QStringLiteral("sound"), clip, QStringLiteral("25"), nowhere});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("No such file or directory: ") + nowhere))
        << missing.err.toStdString();
}

}  // namespace
}  // namespace kolvane
