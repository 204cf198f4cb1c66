#include <gtest/gtest.h>

#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QThread>

#include "model/MdiaList.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "storage/Import.h"
#include "storage/SafeFile.h"
#include "storage/TimingFile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/tool/ToolRun.h"
#include "tool/MovieCommand.h"

namespace kolvane {
namespace {

using test::RunTool;
using test::ToolRun;

// A scene folder as the program saves it: ten frames of pictures on twos,
// and its timing file.
QString MakeSceneFolder() {
    const QString folder = test::MakeTempDir(QStringLiteral("walk"));
    for (int i = 1; i <= 5; ++i) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(qRgb(40 * i, 0, 255 - 40 * i));
        EXPECT_TRUE(image.save(
            QStringLiteral("%1/walk %2.png").arg(folder).arg(i, 4, 10, QLatin1Char('0'))));
    }
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    EXPECT_EQ(ImportFolder(media, folder, kTypeImage), kOk);
    CXshtList sheet(settings);
    CNode* column = sheet.GetColumn(0, QStringLiteral("walk"));
    for (CNode* image : *media.ImageLevel()->children) {
        column->children->append(CNode::NewCell(image));
        column->children->append(CNode::NewCell(image));
    }
    sheet.RecomputeSummaries();
    sheet.Normalise();
    EXPECT_EQ(WriteTiming(sheet, folder), kOk);
    return folder;
}

TEST(MovieCommand, WritesAPlayableMovieOfASceneFolder) {
    const QString folder = MakeSceneFolder();
    const QString out = test::MakeTempDir(QStringLiteral("movies")) + "/walk.mp4";
    const ToolRun run = RunTool({"movie", folder, out}, 120000);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << "no progress bar without a terminal";
    // The tool opens the scene in working folders of its own.
    const QDir data(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")));
    EXPECT_TRUE(data.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty())
        << data.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(' ').toStdString();
    // gst-discoverer-1.0 is what a user would try.
    QProcess discoverer;
    discoverer.start(QStringLiteral("gst-discoverer-1.0"), {out});
    ASSERT_TRUE(discoverer.waitForFinished(60000));
    const QString report = QString::fromUtf8(discoverer.readAllStandardOutput());
    EXPECT_TRUE(report.contains("Duration: 0:00:00.400000000")) << report.toStdString();
    EXPECT_TRUE(report.contains("H.264")) << report.toStdString();
    EXPECT_TRUE(report.contains("audio")) << report.toStdString();
    EXPECT_TRUE(report.contains("Width: 64")) << report.toStdString();
}

TEST(MovieCommand, ExitsWithAnErrorUnlessTheMovieIsComplete) {
    const QString folder = MakeSceneFolder();
    const QString movies = test::MakeTempDir(QStringLiteral("movies"));
    const QString unTimed = MakeSceneFolder();
    QFile::remove(TimingFilePath(unTimed));
    struct Case {
        QStringList args;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {{"movie", folder, movies + "/walk.mov"}, 2, "OUT must end in .mp4 or .avi"},
        {{"movie", folder}, 2, "needs SCENE_FOLDER and OUT"},
        {{"movie", folder, movies + "/a.avi", "--fit", "tight"}, 2, "--fit"},
        {{"movie", folder, movies + "/a.avi", "--size", "64"}, 2, "--size"},
        {{"movie", folder + "/none", movies + "/a.avi"}, 1, "no scene folder"},
        {{"movie", folder, movies + "/a.avi", "--reduction", "MS WMV9"},
         1,
         "The reduction encoder is not available"},
        {{"movie", folder, movies + "/missing/a.avi"}, 1, "Can't save the movie"},
        {{"movie", test::MakeTempDir("empty"), movies + "/a.avi"}, 1, "60118"},
        {{"movie", unTimed, movies + "/a.avi"}, 1, "No data in the timing file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        testing::internal::CaptureStderr();
        const int exitCode = tool::RunMovie(c.args.mid(1));
        const QString errors = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_TRUE(errors.contains(QString::fromUtf8(c.says))) << errors.toStdString();
    }
    EXPECT_TRUE(QDir(movies).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

// A movie being written is under a hidden name of its own: SIGKILL in the
// middle leaves an old movie of the same name byte for byte, and what it
// left is cleaned by the next export into that folder, but for the
// temporary of an export still running there.
TEST(MovieCommand, AKilledExportLeavesTheOldMovieAsItWasAndTheNextCleansUp) {
    const QString folder = MakeSceneFolder();
    {
        // Long enough to be caught while it runs.
        QFile timing(TimingFilePath(folder));
        ASSERT_TRUE(timing.open(QIODevice::WriteOnly | QIODevice::Truncate));
        timing.write(",\"walk\",\"\"\r\n");
        for (int f = 0; f < 20000; ++f)
            timing.write(QStringLiteral("%1,\"walk %2\", \"\"\r\n")
                             .arg(f + 1)
                             .arg(f % 5 + 1, 4, 10, QLatin1Char('0'))
                             .toLatin1());
    }
    const QString movies = test::MakeTempDir(QStringLiteral("movies"));
    const QString out = movies + "/walk.avi";
    const QByteArray old("an old movie the user keeps");
    {
        QFile file(out);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    tool.setProcessEnvironment(env);
    tool.start(test::BinaryDir() + QStringLiteral("/kolvane-tool"),
               {"movie", folder, out, "--size", "320x240"});
    ASSERT_TRUE(tool.waitForStarted(10000));
    // Killed once frames reach the disk.
    QDeadlineTimer deadline(120000);
    bool writing = false;
    while (!writing && !deadline.hasExpired() && tool.state() == QProcess::Running) {
        for (const QFileInfo& file : QDir(movies).entryInfoList(QDir::Files | QDir::Hidden)) {
            if (file.fileName().startsWith(".walk.avi.part-") && file.size() > 1'000'000)
                writing = true;
        }
        if (!writing) QThread::msleep(20);
    }
    ASSERT_TRUE(writing) << "the movie was never seen being written";
    const qint64 pid = tool.processId();
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    ASSERT_TRUE(tool.waitForFinished(10000));
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), old);

    // Its working folders stay behind until the next run of the tool.
    const QDir temporary(QDir::tempPath());
    const QStringList stranded{QStringLiteral("kolvane-tool-%1-*").arg(pid)};
    EXPECT_EQ(temporary.entryList(stranded, QDir::Dirs).size(), 1);
    const ToolRun next = RunTool({"scene", "open", MakeSceneFolder()});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_TRUE(temporary.entryList(stranded, QDir::Dirs).isEmpty());

    const QDir folderOfMovies(movies);
    const QStringList killed{QStringLiteral(".walk.avi.part-*")};
    ASSERT_EQ(folderOfMovies.entryList(killed, QDir::Files | QDir::Hidden).size(), 1);
    CAtomicFile running;  // another export, in this process
    ASSERT_EQ(running.Open(movies + "/other.avi"), kOk);
    const ToolRun again = RunTool({"movie", MakeSceneFolder(), movies + "/short.avi"}, 120000);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(folderOfMovies.entryList(killed, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(running.TemporaryPath()));
    EXPECT_TRUE(QFileInfo::exists(movies + "/short.avi"));
}

}  // namespace
}  // namespace kolvane
