#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include <QDir>
#include <QFileInfo>

#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "platform/ResultCodes.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "storage/Storage.h"
#include "storage/TimingFile.h"
#include "storage/Undo.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/storage/SceneFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using test::Entries;
using test::MakeTempDir;
using test::ReadAll;
using test::ScriptedProgress;
using test::WriteImage;
using test::WriteText;

const QStringList kOpenDefault = {".bmp", ".jpg", ".png", ".gif", ".tif", ".tga", ".wav", ".aif"};

using Session = test::SceneSession;

class SceneTest : public testing::Test {
  protected:
    std::unique_ptr<Session> Start() { return std::make_unique<Session>(root, documents); }
    QString At(const QString& name) const { return root + u'/' + name; }

    // A clip in "My Sounds", which every scene offers.
    void WriteSound(const QString& name, int samples) {
        QDir().mkpath(documents + QStringLiteral("/My Sounds"));
        test::WritePcmClip(documents + QStringLiteral("/My Sounds/") + name, 48000, 1, samples);
    }

    QString root = MakeTempDir(QStringLiteral("working"));
    QString documents = MakeTempDir(QStringLiteral("documents"));
};

TEST_F(SceneTest, EmptyWorkingFoldersResumeNothingButTheSounds) {
    WriteSound(QStringLiteral("bell.wav"), 4800);
    {
        auto first = Start();
        // What a kill leaves while ScenePath.txt is being replaced.
        QFile leftover(first->Grab() + QStringLiteral(".ScenePath.txt.part-Ab12Cd"));
        ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
        leftover.write("/scenes/S");
    }
    auto run = Start();
    EXPECT_FALSE(run->storage.ResumeWorkingScene(&run->grabLevel));
    EXPECT_TRUE(run->sheet.Levels().empty());
    EXPECT_EQ(run->media.SoundLevel()->children->size(), 1);
    EXPECT_EQ(run->media.ImageLevel(), nullptr);
    EXPECT_EQ(run->title.Mark(), QString());
    EXPECT_FALSE(run->storage.CanRestoreLastScene());
}

TEST_F(SceneTest, GrabsWithoutSnapshotsComeBackOnceEachAndGrabbingGoesOn) {
    {
        auto run = Start();
        WriteImage(run->Grab() + QStringLiteral("walk 0001.png"));
        WriteImage(run->Grab() + QStringLiteral("walk 0002.png"));
    }  // a crash before the first edit
    auto next = Start();
    next->settings.Set(DefTiming, 2);
    EXPECT_TRUE(next->storage.ResumeWorkingScene(&next->grabLevel));
    EXPECT_EQ(next->Sheet(), QStringLiteral("walk: walk 0001,walk 0001,walk 0002,walk 0002"));
    EXPECT_EQ(next->title.Mark(), QStringLiteral("*"));
    EXPECT_EQ(next->grabLevel.Name(), QStringLiteral("walk"));
    EXPECT_EQ(next->grabLevel.NextName(), QStringLiteral("walk 0003"));
}

TEST_F(SceneTest, ResumeShowsTheNewestSnapshotAndKeepsTheHistory) {
    {
        auto run = Start();
        run->GrabImage(QStringLiteral("A 0001"));
        run->GrabImage(QStringLiteral("A 0002"));
        run->GrabImage(QStringLiteral("A 0003"));  // its placing is no snapshot yet
    }
    auto next = Start();
    EXPECT_TRUE(next->storage.ResumeWorkingScene(&next->grabLevel));
    EXPECT_EQ(next->Sheet(), QStringLiteral("A: A 0001,A 0002"));
    EXPECT_EQ(next->undo.UndoList().size(), 3);
    EXPECT_EQ(next->Images(), (QStringList{"A 0001", "A 0002", "A 0003"}));
    // Undo goes on into the run before.
    ASSERT_EQ(next->undo.UndoSheet(next->sheet, next->media), kOk);
    EXPECT_EQ(next->Sheet(), QStringLiteral("A: A 0001"));
}

