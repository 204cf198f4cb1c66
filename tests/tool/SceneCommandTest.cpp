#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QProcessEnvironment>

#include "tests/display/ImageFixtures.h"
#include "tests/support/TestEnvironment.h"
#include "tests/tool/ToolRun.h"
#include "tool/SceneCommand.h"

namespace kolvane {
namespace {

struct Output {
    int exitCode = -1;
    QString out;
    QString errors;
};

Output RunScene(const QStringList& args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Output output;
    output.exitCode = tool::RunScene(args);
    output.out = QString::fromStdString(testing::internal::GetCapturedStdout());
    output.errors = QString::fromStdString(testing::internal::GetCapturedStderr());
    return output;
}

void WriteBmp(const QString& path, QRgb colour) {
    QImage image(16, 12, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(path, "BMP"));
}

// A scene folder as the program saves it: two bitmaps on a timing file.
QString MakeScene() {
    const QString folder = test::MakeTempDir(QStringLiteral("Scene 7"));
    WriteBmp(folder + QStringLiteral("/run 0001.bmp"), qRgb(200, 0, 0));
    WriteBmp(folder + QStringLiteral("/run 0002.bmp"), qRgb(0, 200, 0));
    QFile timing(folder + u'/' + QFileInfo(folder).fileName() + QStringLiteral(".csv"));
    EXPECT_TRUE(timing.open(QIODevice::WriteOnly));
    timing.write(
        ",\"run\",\"\"\r\n"
        "1,\"run 0001\", \"\"\r\n"
        "2,\"run 0001\", \"\"\r\n"
        "3,\"run 0002\", \"\"\r\n");
    return folder;
}

const QString kRunTiming =
    ",\"run\",\"\"\r\n"
    "1,\"run 0001\", \"\"\r\n"
    "2,\"run 0001\", \"\"\r\n"
    "3,\"run 0002\", \"\"\r\n"
    "4,\"\", \"\"\r\n";

TEST(SceneCommand, OpenPrintsTheTimingAsOpenSceneReadsIt) {
    const Output output = RunScene({"open", MakeScene()});
    ASSERT_EQ(output.exitCode, 0) << output.errors.toStdString();
    EXPECT_EQ(output.out, kRunTiming);
    // Only PNG images: the bitmaps are not opened, so the scene has nothing.
    const Output png = RunScene({"open", MakeScene(), "--format", "png"});
    EXPECT_EQ(png.exitCode, 1);
    EXPECT_TRUE(png.errors.contains("Not all files were loaded")) << png.errors.toStdString();
}

TEST(SceneCommand, SaveWritesANewSceneConvertedWithItsSources) {
    const QString target =
        test::MakeTempDir(QStringLiteral("saved")) + QStringLiteral("/a/b/c/Scene 8");
    const test::ToolRun run =
        test::RunTool({"scene", "save", MakeScene(), target, "--format", "png"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    EXPECT_EQ(QDir(target).entryList(QDir::Files, QDir::Name),
              (QStringList{"Scene 8.csv", "run 0001.bmp", "run 0001.png", "run 0002.bmp",
                           "run 0002.png", "run timing.txt"}));
    EXPECT_EQ(QImageReader(target + QStringLiteral("/run 0002.png")).format(), "png");
    EXPECT_EQ(QImage(target + QStringLiteral("/run 0002.png")).pixel(0, 0), qRgb(0, 200, 0));
    // The saved scene opens to the same sheet.
    const Output reopened = RunScene({"open", target});
    ASSERT_EQ(reopened.exitCode, 0) << reopened.errors.toStdString();
    EXPECT_EQ(reopened.out, kRunTiming);
}

// TGAs as most programs write them (no version 2 footer, raw or run-length
// coded) open at their own size, are saved as PNG, and size the movie.
TEST(SceneCommand, TgasWithoutTheFooterOpenAtTheirOwnSize) {
    const QString folder = test::MakeTempDir(QStringLiteral("Targa"));
    QImage picture(40, 30, QImage::Format_ARGB32);
    picture.fill(qRgba(10, 120, 230, 255));
    test::WriteTga(folder + QStringLiteral("/pose 0001.tga"), picture, 24);
    test::WriteTga(folder + QStringLiteral("/pose 0002.tga"), picture, 32);
    test::WriteTga(folder + QStringLiteral("/pose 0003.tga"), picture, 24, true);
    test::WriteBytes(folder + u'/' + QFileInfo(folder).fileName() + QStringLiteral(".csv"),
                     ",\"pose\",\"\"\r\n1,\"pose 0001\", \"\"\r\n2,\"pose 0002\", \"\"\r\n"
                     "3,\"pose 0003\", \"\"\r\n");
    const Output opened = RunScene({"open", folder, "--format", "tga"});
    ASSERT_EQ(opened.exitCode, 0) << opened.errors.toStdString();
    EXPECT_TRUE(opened.out.contains("\"pose 0003\"")) << opened.out.toStdString();

    const QString saved = test::MakeTempDir(QStringLiteral("saved")) + QStringLiteral("/Targa");
    const test::ToolRun save = test::RunTool({"scene", "save", folder, saved, "--format", "png"});
    ASSERT_EQ(save.exitCode, 0) << save.err.toStdString();
    for (const char* name : {"pose 0001.png", "pose 0002.png", "pose 0003.png"}) {
        const QImage copy(saved + u'/' + QLatin1String(name));
        EXPECT_EQ(copy.size(), QSize(40, 30)) << name;
        EXPECT_EQ(copy.pixel(20, 15), qRgb(10, 120, 230)) << name;
    }
    QFile keyframes(saved + QStringLiteral("/pose timing.txt"));
    ASSERT_TRUE(keyframes.open(QIODevice::ReadOnly));
    const QByteArray keys = keyframes.readAll();
    EXPECT_TRUE(keys.contains("Source Width\t40\r\n\tSource Height\t30")) << keys.constData();

    // The movie's frame is the pictures' size, rounded up to 16 wide.
    const QString movie = test::MakeTempDir(QStringLiteral("movies")) + QStringLiteral("/t.avi");
    const test::ToolRun written = test::RunTool({"movie", saved, movie});
    ASSERT_EQ(written.exitCode, 0) << written.err.toStdString();
    QProcess discoverer;
    discoverer.start(QStringLiteral("gst-discoverer-1.0"), {movie});
    ASSERT_TRUE(discoverer.waitForFinished(60000));
    const QString report = QString::fromUtf8(discoverer.readAllStandardOutput());
    EXPECT_TRUE(report.contains("Width: 48")) << report.toStdString();
    EXPECT_TRUE(report.contains("Height: 36")) << report.toStdString();
}

TEST(SceneCommand, RefusesWhatItCannotDoWithoutAsking) {
    const QString scene = MakeScene();
    const QString existing = test::MakeTempDir(QStringLiteral("taken"));
    struct Case {
        QStringList args;
        int exitCode;
        QString says;
    };
    const Case cases[] = {
        {{"save", scene, existing}, 1, "File exists: " + existing},
        {{"open", scene + "/none"}, 1, "No such file or directory: " + scene + "/none"},
        {{"save", scene, existing + "/new", "--format", "gif"}, 2, "--format"},
        {{"open"}, 2, "needs one FOLDER"},
        {{"save", scene}, 2, "needs SRC and DST"},
        {{"close", scene}, 2, "unknown scene action"},
        {{}, 2, "needs 'open' or 'save'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Output output = RunScene(c.args);
        EXPECT_EQ(output.exitCode, c.exitCode);
        EXPECT_TRUE(output.errors.contains(c.says)) << output.errors.toStdString();
    }
    EXPECT_TRUE(QDir(existing).isEmpty());
}

// Each failure names the file or folder it met, and why.
TEST(SceneCommand, FailuresNameTheFileAndTheReason) {
    const QString scene = MakeScene();
    const QString base = test::MakeTempDir(QStringLiteral("failures"));
    test::WriteBytes(base + "/file", "x");
    const Output folder = RunScene({"save", scene, base + "/file/Scene"});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_TRUE(folder.errors.contains("Can't create the folder: " + base +
                                       "/file: Not a directory (60120)"))
        << folder.errors.toStdString();

    const QString zero = MakeScene();
    const QString timing = zero + u'/' + QFileInfo(zero).fileName() + ".csv";
    ASSERT_TRUE(QFile::remove(timing));
    ASSERT_TRUE(QFile::link("/dev/zero", timing));
    const Output link = RunScene({"open", zero});
    EXPECT_EQ(link.exitCode, 1);
    EXPECT_TRUE(link.errors.contains("Not a regular file: " + timing + " (60129)"))
        << link.errors.toStdString();

    // A picture that does not decode is named where its conversion failed.
    const QString broken = MakeScene();
    test::WriteBytes(broken + "/run 0002.bmp", QByteArray("BM not really"));
    const Output conversion = RunScene({"save", broken, base + "/Converted", "--format", "png"});
    EXPECT_EQ(conversion.exitCode, 1);
    EXPECT_TRUE(conversion.errors.contains(broken + "/run 0002.bmp"))
        << conversion.errors.toStdString();
}

// Two saves into one new folder at once: whichever way they meet, one
// writes the scene and the other is refused.
TEST(SceneCommand, OfTwoSavesIntoOneNewFolderOneIsRefused) {
    const QString scene = MakeScene();
    const QString target = test::MakeTempDir(QStringLiteral("race")) + "/Scene 9";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    QProcess a;
    QProcess b;
    for (QProcess* p : {&a, &b}) {
        p->setProcessEnvironment(env);
        p->start(test::BinaryDir() + QStringLiteral("/kolvane-tool"),
                 {"scene", "save", scene, target});
    }
    for (QProcess* p : {&a, &b})
        ASSERT_TRUE(p->waitForFinished(60000));
    EXPECT_EQ(a.exitCode() + b.exitCode(), 1) << a.exitCode() << " " << b.exitCode();
    const QString refused = QString::fromUtf8((a.exitCode() != 0 ? a : b).readAllStandardError());
    EXPECT_TRUE(refused.contains("File exists: " + target)) << refused.toStdString();
    EXPECT_EQ(QDir(target).entryList(QDir::Files, QDir::Name),
              (QStringList{"Scene 9.csv", "run 0001.bmp", "run 0002.bmp", "run timing.txt"}));
    EXPECT_EQ(QDir(QFileInfo(target).path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Scene 9"});
}

}  // namespace
}  // namespace kolvane
