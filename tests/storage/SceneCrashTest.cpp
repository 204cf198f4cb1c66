// A child process builds a working scene (or saves it again and again) and is
// killed with SIGKILL at a random moment; the test then starts the resume path
// as the program's next start would and checks that nothing finished before
// the kill is lost and that no file shows up half written under its name.
//
// CI runs a few kill points. scripts/crash-soak N runs N more, each with its
// own seed in KOLVANE_CRASH_SEED (one round of each test per seed).

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <random>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "storage/Import.h"
#include "storage/SafeFile.h"
#include "storage/Storage.h"
#include "storage/TimingFile.h"
#include "storage/Undo.h"
#include "tests/storage/SceneFixtures.h"
#include "tests/storage/crash/CrashScenario.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using namespace crash;

// What the child told before it died: each fact is finished on disk.
struct ChildReport {
    QList<int> images;
    int lastSnapshot = 0;
    int lastSaving = 0;
    int lastSaved = 0;
    int lastGrabbed = 0;
    int lines = 0;
    int killedAfter = 0;  // lines read when the kill was sent
};

void ParseLine(const QByteArray& line, ChildReport& report) {
    const QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() != 2) return;
    const int number = words[1].toInt();
    if (words[0] == "image") report.images << number;
    if (words[0] == "snapshot") report.lastSnapshot = number;
    if (words[0] == "saving") report.lastSaving = number;
    if (words[0] == "saved") report.lastSaved = number;
    if (words[0] == "grabbed") report.lastGrabbed = number;
    ++report.lines;
}

// Runs the child and kills it after `killAfter` lines and a further pause of
// `pauseMicros`, so that the kill lands somewhere inside the next step.
ChildReport RunAndKill(const QString& program, const QStringList& args, int killAfter,
                       int pauseMicros) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    child.setProcessEnvironment(env);
    child.start(test::BinaryDir() + u'/' + program, args);
    ChildReport report;
    if (!child.waitForStarted(10000)) {
        ADD_FAILURE() << "the crash child did not start";
        return report;
    }
    bool killed = false;
    while (!killed && child.state() == QProcess::Running) {
        child.waitForReadyRead(100);
        while (child.canReadLine()) {
            ParseLine(child.readLine(), report);
            if (report.lines >= killAfter) {
                if (pauseMicros > 0) ::usleep(static_cast<useconds_t>(pauseMicros));
                child.kill();  // SIGKILL
                killed = true;
                report.killedAfter = report.lines;
                break;
            }
        }
    }
    child.waitForFinished(10000);
    // Lines still in the pipe were finished before the kill as well.
    for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
        ParseLine(line, report);
    return report;
}

// The objects of the program's next start, resumed from the child's folders.
class NextStart : public test::SceneSession {
  public:
    explicit NextStart(const QString& base) : SceneSession(WorkingRoot(base), Documents(base)) {
        resumed = storage.ResumeWorkingScene(&grabLevel);
    }

    bool resumed = false;
};

// Every file of `folder` under a name of its own is whole: an image is the
// very picture the child wrote. Hidden temporaries of a cut write may stay.
void ExpectOnlyWholeImages(const QString& folder) {
    for (const QString& name : test::Entries(folder)) {
        if (IsLeftoverTemporary(name) || !name.endsWith(QLatin1String(".png"))) continue;
        bool ok = false;
        const int number = name.mid(2, 4).toInt(&ok);
        ASSERT_TRUE(ok) << name.toStdString();
        const QImage image(folder + u'/' + name);
        EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), Picture(number))
            << "half written: " << name.toStdString();
    }
}

// The seeds of this run: a few fixed ones, or the soak script's one.
std::vector<unsigned> Seeds(std::initializer_list<unsigned> ci) {
    if (const char* seed = std::getenv("KOLVANE_CRASH_SEED")) {
        return {static_cast<unsigned>(std::strtoul(seed, nullptr, 10))};
    }
    return ci;
}

TEST(SceneCrashTest, KilledWhileGrabbingAndEditingResumesEveryImageAndTheLastSnapshot) {
    for (unsigned seed : Seeds({11, 23, 37})) {
        std::mt19937 random(seed);
        const int killAfter = std::uniform_int_distribution<int>(1, 2 * kWorkImages - 1)(random);
        const int pause = std::uniform_int_distribution<int>(0, 3000)(random);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", kill after line " << killAfter
                                        << " and " << pause << " us");
        const QString base = test::MakeTempDir(QStringLiteral("crash work"));
        const ChildReport report =
            RunAndKill(QStringLiteral("scene_crash_child"), {base, "work"}, killAfter, pause);
        ASSERT_GE(report.killedAfter, 1);

        const NextStart next(base);
        EXPECT_TRUE(next.resumed);
        EXPECT_EQ(next.title.Mark(), QStringLiteral("*"));
        for (int i : report.images) {
            EXPECT_NE(next.media.FindItemByName(ImageName(i)), nullptr)
                << ImageName(i).toStdString();
        }
        ExpectOnlyWholeImages(next.storage.GetGrabFolder());
        // The sheet is the newest snapshot that was written whole: the last
        // one told, or one the child finished but had no time to tell.
        const int steps = next.undo.UndoList().size();
        EXPECT_GE(steps, report.lastSnapshot);
        EXPECT_LE(steps, report.lastSnapshot + 1);
        if (steps > 0) {
            EXPECT_EQ(next.Cells(), SnapshotCells(steps));
        } else {
            // No snapshot yet: every image placed for the default timing.
            const qsizetype images =
                next.media.ImageLevel() != nullptr ? next.media.ImageLevel()->children->size() : 0;
            EXPECT_EQ(next.Cells().size(), images * next.settings.Get(DefTiming));
        }
    }
}