TEST_F(SceneTest, ASheetOfSoundsAloneIsResumedToo) {
    WriteSound(QStringLiteral("voice.wav"), 48000);
    {
        auto run = Start();
        run->storage.LoadSounds();
        CNode* voice = run->media.SoundLevel()->children->front();
        run->undo.RecordEdit(run->sheet);
        run->sheet.PlaceSound(voice);
        run->sheet.Normalise();
        run->Place(voice, 0);  // the next edit keeps the sound's cells
    }
    auto next = Start();
    EXPECT_TRUE(next->storage.ResumeWorkingScene(&next->grabLevel));
    EXPECT_EQ(next->media.ImageLevel(), nullptr);
    ASSERT_EQ(next->sheet.Levels().size(), 2);
    EXPECT_EQ(next->sheet.FrameCount(), 25);
    EXPECT_EQ(next->sheet.Levels().front()->name, QStringLiteral("voice"));
}

TEST_F(SceneTest, ClearSceneKeepsTheSceneAsTheBackupAndStartsEmpty) {
    WriteSound(QStringLiteral("bell.wav"), 4800);
    auto run = Start();
    run->storage.LoadSounds();
    run->GrabImage(QStringLiteral("A 0001"));
    run->GrabImage(QStringLiteral("A 0002"));
    run->title.SetMark(QStringLiteral("*"));
    run->grabLevel.TakeLevel(QStringLiteral("A 0001"));

    ASSERT_EQ(run->storage.ClearWorkingScene(&run->grabLevel), kOk);
    EXPECT_TRUE(run->sheet.Levels().empty());
    EXPECT_EQ(run->media.ImageLevel(), nullptr);
    EXPECT_EQ(run->media.SoundLevel()->children->size(), 1);  // the sounds again
    EXPECT_EQ(run->title.SceneName(), QStringLiteral("Untitled"));
    EXPECT_EQ(run->title.Mark(), QString());
    EXPECT_TRUE(run->undo.UndoList().isEmpty());
    EXPECT_EQ(run->undo.Counter(), QStringLiteral("0000"));
    EXPECT_EQ(run->grabLevel.Name(), QStringLiteral("A"));
    EXPECT_TRUE(Entries(run->Grab()).isEmpty());
    EXPECT_TRUE(Entries(run->storage.GetUndoFolder()).isEmpty());
    EXPECT_EQ(Entries(At("Grab~")), (QStringList{"A 0001.png", "A 0002.png"}));
    // The sheet as it stood is the backup's newest snapshot.
    EXPECT_EQ(Entries(At("Undo~")), (QStringList{"0001.csv", "0002.csv", "0003.csv"}));
    EXPECT_TRUE(run->storage.CanRestoreLastScene());

    // With nothing on the sheet nothing moves.
    WriteImage(run->Grab() + QStringLiteral("B 0001.png"));
    ASSERT_EQ(run->storage.ClearWorkingScene(&run->grabLevel), kOk);
    EXPECT_EQ(Entries(run->Grab()), QStringList{"B 0001.png"});
    EXPECT_EQ(Entries(At("Grab~")), (QStringList{"A 0001.png", "A 0002.png"}));
}

TEST_F(SceneTest, RestoringTwiceComesBackToTheSceneOneStartedWith) {
    auto run = Start();
    const QString scene = MakeTempDir(QStringLiteral("opened"));
    WriteImage(scene + QStringLiteral("/old 0001.png"));
    ScriptedProgress progress;
    ASSERT_EQ(run->storage.OpenScene(scene, kOpenDefault, progress), kOk);
    CNode* old = run->media.FindItemByName(QStringLiteral("old 0001"));
    run->Place(old, 3);
    run->GrabImage(QStringLiteral("old 0002"));
    const QString before = run->Sheet();
    ASSERT_EQ(run->storage.ClearWorkingScene(&run->grabLevel), kOk);

    // A new scene, with an undo already taken.
    run->GrabImage(QStringLiteral("new 0001"));
    run->GrabImage(QStringLiteral("new 0002"));
    run->GrabImage(QStringLiteral("new 0003"));
    ASSERT_EQ(run->undo.UndoSheet(run->sheet, run->media), kOk);
    const QString current = run->Sheet();
    const QStringList currentImages = run->Images();

    ASSERT_EQ(run->storage.RestoreLastScene(&run->grabLevel), kOk);
    EXPECT_EQ(run->Sheet(), before);
    EXPECT_EQ(run->Images(), (QStringList{"old 0001", "old 0002"}));
    EXPECT_EQ(run->title.SceneName(), scene);
    EXPECT_EQ(run->title.Mark(), QString());
    EXPECT_EQ(run->grabLevel.Name(), QStringLiteral("old"));
    // The history is the restored scene's alone, none of the steps before.
    EXPECT_EQ(run->undo.UndoList().size(), Entries(run->storage.GetUndoFolder()).size());
    EXPECT_FALSE(run->undo.CanRedo());

    ASSERT_EQ(run->storage.RestoreLastScene(&run->grabLevel), kOk);
    EXPECT_EQ(run->Sheet(), current);
    EXPECT_EQ(run->Images(), currentImages);
    EXPECT_EQ(run->title.SceneName(), QStringLiteral("Untitled"));
}

