#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "model/Range.h"
#include "model/SceneState.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "storage/TimingFile.h"
#include "storage/Undo.h"
#include "tests/support/SheetPatterns.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using test::SheetText;

class UndoTest : public ::testing::Test {
  protected:
    CNode* Image(const QString& name) { return test::ImageItem(media, name); }

    // An edit as every editing command makes it: record, change, normalise.
    void Edit(const std::function<void()>& change) {
        undo.RecordEdit(sheet);
        change();
        sheet.RecomputeSummaries();
        sheet.Normalise();
    }
    void Place(const QString& image) {
        Edit([&] { sheet.PlaceImage(Image(image)); });
    }
    QString Snapshot(int number) const {
        return folder + QStringLiteral("/%1").arg(number, 4, 10, QLatin1Char('0'));
    }
    QStringList Snapshots(std::initializer_list<int> numbers) const {
        QStringList paths;
        for (int n : numbers)
            paths << Snapshot(n);
        return paths;
    }
    void WriteSnapshot(int number) { ASSERT_EQ(WriteTiming(sheet, Snapshot(number)), kOk); }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    QString folder = test::MakeTempDir(QStringLiteral("undo"));
    CUndo undo{folder};
};

TEST_F(UndoTest, WorkedSequenceOfTwoEditsTwoUndosAndTwoRedos) {
    EXPECT_FALSE(undo.CanUndo()) << "nothing to undo at start";
    EXPECT_FALSE(undo.CanRedo());
    const QString empty = SheetText(sheet);
    Place("A 0001");
    EXPECT_TRUE(undo.CanUndo());
    const QString afterFirst = SheetText(sheet);
    Place("B 0001");
    const QString afterSecond = SheetText(sheet);
    EXPECT_EQ(undo.UndoList(), Snapshots({2, 1}));

    // The first undo keeps the state it leaves as snapshot 3.
    EXPECT_EQ(undo.UndoSheet(sheet, media), kOk);
    EXPECT_EQ(SheetText(sheet), afterFirst);
    EXPECT_EQ(undo.UndoList(), Snapshots({2, 1}));
    EXPECT_EQ(undo.RedoList(), Snapshots({3}));
    EXPECT_TRUE(QFileInfo::exists(Snapshot(3) + ".csv"));

    EXPECT_EQ(undo.UndoSheet(sheet, media), kOk);
    EXPECT_EQ(SheetText(sheet), empty);
    EXPECT_FALSE(undo.CanUndo()) << "a third undo has nowhere to go";
    EXPECT_EQ(undo.Counter(), "0003") << "further undos write nothing";

    EXPECT_EQ(undo.RedoSheet(sheet, media), kOk);
    EXPECT_EQ(SheetText(sheet), afterFirst);
    EXPECT_EQ(undo.RedoSheet(sheet, media), kOk);
    EXPECT_EQ(SheetText(sheet), afterSecond);
    EXPECT_FALSE(undo.CanRedo());
    EXPECT_EQ(undo.UndoList(), Snapshots({3, 2, 1}));
}

TEST_F(UndoTest, RedoSurvivesANewEditAndReturnsToTheUndoneState) {
    Place("A 0001");
    const QString undone = SheetText(sheet);
    undo.UndoSheet(sheet, media);
    Place("B 0001");
    EXPECT_TRUE(undo.CanRedo());
    undo.RedoSheet(sheet, media);
    EXPECT_EQ(SheetText(sheet), undone);
}

TEST_F(UndoTest, SnapshotPathsAreTheFolderAndANumberOfFourDigitsOrMore) {
    CUndo slashed(folder + "//");
    EXPECT_EQ(slashed.Record(), folder + "/0001");
    for (int i = 0; i < 9999; ++i)
        undo.Record();
    EXPECT_EQ(undo.Counter(), "9999");
    EXPECT_EQ(undo.Record(), folder + "/10000");
    undo.DropNewest();
    EXPECT_EQ(undo.Counter(), "9999");
}

