#include <gtest/gtest.h>

#include <csignal>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include "tests/support/TestEnvironment.h"
#include "tests/tool/ToolRun.h"

namespace kolvane {
namespace {

class GrabCommandTest : public ::testing::Test {
  protected:
    void SetUp() override { qputenv("KOLVANE_VIDEO_DEVICES", "test"); }

    QStringList Pictures() const {
        return QDir(scene).entryList({"*.png"}, QDir::Files, QDir::Name);
    }

    QString scene = test::MakeTempDir("grab tool") + "/shot";
};

TEST_F(GrabCommandTest, GrabsTimeLapseFramesIntoASceneThatOpensAndGoesOnWhereItStopped) {
    const test::ToolRun run = test::RunTool({"grab", scene, "--count", "5", "--interval", "0.2"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "1 A 0001.png\n2 A 0002.png\n3 A 0003.png\n4 A 0004.png\n5 A 0005.png\n");
    EXPECT_EQ(Pictures(),
              QStringList({"A 0001.png", "A 0002.png", "A 0003.png", "A 0004.png", "A 0005.png"}));
    EXPECT_FALSE(QImage(scene + "/A 0003.png").isNull());

    const test::ToolRun opened = test::RunTool({"scene", "open", scene});
    ASSERT_EQ(opened.exitCode, 0) << opened.err.toStdString();
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(opened.out.count(QStringLiteral("\"A %1\"").arg(i, 4, 10, QChar('0')).toUtf8()),
                  2)
            << "image " << i << " twice (DefTiming)";
    }

    const test::ToolRun more = test::RunTool({"grab", scene, "--count", "2", "--denoise", "4"});
    ASSERT_EQ(more.exitCode, 0) << more.err.toStdString();
    EXPECT_EQ(more.out, "1 A 0006.png\n2 A 0007.png\n");
    EXPECT_TRUE(test::RunTool({"scene", "open", scene}).out.contains("\"A 0007\""));
}

TEST_F(GrabCommandTest, CtrlCStopsAfterTheGrabUnderWayWithTheTimingFileComplete) {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    tool.setProcessEnvironment(env);
    tool.start(test::BinaryDir() + "/kolvane-tool",
               {"grab", scene, "--count", "1000", "--interval", "0.3"});
    ASSERT_TRUE(tool.waitForStarted(10000));
    QByteArray out;
    while (out.count('\n') < 2 && tool.state() == QProcess::Running) {
        tool.waitForReadyRead(30000);
        out += tool.readAllStandardOutput();
    }
    ::kill(static_cast<pid_t>(tool.processId()), SIGINT);
    ASSERT_TRUE(tool.waitForFinished(30000));
    out += tool.readAllStandardOutput();
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);
    const int grabs = static_cast<int>(out.count('\n'));
    EXPECT_GE(grabs, 2);
    EXPECT_EQ(Pictures().size(), grabs);
    const test::ToolRun opened = test::RunTool({"scene", "open", scene});
    EXPECT_TRUE(
        opened.out.contains(QStringLiteral("\"A %1\"").arg(grabs, 4, 10, QChar('0')).toUtf8()));
}

TEST_F(GrabCommandTest, BadArgumentsAreUsageErrors) {
    const QStringList cases[] = {
        {"grab"},
        {"grab", scene, "--count", "0"},
        {"grab", scene, "--interval", "-1"},
        {"grab", scene, "--denoise", "3"},
        {"grab", scene, "--device"},
        {"grab", scene, "--speed", "2"},
        {"grab", scene, scene + "2"},
    };
    for (const QStringList& args : cases) {
        const test::ToolRun run = test::RunTool(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(scene));
}

TEST_F(GrabCommandTest, ADeviceThatIsNotThereIsAnError) {
    const test::ToolRun run = test::RunTool({"grab", scene, "--device", "no such camera"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("no such camera")) << run.err.toStdString();
    EXPECT_TRUE(Pictures().isEmpty());
}

}  // namespace
}  // namespace kolvane