TEST_F(SceneTest, SavingIntoANewFiveLevelPathWritesTheSceneAndClosesIt) {
    auto run = Start();
    run->GrabImage(QStringLiteral("A 0001"), Qt::red);
    run->GrabImage(QStringLiteral("A 0002"), Qt::green);
    run->Place(run->media.FindItemByName(QStringLiteral("A 0002")), 2);
    run->title.SetMark(QStringLiteral("*"));
    const QString saved = run->Sheet();
    const QString folder =
        MakeTempDir(QStringLiteral("scenes")) + QStringLiteral("/base/title/seq/scene/v1/");
    ScriptedProgress progress;
    bool asked = false;

    ASSERT_EQ(run->storage.SaveScene(folder, QString(), progress, [&] { return asked = true; }),
              kOk);
    EXPECT_FALSE(asked);
    EXPECT_EQ(Entries(folder), (QStringList{"A 0001.png", "A 0002.png", "A timing.txt", "v1.csv"}));
    EXPECT_EQ(run->media.FindItemByName(QStringLiteral("A 0001"))->imageInfo->path,
              folder + QStringLiteral("A 0001.png"));
    EXPECT_EQ(run->title.SceneName(), QDir::cleanPath(folder));
    EXPECT_EQ(run->title.Mark(), QString());
    EXPECT_EQ(run->storage.Folders().ReadScenePath(), folder);
    // The working scene moved into the backup, its history with it.
    EXPECT_EQ(Entries(run->Grab()), QStringList{"ScenePath.txt"});
    EXPECT_TRUE(Entries(run->storage.GetUndoFolder()).isEmpty());
    EXPECT_EQ(Entries(At("Grab~")), (QStringList{"A 0001.png", "A 0002.png"}));
    EXPECT_TRUE(run->undo.UndoList().isEmpty());
    EXPECT_FALSE(run->undo.CanUndo());

    // The next edit is snapshot 0001 again, where a next start looks first.
    run->Place(run->media.FindItemByName(QStringLiteral("A 0001")), 1);
    EXPECT_EQ(Entries(run->storage.GetUndoFolder()), QStringList{"0001.csv"});
    ASSERT_EQ(run->undo.UndoSheet(run->sheet, run->media), kOk);
    EXPECT_EQ(run->Sheet(), saved);
}

TEST_F(SceneTest, ACrashRightAfterASaveBringsTheSavedTimingBack) {
    QString saved;
    {
        auto run = Start();
        run->GrabImage(QStringLiteral("A 0001"));
        run->GrabImage(QStringLiteral("A 0002"));
        run->Place(run->media.FindItemByName(QStringLiteral("A 0001")), 3);
        saved = run->Sheet();
        ScriptedProgress progress;
        ASSERT_EQ(run->storage.SaveScene(MakeTempDir(QStringLiteral("saved")), QString(), progress,
                                         [] { return true; }),
                  kOk);
    }
    auto next = Start();
    next->settings.Set(DefTiming, 1);
    EXPECT_TRUE(next->storage.ResumeWorkingScene(&next->grabLevel));
    EXPECT_EQ(next->Sheet(), saved);
}