TEST_F(UndoTest, RebuildStopsAtTheFirstGapAndShowsTheNewestBeforeIt) {
    Place("A 0001");
    WriteSnapshot(1);
    Place("B 0001");
    const QString second = SheetText(sheet);
    WriteSnapshot(2);
    Place("C 0001");
    WriteSnapshot(4);
    ASSERT_TRUE(QFile::remove(Snapshot(3) + ".csv"));

    // A history with a stale redo entry and counter: none of it survives.
    undo.UndoSheet(sheet, media);
    ASSERT_TRUE(undo.CanRedo());

    CXshtList restarted(settings);
    undo.Rebuild();
    EXPECT_EQ(undo.UndoList(), Snapshots({2, 1}));
    EXPECT_TRUE(undo.RedoList().isEmpty());
    EXPECT_EQ(undo.Counter(), "0002");
    EXPECT_FALSE(undo.IsCurrentSaved());
    EXPECT_FALSE(QFileInfo::exists(Snapshot(4) + ".csv"))
        << "a later snapshot 3 would otherwise bring it back into the history";

    EXPECT_EQ(undo.LoadNewest(restarted, media), kOk);
    EXPECT_EQ(SheetText(restarted), second);
    EXPECT_EQ(undo.UndoList(), Snapshots({2, 1}));
    EXPECT_TRUE(undo.RedoList().isEmpty());
    // What is shown is snapshot 2: one undo goes straight to snapshot 1.
    undo.UndoSheet(restarted, media);
    EXPECT_EQ(undo.Counter(), "0002");
    EXPECT_EQ(undo.UndoList(), Snapshots({1}));
}

TEST_F(UndoTest, DurableEditsKeepTheSheetAfterThemWithoutStepsThatChangeNothing) {
    const QString empty = SheetText(sheet);
    auto grab = [&](const QString& name) {
        CUndo::PreparedEdit prepared = undo.PrepareDurableEdit(sheet, [&] {
            sheet.PlaceImage(Image(name));
            sheet.Normalise();
            sheet.RecomputeSummaries();
        });
        return undo.CommitDurableEdit(prepared);
    };
    ASSERT_EQ(grab("A 0001"), kOk);
    const QString one = SheetText(sheet);
    ASSERT_EQ(grab("A 0002"), kOk);
    const QString two = SheetText(sheet);
    // Before the first, after the first, after the second: no copy between.
    EXPECT_EQ(undo.UndoList(), Snapshots({3, 2, 1}));
    EXPECT_TRUE(undo.IsCurrentSaved());

    // A restart shows the last grab at once.
    undo.Rebuild();
    CXshtList restarted(settings);
    ASSERT_EQ(undo.LoadNewest(restarted, media), kOk);
    EXPECT_EQ(SheetText(restarted), two);

    // Each undo takes one grab away; an ordinary edit afterwards records as usual.
    ASSERT_EQ(undo.UndoSheet(sheet, media), kOk);
    EXPECT_EQ(SheetText(sheet), one);
    ASSERT_EQ(undo.UndoSheet(sheet, media), kOk);
    EXPECT_EQ(SheetText(sheet), empty);
    EXPECT_FALSE(undo.CanUndo());
    ASSERT_EQ(undo.RedoSheet(sheet, media), kOk);
    EXPECT_EQ(SheetText(sheet), one);
    ASSERT_EQ(grab("A 0003"), kOk);
    EXPECT_EQ(undo.UndoList().size(), 3) << "the shown state was the head: no copy of it";
    ASSERT_EQ(undo.UndoSheet(sheet, media), kOk);
    EXPECT_EQ(SheetText(sheet), one);

    // A disk that refuses leaves no listed snapshot without its file.
    undo.SetWriter([](const CXshtList&, const QString&) { return msg::kTimingNotSaved; });
    EXPECT_EQ(grab("A 0004"), msg::kUndoNotSaved);
    EXPECT_FALSE(undo.IsCurrentSaved());
    for (const QString& path : undo.UndoList())
        EXPECT_TRUE(QFileInfo::exists(path + ".csv"));
}

