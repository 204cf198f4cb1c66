#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>

#include "tests/support/TestEnvironment.h"
#include "tests/tool/ToolRun.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

using test::RunTool;
using test::ToolRun;

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A scene folder of real images and a timing file naming them in the ways
// other programs write: with and without extension, other case, a blank.
class TimingCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        scene = test::MakeTempDir("scene");
        for (const char* name : {"walk 0001", "walk 0002", "walk 0003"}) {
            ASSERT_TRUE(QImage(40, 30, QImage::Format_RGB32).save(scene + "/" + name + ".png"));
        }
        WriteAll(scene + "/notes.txt", "not media");
        WriteAll(scene + "/shot.csv",
                 ",\"walk\",\"\"\n"
                 "1,\"walk 0001.png\", \"\"\n"
                 "2,\"WALK 0001\", \"\"\n"
                 "3,\"\", \"\"\n"
                 "4,\"walk 0003\", \"\"\n");
    }

    QString scene;
};

TEST_F(TimingCommandTest, ReadPrintsTheSheetOfAFolderOfImages) {
    const ToolRun run = RunTool({"timing", "read", scene + "/shot.csv", "--media", scene});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
              ",\"walk\",\"\"\r\n"
              "1,\"walk 0001\", \"\"\r\n"
              "2,\"walk 0001\", \"\"\r\n"
              "3,\"\", \"\"\r\n"
              "4,\"walk 0003\", \"\"\r\n"
              "5,\"\", \"\"\r\n");

    // A folder reads its first ".csv"; without media every cell is blank.
    const ToolRun bare = RunTool({"timing", "read", scene, "--frame-start", "0"});
    ASSERT_EQ(bare.exitCode, 0) << bare.err.toStdString();
    EXPECT_EQ(bare.out, ",\r\n");

    const ToolRun zero = RunTool({"timing", "read", scene, "--media", scene, "--frame-start", "0"});
    EXPECT_TRUE(zero.out.startsWith(",\"walk\",\"\"\r\n0,\"walk 0001\"")) << zero.out.constData();

    // The user's stored settings are neither read nor written.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    EXPECT_FALSE(QFileInfo::exists(config + "/Brevanta/Kolvane.ini"));
}

TEST_F(TimingCommandTest, KeyframesWritesOneFilePerNamedColumn) {
    const QString out = test::TempRoot() + "/keys/new";
    const ToolRun run = RunTool({"timing", "keyframes", scene + "/shot.csv", "--media", scene,
                                 "--out", out, "--frame-rate", "24"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QDir(out).entryList(QDir::Files), (QStringList{"walk timing.txt"}));
    const QByteArray keys = ReadAll(out + "/walk timing.txt");
    EXPECT_TRUE(
        keys.contains("\tUnits Per Second\t24\r\n\tSource Width\t40\r\n"
                      "\tSource Height\t30\r\n"));
    EXPECT_TRUE(keys.contains("\t0\t0\r\n\t1\t0\r\n\t3\t0.0833333\r\n")) << keys.constData();
}

struct ErrorCase {
    QStringList args;
    int exitCode;
    const char* message;
};

void ExpectErrors(const std::vector<ErrorCase>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ToolRun run = RunTool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST_F(TimingCommandTest, FailuresNameWhatFailedAndExitWithOne) {
    WriteAll(scene + "/empty.csv", QByteArray());
    ExpectErrors({
        {{"timing", "read", scene + "/missing.csv"}, 1, "No such file or directory: "},
        {{"timing", "read", scene + "/empty.csv"}, 1, "No data in the timing file: "},
        {{"timing", "read", scene, "--media", scene + "/nope"}, 1, "nope (2)"},
        {{"timing", "read", test::MakeTempDir("empty")}, 1, "*.csv (2)"},
        {{"timing", "keyframes", scene + "/shot.csv", "--out", scene + "/notes.txt/x"},
         1,
         "Can't create the folder: "},
    });
}

TEST_F(TimingCommandTest, UsageErrorsExitWithTwo) {
    ExpectErrors({
        {{"timing"}, 2, "'read' or 'keyframes'"},
        {{"timing", "write", scene}, 2, "unknown timing action"},
        {{"timing", "keyframes", scene}, 2, "needs --out"},
        {{"timing", "read", scene, "--frame-rate", "12"}, 2, "15, 24, 25 or 30"},
        {{"timing", "read", scene, "--bogus", "1"}, 2, "unknown option"},
    });

    const ToolRun help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("timing keyframes FILE"));
}

}  // namespace
}  // namespace kolvane

namespace kolvane {
namespace {

TEST_F(TimingCommandTest, XdtsWritesASheetThatReadsBackTheSame) {
    const QString out = scene + "/shot.xdts";
    const ToolRun write =
        RunTool({"timing", "xdts", scene + "/shot.csv", "--media", scene, "--out", out});
    ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();
    const QByteArray xdts = ReadAll(out);
    EXPECT_TRUE(xdts.startsWith("exchangeDigitalTimeSheet Save Data\n")) << xdts.constData();
    EXPECT_TRUE(xdts.contains("\"walk\"")) << xdts.constData();

    const ToolRun csv = RunTool({"timing", "read", scene + "/shot.csv", "--media", scene});
    const ToolRun read = RunTool({"timing", "read", out, "--media", scene});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    EXPECT_EQ(read.out, csv.out);
    EXPECT_TRUE(read.err.isEmpty()) << read.err.toStdString();
}

TEST_F(TimingCommandTest, XdtsTellsWhatItCouldNotReadAndRefusesBrokenSheets) {
    WriteAll(scene + "/cut.xdts",
             "exchangeDigitalTimeSheet Save Data\n"
             "{\"version\":5,\"timeTables\":[{\"duration\":3,"
             "\"timeTableHeaders\":[{\"fieldId\":0,\"names\":[\"walk\"]}],"
             "\"fields\":[{\"fieldId\":3,\"tracks\":[]},{\"fieldId\":0,\"tracks\":[{\"trackNo\":0,"
             "\"frames\":[{\"frame\":0,\"data\":[{\"id\":0,\"values\":[\"2\"]}]},"
             "{\"frame\":1,\"data\":[{\"id\":0,\"values\":[\"7\"]}]}]}]}]}]}\n");
    const ToolRun read = RunTool({"timing", "read", scene + "/cut.xdts", "--media", scene});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    EXPECT_TRUE(read.out.contains("1,\"walk 0002\"")) << read.out.constData();
    EXPECT_TRUE(read.err.contains("dialogue field not read")) << read.err.toStdString();
    EXPECT_TRUE(read.err.contains("\"walk 0007\" names no image")) << read.err.toStdString();

    WriteAll(scene + "/broken.xdts", "exchangeDigitalTimeSheet Save Data\n{\"timeTables\": [");
    const ToolRun broken = RunTool({"timing", "read", scene + "/broken.xdts"});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.err.contains("not well-formed JSON")) << broken.err.toStdString();
    EXPECT_TRUE(broken.err.contains("No data in the timing file")) << broken.err.toStdString();
}

}  // namespace
}  // namespace kolvane
