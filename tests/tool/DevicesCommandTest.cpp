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

}  // namespace
}  // namespace kolvane