// A grab's snapshot is written while its picture still is, and counts only
// once committed: abandoned (the picture failed) or cut short by a crash,
// the history is what it was.
TEST_F(UndoTest, APreparedEditCountsOnlyOnceCommitted) {
    auto place = [&](const QString& name) {
        return [this, name] {
            sheet.PlaceImage(Image(name));
            sheet.Normalise();
            sheet.RecomputeSummaries();
        };
    };
    auto hidden = [&] { return QDir(folder).entryList({".*"}, QDir::Files | QDir::Hidden); };
    CUndo::PreparedEdit first = undo.PrepareDurableEdit(sheet, place("A 0001"));
    EXPECT_EQ(undo.WaitForPrepared(first), kOk);
    EXPECT_FALSE(QFileInfo::exists(Snapshot(2) + ".csv")) << "not in the history before the commit";
    EXPECT_EQ(hidden().size(), 1) << "written aside";
    ASSERT_EQ(undo.CommitDurableEdit(first), kOk);
    const QString one = SheetText(sheet);
    EXPECT_EQ(undo.UndoList(), Snapshots({2, 1}));
    EXPECT_TRUE(undo.IsCurrentSaved());
    EXPECT_TRUE(hidden().isEmpty());

    // Abandoned: the caller took the edit back; nothing of it stays.
    CUndo::PreparedEdit second = undo.PrepareDurableEdit(sheet, place("A 0002"));
    // As a failed grab does: its item goes, and with it its cells.
    CNode* level = media.ImageLevel();
    level->children->erase(level->children->indexOf(Image("A 0002")));
    sheet.RefreshNamesFromMedia(media);
    EXPECT_EQ(SheetText(sheet), one);
    undo.AbandonDurableEdit(second);
    EXPECT_EQ(undo.UndoList(), Snapshots({2, 1}));
    EXPECT_TRUE(undo.IsCurrentSaved()) << "the newest snapshot is again the sheet shown";
    EXPECT_TRUE(hidden().isEmpty());
    EXPECT_EQ(undo.CommitDurableEdit(second), kFail) << "an abandoned edit is not committed";

    // Left prepared by a crash: the next start neither lists nor keeps it.
    CUndo::PreparedEdit third = undo.PrepareDurableEdit(sheet, place("A 0003"));
    undo.WaitForPrepared(third);
    EXPECT_FALSE(hidden().isEmpty());
    CUndo rebuilt{folder};
    rebuilt.Rebuild();
    EXPECT_EQ(rebuilt.UndoList(), Snapshots({2, 1}));
    EXPECT_TRUE(hidden().isEmpty());
    CXshtList restarted(settings);
    ASSERT_EQ(rebuilt.LoadNewest(restarted, media), kOk);
    EXPECT_EQ(SheetText(restarted), one);
    undo.AbandonDurableEdit(third);

    // A write that fails on the thread that makes it, here because a
    // folder stands where the snapshot goes aside: the same.
    QStringList blocked;
    for (int n = 1; n <= 9; ++n) {
        blocked << folder + QStringLiteral("/.%1.prepared.csv").arg(n, 4, 10, QChar('0'));
        ASSERT_TRUE(QDir().mkpath(blocked.back() + "/inside"));
    }
    const QStringList before = undo.UndoList();
    CUndo::PreparedEdit blockedEdit = undo.PrepareDurableEdit(sheet, place("A 0005"));
    EXPECT_EQ(undo.CommitDurableEdit(blockedEdit), msg::kUndoNotSaved);
    EXPECT_EQ(undo.UndoList(), before);
    for (const QString& path : blocked)
        QDir(path).removeRecursively();

    // A disk that refuses the snapshot leaves the edit and lists nothing.
    undo.SetWriter([](const CXshtList&, const QString&) { return msg::kTimingNotSaved; });
    CUndo::PreparedEdit refused = undo.PrepareDurableEdit(sheet, place("A 0004"));
    EXPECT_EQ(refused.result, msg::kUndoNotSaved);
    EXPECT_EQ(undo.CommitDurableEdit(refused), msg::kUndoNotSaved);
    for (const QString& path : undo.UndoList())
        EXPECT_TRUE(QFileInfo::exists(path + ".csv"));
    EXPECT_FALSE(undo.IsCurrentSaved());
}