TEST(SceneCrashTest, KilledWhileSavingLeavesWholeFilesAndTheScene) {
    // The child builds the scene (2 lines per image and one snapshot) first.
    const int built = 2 * kSaveImages + 1;
    for (unsigned seed : Seeds({5, 19})) {
        std::mt19937 random(seed);
        const int killAfter = std::uniform_int_distribution<int>(built + 1, built + 8)(random);
        const int pause = std::uniform_int_distribution<int>(0, 20000)(random);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", kill after line " << killAfter
                                        << " and " << pause << " us");
        const QString base = test::MakeTempDir(QStringLiteral("crash save"));
        const ChildReport report =
            RunAndKill(QStringLiteral("scene_crash_child"), {base, "save"}, killAfter, pause);
        ASSERT_GE(report.lastSaving, 1);
        const QStringList full = SnapshotCells(kSaveImages + 1);

        // Every scene folder holds whole files only, and a timing file that
        // is there reads back as the whole scene.
        for (int save = 1; save <= report.lastSaving + 1; ++save) {
            const QString folder = SceneFolder(base, save);
            if (!QFileInfo::exists(folder)) continue;
            SCOPED_TRACE(folder.toStdString());
            ExpectOnlyWholeImages(folder);
            const QString timing = TimingFilePath(folder);
            if (save <= report.lastSaved) {
                ASSERT_TRUE(QFileInfo::exists(timing));
            }
            if (!QFileInfo::exists(timing)) continue;
            CSettings settings{CSettings::Unstored{}};
            CMdiaList media;
            ASSERT_EQ(ImportFolder(media, folder, kTypeImage), kOk);
            CXshtList sheet(settings);
            ASSERT_EQ(ReadTimingFile(sheet, media, timing), kOk);
            QStringList cells;
            for (const CNode* cell : *sheet.Levels().front()->children) {
                if (cell->item != nullptr) cells << cell->name;
            }
            EXPECT_EQ(cells, full);
        }

        // The next start finds the scene in the working folders, or, when the
        // save had closed it, nothing to resume and the scene saved whole.
        const NextStart next(base);
        const QStringList working = test::Entries(WorkingRoot(base));
        EXPECT_FALSE(working.contains(QStringLiteral("Moving.txt")));
        EXPECT_FALSE(working.contains(QStringLiteral("Grab$")));
        if (next.resumed) {
            EXPECT_EQ(next.Cells(), full);
        } else {
            EXPECT_TRUE(QFileInfo::exists(TimingFilePath(SceneFolder(base, report.lastSaving))));
        }
    }
}

TEST(SceneCrashTest, KilledWhileGrabbingFromTheTestPatternKeepsEveryGrabOnTheSheet) {
    for (unsigned seed : Seeds({3, 29})) {
        std::mt19937 random(seed);
        // Line 1 says the live video runs; each later line is one grab.
        const int killAfter = std::uniform_int_distribution<int>(1, kGrabImages)(random);
        const int pause = std::uniform_int_distribution<int>(0, 80000)(random);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", kill after line " << killAfter
                                        << " and " << pause << " us");
        const QString base = test::MakeTempDir(QStringLiteral("crash grab"));
        const ChildReport report =
            RunAndKill(QStringLiteral("grab_crash_child"), {base}, killAfter, pause);
        ASSERT_GE(report.killedAfter, 1) << "the test pattern did not start";

        const NextStart next(base);
        const QStringList images = next.Images();
        const int told = report.lastGrabbed;
        // Every grab told is back; the one in flight may be too.
        ASSERT_GE(images.size(), told);
        ASSERT_LE(images.size(), told + 1);
        if (told > 0) {
            EXPECT_TRUE(next.resumed);
        }
        QSize size;
        for (int i = 1; i <= images.size(); ++i) {
            EXPECT_EQ(images[i - 1], ImageName(i));
            const QImage picture(next.storage.GetGrabFolder() + ImageName(i) + ".png");
            ASSERT_FALSE(picture.isNull()) << "half written: " << ImageName(i).toStdString();
            if (size.isEmpty()) size = picture.size();
            EXPECT_EQ(picture.size(), size);
        }
        // The sheet holds every grab told, each DefTiming times; the grab in
        // flight is on it only when its snapshot was written whole.
        const QStringList cells = next.Cells();
        const int onSheet = static_cast<int>(cells.size()) / 2;
        EXPECT_GE(onSheet, told);
        EXPECT_LE(onSheet, static_cast<int>(images.size()));
        QStringList expected;
        for (int i = 1; i <= onSheet; ++i)
            expected << ImageName(i) << ImageName(i);
        EXPECT_EQ(cells, expected);
    }
}

}  // namespace
}  // namespace kolvane