TEST_F(SceneTest, AnsweringNoToReplaceWritesNothingButRecordsTheFolder) {
    auto run = Start();
    run->GrabImage(QStringLiteral("A 0001"));
    const QString folder = MakeTempDir(QStringLiteral("existing"));
    WriteText(folder + QStringLiteral("/existing.csv"), "theirs");
    ScriptedProgress progress;
    ASSERT_EQ(run->storage.SaveScene(folder, QString(), progress, [] { return false; }), kOk);
    EXPECT_EQ(Entries(folder), QStringList{"existing.csv"});
    EXPECT_EQ(run->storage.Folders().ReadScenePath(), folder + u'/');
    EXPECT_EQ(run->title.SceneName(), folder);
    EXPECT_EQ(Entries(run->Grab()), (QStringList{"A 0001.png", "ScenePath.txt"}));
    EXPECT_EQ(progress.range, 0);  // nothing was copied
}

TEST_F(SceneTest, AFailedSaveLeavesTheWorkingFoldersAndTheTitle) {
    struct Case {
        const char* name;
        std::function<QString(const QString& base)> folder;
        std::optional<std::int64_t> free;
        Result expected;
    };
    const Case cases[] = {
        {"folder cannot be made",
         [](const QString& base) {
             WriteText(base + QStringLiteral("/file"), "x");
             return base + QStringLiteral("/file/scene");
         },
         std::nullopt, msg::kCannotCreateFolder},
        {"disk full", [](const QString& base) { return base + QStringLiteral("/scene"); },
         std::int64_t{10}, msg::kNotEnoughDiskSpace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto run = Start();
        run->GrabImage(QStringLiteral("A 0001"));
        run->title.SetMark(QStringLiteral("*"));
        run->title.SetSceneName(QStringLiteral("/scenes/earlier"));
        run->storage.SetFreeSpaceSource([&](const QString&) { return c.free; });
        const QStringList grab = Entries(run->Grab());
        const QStringList undo = Entries(run->storage.GetUndoFolder());
        const QString folder = c.folder(MakeTempDir(QStringLiteral("failing")));
        ScriptedProgress progress;

        EXPECT_EQ(run->storage.SaveScene(folder, QString(), progress, [] { return true; }),
                  c.expected);
        EXPECT_EQ(run->title.Mark(), QStringLiteral("*"));
        EXPECT_EQ(run->title.SceneName(), QStringLiteral("/scenes/earlier"));
        EXPECT_EQ(run->storage.Folders().ReadScenePath(), folder + u'/');
        QStringList grabNow = Entries(run->Grab());
        grabNow.removeAll(QStringLiteral("ScenePath.txt"));
        EXPECT_EQ(grabNow, grab);
        EXPECT_EQ(Entries(run->storage.GetUndoFolder()), undo);
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/scene.csv")));
        run->storage.ClearWorkingScene(&run->grabLevel);
    }
}

// A save into a new folder builds it under a hidden name beside it: what
// fails takes away all it made, the missing parents too, and says where.
TEST_F(SceneTest, AFailedSaveIntoANewFolderLeavesNothingBehind) {
    auto run = Start();
    run->GrabImage(QStringLiteral("A 0001"));
    CNode* second = run->GrabImage(QStringLiteral("A 0002"));
    const QString base = MakeTempDir(QStringLiteral("new"));
    const QString folder = base + QStringLiteral("/a/b/Scene 3");
    const QString source = second->imageInfo->path;
    ASSERT_TRUE(QFile::rename(source, source + QStringLiteral(".away")));
    ScriptedProgress progress;
    QStringList seenWhileSaving;
    progress.onStep = [&] {
        if (seenWhileSaving.isEmpty())
            seenWhileSaving =
                QDir(base + QStringLiteral("/a/b"))
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    EXPECT_EQ(run->storage.SaveScene(folder, QString(), progress, [] { return true; }),
              msg::kCannotFindFiles);
    EXPECT_EQ(run->storage.ErrorSubject(), source);
    ASSERT_EQ(seenWhileSaving.size(), 1);
    EXPECT_TRUE(seenWhileSaving[0].startsWith(QStringLiteral(".Scene 3.saving-")));
    EXPECT_TRUE(Entries(base).isEmpty()) << Entries(base).join(' ').toStdString();
    EXPECT_EQ(run->media.FindItemByName(QStringLiteral("A 0001"))->imageInfo->path,
              run->Grab() + QStringLiteral("A 0001.png"));

    // The retry is not in the way of anything the failure left.
    ASSERT_TRUE(QFile::rename(source + QStringLiteral(".away"), source));
    ASSERT_EQ(run->storage.SaveScene(folder, QString(), progress, [] { return true; }), kOk);
    EXPECT_EQ(Entries(folder),
              (QStringList{"A 0001.png", "A 0002.png", "A timing.txt", "Scene 3.csv"}));
    EXPECT_EQ(Entries(base + QStringLiteral("/a/b")), QStringList{"Scene 3"});
    EXPECT_EQ(run->media.FindItemByName(QStringLiteral("A 0002"))->imageInfo->path,
              folder + QStringLiteral("/A 0002.png"));
    EXPECT_TRUE(run->storage.ErrorSubject().isEmpty());

    // A folder that cannot be made is named, with the reason.
    WriteText(base + QStringLiteral("/file"), "x");
    EXPECT_EQ(run->storage.SaveScene(base + QStringLiteral("/file/scene"), QString(), progress,
                                     [] { return true; }),
              msg::kCannotCreateFolder);
    EXPECT_EQ(run->storage.ErrorSubject(), base + QStringLiteral("/file: Not a directory"));
}

// Two saves into one new folder: the one that completes second is refused
// and removes its own build; the scene of the first stays whole.
TEST_F(SceneTest, OfTwoSavesIntoOneNewFolderTheSecondIsRefused) {
    auto first = Start();
    first->GrabImage(QStringLiteral("A 0001"), Qt::red);
    const QString otherRoot = MakeTempDir(QStringLiteral("other"));
    Session other(otherRoot, documents);
    other.GrabImage(QStringLiteral("B 0001"), Qt::blue);
    const QString base = MakeTempDir(QStringLiteral("shared"));
    const QString folder = base + QStringLiteral("/Scene 4");

    ScriptedProgress progress;
    Result otherResult = kFail;
    bool saved = false;
    progress.onStep = [&] {
        if (std::exchange(saved, true)) return;
        ScriptedProgress inner;
        otherResult = other.storage.SaveScene(folder, QString(), inner, [] { return false; });
    };
    EXPECT_EQ(first->storage.SaveScene(folder, QString(), progress, [] { return true; }), EEXIST);
    EXPECT_EQ(otherResult, kOk);
    EXPECT_EQ(Entries(folder), (QStringList{"B 0001.png", "B timing.txt", "Scene 4.csv"}));
    EXPECT_EQ(Entries(base), QStringList{"Scene 4"});
    EXPECT_EQ(first->media.FindItemByName(QStringLiteral("A 0001"))->imageInfo->path,
              first->Grab() + QStringLiteral("A 0001.png"));
}

// A save killed in the middle leaves only its hidden build folder, which the
// next save beside it removes; a build of a save still running stays.
TEST_F(SceneTest, BuildsOfKilledSavesAreRemovedByTheNextSave) {
    const QString base = MakeTempDir(QStringLiteral("killed"));
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const QString dead = base + QStringLiteral("/.Scene 5.saving-%1-42").arg(gone);
    const QString running = base + QStringLiteral("/.Scene 5.saving-%1-43").arg(::getppid());
    for (const QString& build : {dead, running}) {
        ASSERT_TRUE(QDir().mkpath(build));
        WriteText(build + QStringLiteral("/A 0001.png"), "half");
    }
    auto run = Start();
    run->GrabImage(QStringLiteral("A 0001"));
    ScriptedProgress progress;
    ASSERT_EQ(run->storage.SaveScene(base + QStringLiteral("/Scene 5"), QString(), progress,
                                     [] { return true; }),
              kOk);
    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_TRUE(QFileInfo::exists(running));
}

TEST_F(SceneTest, OpeningAFolderOfImagesWithoutTimingLeavesTheSheetEmpty) {
    auto run = Start();
    const QString folder = MakeTempDir(QStringLiteral("no timing"));
    WriteImage(folder + QStringLiteral("/A 0001.png"));
    WriteImage(folder + QStringLiteral("/A 0002.png"));
    ScriptedProgress progress;
    ASSERT_EQ(run->storage.OpenScene(folder, kOpenDefault, progress), kOk);
    EXPECT_EQ(run->Images(), (QStringList{"A 0001", "A 0002"}));
    EXPECT_TRUE(run->sheet.Levels().empty());
    EXPECT_EQ(run->title.SceneName(), folder);
    EXPECT_EQ(run->undo.UndoList().size(), 1);  // the opened timing is the first step
    EXPECT_EQ(run->storage.Folders().ReadScenePath(), folder + u'/');

    // A folder with nothing to open is an error, and still recorded.
    const QString empty = MakeTempDir(QStringLiteral("nothing"));
    EXPECT_EQ(run->storage.OpenScene(empty, kOpenDefault, progress), msg::kNotAllFilesLoaded);
    EXPECT_EQ(run->title.SceneName(), folder);
    EXPECT_EQ(run->storage.Folders().ReadScenePath(), empty + u'/');
}

TEST_F(SceneTest, OpeningPrefersTheTimingFileNamedAfterTheFolder) {
    const QString folder = MakeTempDir(QStringLiteral("walk"));
    const QString name = QFileInfo(folder).fileName();
    WriteImage(folder + QStringLiteral("/A 0001.png"));
    WriteImage(folder + QStringLiteral("/B 0001.png"));
    // "Another.csv" comes first in name order; the scene's own file is read.
    WriteText(folder + QStringLiteral("/Another.csv"), ",\"B\",\"\"\r\n1,\"B 0001\", \"\"\r\n");
    WriteText(folder + u'/' + name + QStringLiteral(".csv"),
              ",\"A\",\"\"\r\n1,\"A 0001\", \"\"\r\n2,\"A 0001\", \"\"\r\n");
    auto run = Start();
    ScriptedProgress progress;
    ASSERT_EQ(run->storage.OpenScene(folder, kOpenDefault, progress), kOk);
    EXPECT_EQ(run->Sheet(), QStringLiteral("A: A 0001,A 0001"));

    // Open Scene Timing reads the same file, onto the media already there.
    run->sheet.Clear();
    ASSERT_EQ(run->storage.OpenSceneTiming(folder), kOk);
    EXPECT_EQ(run->Sheet(), QStringLiteral("A: A 0001,A 0001"));
    EXPECT_EQ(run->title.Mark(), QStringLiteral("*"));
    EXPECT_EQ(run->undo.UndoList().size(), 2);
}

TEST_F(SceneTest, SavedSceneOpensAgainAsItWasSaved) {
    auto run = Start();
    run->GrabImage(QStringLiteral("A 0001"));
    run->GrabImage(QStringLiteral("B 0001"));
    run->Place(run->media.FindItemByName(QStringLiteral("A 0001")), 2);
    const QString saved = run->Sheet();
    const QString folder = MakeTempDir(QStringLiteral("round trip")) + QStringLiteral("/Scene 12");
    ScriptedProgress progress;
    ASSERT_EQ(run->storage.SaveScene(folder, QStringLiteral(".bmp"), progress, {}), kOk);
    ASSERT_EQ(run->storage.ClearWorkingScene(&run->grabLevel), kOk);
    ASSERT_EQ(run->storage.OpenScene(folder, kOpenDefault, progress), kOk);
    EXPECT_EQ(run->Sheet(), saved);
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/Scene 12.csv")));
}

TEST_F(SceneTest, ClearingTheTimingKeepsTheMediaAndCanBeUndone) {
    auto run = Start();
    run->GrabImage(QStringLiteral("A 0001"));
    run->GrabImage(QStringLiteral("A 0002"));
    const QString before = run->Sheet();
    run->storage.ClearSceneTiming();
    EXPECT_TRUE(run->sheet.Levels().empty());
    EXPECT_EQ(run->Images(), (QStringList{"A 0001", "A 0002"}));
    EXPECT_EQ(run->title.Mark(), QStringLiteral("*"));
    ASSERT_EQ(run->undo.UndoSheet(run->sheet, run->media), kOk);
    EXPECT_EQ(run->Sheet(), before);
}

}  // namespace
}  // namespace kolvane