TEST_F(UndoTest, RebuildLeavesFilesItDoesNotNumber) {
    WriteSnapshot(1);
    for (const char* name : {"0007.txt", "007.csv", "notes.csv"}) {
        QFile file(folder + '/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    undo.Rebuild();
    EXPECT_EQ(undo.UndoList(), Snapshots({1}));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 4);
}

TEST_F(UndoTest, ResetEmptiesTheFolderAndTheLists) {
    Place("A 0001");
    undo.UndoSheet(sheet, media);
    undo.Reset();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(undo.UndoList().isEmpty());
    EXPECT_TRUE(undo.RedoList().isEmpty());
    EXPECT_EQ(undo.Counter(), "0000");
    EXPECT_FALSE(undo.CanUndo());
}

TEST_F(UndoTest, ASnapshotThatCannotBeWrittenIsReportedAndNeverListed) {
    Place("A 0001");
    const QString beforeFailed = SheetText(sheet);
    undo.SetWriter([](const CXshtList&, const QString&) { return msg::kTimingNotSaved; });
    EXPECT_EQ(undo.RecordEdit(sheet), msg::kUndoNotSaved);
    EXPECT_EQ(undo.UndoList(), Snapshots({1}));
    EXPECT_EQ(undo.Counter(), "0001");
    sheet.PlaceImage(Image("B 0001"));
    sheet.Normalise();
    const QString edited = SheetText(sheet);

    // Undo cannot keep the state it would leave: it stays.
    EXPECT_EQ(undo.UndoSheet(sheet, media), msg::kUndoNotSaved);
    EXPECT_EQ(SheetText(sheet), edited);
    EXPECT_EQ(undo.UndoList(), Snapshots({1}));
    EXPECT_FALSE(undo.IsCurrentSaved());

    // Once the disk takes files again, undo goes to the last snapshot kept.
    undo.SetWriter({});
    EXPECT_EQ(undo.UndoSheet(sheet, media), kOk);
    EXPECT_NE(SheetText(sheet), beforeFailed);
    EXPECT_TRUE(sheet.Levels().empty());
    undo.RedoSheet(sheet, media);
    EXPECT_EQ(SheetText(sheet), edited);
}

TEST_F(UndoTest, AMissingOrBrokenSnapshotNeverEmptiesTheSheet) {
    Place("A 0001");
    Place("B 0001");
    Place("C 0001");
    Place("D 0001");
    const QString shown = SheetText(sheet);
    ASSERT_TRUE(QFile::remove(Snapshot(4) + ".csv"));
    QFile broken(Snapshot(3) + ".csv");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.close();

    EXPECT_EQ(undo.UndoSheet(sheet, media), msg::kUndoNotRead);
    EXPECT_EQ(SheetText(sheet), shown);
    EXPECT_EQ(undo.UndoSheet(sheet, media), msg::kUndoNotRead);
    EXPECT_EQ(SheetText(sheet), shown);
    // Stepped over: the next undo reaches the intact snapshot 2.
    EXPECT_EQ(undo.UndoSheet(sheet, media), kOk);
    EXPECT_EQ(test::CellNames(*sheet.Levels().at(0)), (QStringList{"A 0001", "A 0001", "-"}));
}

TEST_F(UndoTest, WithoutAFolderNothingIsWrittenAnywhere) {
    CUndo homeless;
    EXPECT_EQ(homeless.RecordEdit(sheet), msg::kUndoNotSaved);
    EXPECT_TRUE(homeless.UndoList().isEmpty());
    EXPECT_FALSE(QFileInfo::exists("0001.csv"));
}

// The history as it should be, kept beside CUndo: the sheet texts its
// snapshots hold.
struct ExpectedHistory {
    bool CanUndo() const { return undo.size() >= (currentSaved ? 2u : 1u); }

    std::vector<QString> undo;  // newest first
    std::vector<QString> redo;
    bool currentSaved = false;
    std::map<int, QString> files;  // snapshot number -> sheet text
};

// Random edits, undos, redos and restarts, with one write in four failing
// on average: whatever happens, undo and redo show exactly the state their
// snapshot was taken of, and a restart resumes the newest snapshot.
TEST_F(UndoTest, UndoRestoresTheExactSheetWhateverFailsOnTheWay) {
    CSceneState scene;
    struct : ICommandSink {
        void SendCommand(int) override {}
        void PostCommand(int) override {}
    } sink;
    const QStringList names = {"A 0001", "A 0002", "B 0001", "B 0002", "C 0001"};
    settings.Set(DefTiming, 1);  // small sheets: every snapshot is read many times

    for (unsigned seed = 1; seed <= 16; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
        auto pick = [&](int count) {
            return static_cast<int>(random() % static_cast<unsigned>(count));
        };
        sheet.Clear();
        undo.Reset();
        ExpectedHistory expected;
        int counter = 0;
        std::unique_ptr<CUndo> history;
        std::unique_ptr<CRange> range;
        // A history on the folder as at a start: faulty writes, a range that
        // records through it.
        auto start = [&] {
            history = std::make_unique<CUndo>(folder);
            // The text WriteTiming writes, without its flush to the disk,
            // which would make the test slow.
            history->SetWriter([&](const CXshtList& written, const QString& path) {
                if (chance(25)) return msg::kTimingNotSaved;
                QFile file(TimingFilePath(path));
                if (!file.open(QIODevice::WriteOnly) || file.write(FormatTiming(written)) < 0) {
                    return msg::kTimingNotSaved;
                }
                expected.files[QFileInfo(path).fileName().toInt()] = SheetText(written);
                return kOk;
            });
            range = std::make_unique<CRange>(sheet, scene, *history, sink,
                                             [&] { return static_cast<std::int64_t>(random()); });
        };
        start();

        for (int step = 0; step < 40; ++step) {
            const QString before = SheetText(sheet);
            const int action = pick(10);
            if (action < 5) {
                // An edit: recorded first, made whether or not that worked.
                bool kept = false;
                if (action < 3 || sheet.Levels().size() < 2) {
                    kept = history->RecordEdit(sheet) == kOk;
                    sheet.PlaceImage(Image(names[pick(static_cast<int>(names.size()))]));
                    sheet.Normalise();
                } else {
                    CNode* column = sheet.Levels().at(pick(sheet.Levels().size() - 1));
                    const int first = pick(column->children->size());
                    test::SelectRows(*column, first, column->children->size() - 1);
                    range->Initialise();
                    kept = range->ChangeTiming(1 + pick(3)) == kOk;
                    sheet.UnselectAll();
                }
                if (kept) {
                    ++counter;
                    expected.undo.insert(expected.undo.begin(), before);
                }
                expected.currentSaved = false;
            } else if (action < 8) {
                const bool could = expected.CanUndo();
                ASSERT_EQ(history->CanUndo(), could);
                const Result result = history->UndoSheet(sheet, media);
                if (!could) {
                    EXPECT_EQ(SheetText(sheet), before);
                } else if (result == msg::kUndoNotSaved) {
                    ASSERT_FALSE(expected.currentSaved);
                    EXPECT_EQ(SheetText(sheet), before)
                        << "an undo that cannot keep the state stays";
                } else {
                    ASSERT_EQ(result, kOk);
                    if (!expected.currentSaved) {
                        expected.undo.insert(expected.undo.begin(), before);
                        expected.currentSaved = true;
                        ++counter;
                    }
                    expected.redo.insert(expected.redo.begin(), expected.undo.front());
                    expected.undo.erase(expected.undo.begin());
                    EXPECT_EQ(SheetText(sheet), expected.undo.front());
                }
            } else if (action < 9) {
                ASSERT_EQ(history->CanRedo(), !expected.redo.empty());
                ASSERT_EQ(history->RedoSheet(sheet, media), kOk);
                if (!expected.redo.empty()) {
                    expected.undo.insert(expected.undo.begin(), expected.redo.front());
                    expected.redo.erase(expected.redo.begin());
                    EXPECT_EQ(SheetText(sheet), expected.undo.front());
                } else {
                    EXPECT_EQ(SheetText(sheet), before);
                }
            } else {
                // A restart: the history comes back from the files alone and
                // shows the newest snapshot.
                start();
                history->Rebuild();
                ASSERT_EQ(history->Counter().toInt(), counter);
                sheet.Clear();
                ASSERT_EQ(history->LoadNewest(sheet, media), kOk);
                expected.undo.clear();
                expected.redo.clear();
                for (int n = counter; n >= 1; --n)
                    expected.undo.push_back(expected.files.at(n));
                expected.currentSaved = counter > 0;
                if (counter > 0) {
                    EXPECT_EQ(SheetText(sheet), expected.undo.front());
                }
            }
            // Every listed path has its file.
            for (const QString& path : history->UndoList() + history->RedoList())
                ASSERT_TRUE(QFileInfo::exists(path + ".csv")) << path.toStdString();
            ASSERT_EQ(history->UndoList().size(), static_cast<qsizetype>(expected.undo.size()));
        }
    }
}

}  // namespace
}  // namespace kolvane
