#include <gtest/gtest.h>

#include "tests/tool/ToolRun.h"

namespace kolvane {
namespace {

// The built tool, as a user runs it on a machine without a camera.
TEST(DevicesCommand, ListsTheTestPatternWithItsFormats) {
    qputenv("KOLVANE_VIDEO_DEVICES", "test");
    const test::ToolRun run = test::RunTool({QStringLiteral("devices")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1);
    const QList<QByteArray> fields = lines[0].split('\t');
    ASSERT_EQ(fields.size(), 4) << lines[0].toStdString();
    EXPECT_EQ(fields[0], "test pattern");
    EXPECT_EQ(fields[1], "webcam (usb)");
    EXPECT_EQ(fields[2], "-");
    EXPECT_TRUE(fields[3].contains("640x480 YUY2 30fps")) << fields[3].toStdString();

    qputenv("KOLVANE_VIDEO_DEVICES", "none");
    const test::ToolRun none = test::RunTool({QStringLiteral("devices")});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out.trimmed(), "no video devices");

    EXPECT_EQ(test::RunTool({QStringLiteral("devices"), QStringLiteral("extra")}).exitCode, 2);
}

// With the simulated camera the camera's own element, found among the
// system's video sources, lists it as a camera in live view.
TEST(DevicesCommand, ListsTheSimulatedCameraAsACameraInLiveView) {
    qputenv("KOLVANE_VIDEO_DEVICES", "system");
    qputenv("KOLVANE_CAMERA", "simulated");
    const test::ToolRun run = test::RunTool({QStringLiteral("devices")});
    qputenv("KOLVANE_CAMERA", "none");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QList<QByteArray> cameras;
    for (const QByteArray& line : run.out.trimmed().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        ASSERT_EQ(fields.size(), 4) << line.toStdString();
        if (fields[1] == "camera (liveview)") cameras << fields[0];
    }
    EXPECT_EQ(cameras, QList<QByteArray>({"Canon EOS 550D"})) << run.out.toStdString();

    // Without it, no camera line.
    const test::ToolRun without = test::RunTool({QStringLiteral("devices")});
    EXPECT_EQ(without.exitCode, 0);
    EXPECT_FALSE(without.out.contains("camera (liveview)")) << without.out.toStdString();
    qputenv("KOLVANE_VIDEO_DEVICES", "test");
}

}  // namespace
}  // namespace kolvane
