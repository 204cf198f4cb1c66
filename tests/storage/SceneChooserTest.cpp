#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include "settings/DialogRecord.h"
#include "settings/Settings.h"
#include "storage/FolderChoice.h"
#include "storage/SceneChooser.h"
#include "tests/support/TestEnvironment.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

void MakeFolder(const QString& path, std::time_t changed = 0) {
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
    if (changed == 0) return;
    const timespec times[2] = {{changed, 0}, {changed, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

void MakeFile(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

TEST(FolderChoice, TypedFolderTextsLeadFromTheRememberedFolder) {
    const QString root = test::MakeTempDir(QStringLiteral("choice"));
    MakeFolder(root + "/base/sub");
    MakeFolder(root + "/dot");
    const QString base = root + "/base";
    const QString dot = root + "/dot";
    const struct {
        QString text;
        QString remembered;
        QString result;
    } cases[] = {
        {"", base, base},                         // nothing typed: the base stays
        {"sub", base, base + "/sub"},             // relative: below the base
        {"..", base, root},                       // the parent
        {"..", "/", ""},                          // above the root: nothing
        {"..", "", ""},                           // ...and stays there
        {".", base, dot},                         // the default place
        {".", "", dot},                           // ...also from nothing
        {"missing", base, base},                  // no folder: back to the base
        {root + "/dot", base, dot},               // absolute
        {root + "/base/../dot/", base, dot},      // cleaned
        {"sub", "", ""},                          // relative to nothing is nothing
        {QString("sub") + QChar(0), base, base},  // a NUL is no path
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveFolderText(c.text, c.remembered, dot), c.result)
            << c.text.toStdString() << " from " << c.remembered.toStdString();
    }
    EXPECT_EQ(FolderChoices(QString()), QStringList{"/"}) << "no folder: the roots";
    MakeFolder(base + "/.hidden");
    MakeFolder(base + "/a");
    MakeFile(base + "/file.png");
    EXPECT_EQ(FolderChoices(base), (QStringList{".", "..", "a", "sub"}));
}

TEST(FolderChoice, NamesThatLeadOutOfTheBaseAreRefused) {
    for (const char* name : {"a/b", "..", ".", "...", "a\\b", "take*", "take?", ""})
        EXPECT_FALSE(IsValidEntryName(QString::fromUtf8(name))) << name;
    EXPECT_FALSE(IsValidEntryName(QStringLiteral("a") + QChar(0) + QStringLiteral("b")));
    for (const char* name : {"take 2", "v1.5", ".take", "shot..", "ça"})
        EXPECT_TRUE(IsValidEntryName(QString::fromUtf8(name))) << name;
}

class SceneChooserTest : public ::testing::Test {
  protected:
    SceneChooserTest() : documents(test::MakeTempDir(QStringLiteral("documents"))) {}

    // Opens in `kind` and changes level 1 as the dialog does once shown.
    CSceneChooser& Open(int kind, bool untitled = false) {
        chooser.Open(kind, record, settings, untitled);
        chooser.PresetChanged(settings);
        chooser.FormatChanged();
        chooser.LevelChanged(1);
        return chooser;
    }
    void Type(int level, const QString& text) {
        chooser.SetLevel(level, text);
        chooser.LevelChanged(level);
    }
    QStringList Levels() const {
        QStringList levels;
        for (int level = 2; level <= CSceneChooser::kLevels; ++level)
            levels << chooser.Level(level);
        return levels;
    }
    QString Scenes() const { return documents + "/My Scenes"; }

    QString documents;
    CSettings settings{CSettings::Unstored{}};
    CDialogRecord record{QStringLiteral("LastScene")};
    CSceneChooser chooser{documents};
};

TEST_F(SceneChooserTest, AFirstRunMakesMyScenesTheBaseWithEmptyLevels) {
    ASSERT_FALSE(QFileInfo::exists(Scenes()));
    Open(CSceneChooser::kSaveScene);
    EXPECT_TRUE(QFileInfo(Scenes()).isDir());
    EXPECT_EQ(chooser.Level(1), Scenes());
    EXPECT_EQ(Levels(), (QStringList{"", "", "", ""}));
    EXPECT_EQ(chooser.LevelList(1), (QStringList{".", ".."}));
    EXPECT_EQ(chooser.LevelList(2), QStringList{""});
    EXPECT_FALSE(chooser.OkEnabled());
}

TEST_F(SceneChooserTest, DotDotAtTheRootEmptiesTheBaseAndOffersTheRoots) {
    Open(CSceneChooser::kOpenScene);
    Type(1, "/");
    EXPECT_EQ(chooser.Level(1), "/");
    Type(1, "..");
    EXPECT_EQ(chooser.Level(1), "");
    EXPECT_EQ(chooser.LevelList(1), QStringList{"/"});
    EXPECT_FALSE(chooser.OkEnabled());
    Type(1, ".");
    EXPECT_EQ(chooser.Level(1), Scenes());
}

TEST_F(SceneChooserTest, ADeepNameCompletesTheLevelsAboveFromTheNewestFolder) {
    Open(CSceneChooser::kOpenScene);
    const QString base = Scenes();
    MakeFolder(base + "/Beta/s2/sc2/v1");
    MakeFile(base + "/Beta/s2/sc2/v1/walk 0001.png");
    MakeFolder(base + "/Beta/s2/sc2/v2");
    MakeFolder(base + "/Alpha/s1/sc1/v1", 1'600'000'000);
    MakeFolder(base + "/Beta/s2/sc2/v1", 1'700'000'000);
    MakeFolder(base + "/Gamma/s3/sc3/v1", 1'700'000'000);  // as new as Beta's: Beta comes first
    MakeFolder(base + "/Beta/s2/sc2/v2", 1'800'000'000);   // newer, but another name

    Type(5, "v1");
    EXPECT_EQ(Levels(), (QStringList{"Beta", "s2", "sc2", "v1"}));
    EXPECT_EQ(chooser.SceneFolder(), base + "/Beta/s2/sc2/v1/");
    EXPECT_TRUE(chooser.OkEnabled());
    EXPECT_EQ(chooser.LevelList(2), (QStringList{"", "Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(chooser.LevelList(5), (QStringList{"", "v1", "v2"}));

    // With the folder found, a name that leads nowhere changes nothing else.
    Type(5, "v9");
    EXPECT_EQ(Levels(), (QStringList{"Beta", "s2", "sc2", "v9"}));
    EXPECT_FALSE(chooser.OkEnabled());
    // Now the button is off: a level that leads nowhere empties the levels
    // between, and those after it.
    Type(3, "nowhere");
    EXPECT_EQ(Levels(), (QStringList{"", "nowhere", "", ""}));
    // Only the levels given narrow the lists: every title's sequences.
    Type(3, "");
    EXPECT_EQ(chooser.LevelList(3), (QStringList{"", "s1", "s2", "s3"}));
}

TEST_F(SceneChooserTest, EachKindHasItsOkRule) {
    const QString scene = Scenes() + "/t/s/c/v";
    MakeFolder(scene);
    MakeFile(scene + "/walk.mp3");
    MakeFile(scene + "/._walk.png");  // a resource fork is no image

    Open(CSceneChooser::kOpenScene);
    Type(5, "v");
    EXPECT_EQ(chooser.SceneFolder(), scene + "/");
    EXPECT_FALSE(chooser.OkEnabled()) << ".mp3 is not among the default files";
    MakeFile(scene + "/walk 0001.PNG");
    chooser.EvaluateOk();
    EXPECT_TRUE(chooser.OkEnabled());
    chooser.SetFormat("JPG images");
    chooser.FormatChanged();
    EXPECT_EQ(chooser.Extensions(), QStringList{".jpg"});
    EXPECT_FALSE(chooser.OkEnabled());

    CSceneChooser timing(documents);
    timing.Open(CSceneChooser::kOpenSceneTiming, record, settings, false);
    timing.FormatChanged();
    timing.LevelChanged(1);
    timing.SetLevel(5, "v");
    timing.LevelChanged(5);
    EXPECT_EQ(timing.SceneFolder(), scene + "/");
    EXPECT_FALSE(timing.OkEnabled()) << "no timing file";
    MakeFile(scene + "/v.csv");
    timing.EvaluateOk();
    EXPECT_TRUE(timing.OkEnabled());

    CSceneChooser save(documents);
    save.Open(CSceneChooser::kSaveScene, record, settings, false);
    save.LevelChanged(1);
    for (int level = 2; level <= 5; ++level) {
        EXPECT_FALSE(save.OkEnabled()) << level;
        save.SetLevel(level, "new");
        save.LevelChanged(level);
        EXPECT_EQ(save.Level(level), "new") << "a save keeps what is typed";
    }
    EXPECT_TRUE(save.OkEnabled());
    EXPECT_EQ(save.SceneFolder(), Scenes() + "/new/new/new/new/");
}

TEST_F(SceneChooserTest, FormatsAndPresets) {
    EXPECT_TRUE(CSceneChooser::Formats(CSceneChooser::kOpenScene).contains("TGA images"));
    EXPECT_FALSE(CSceneChooser::Formats(CSceneChooser::kSaveScene).contains("TGA images"));
    EXPECT_FALSE(CSceneChooser::Formats(CSceneChooser::kOpenSceneTiming).contains("TGA images"));
    EXPECT_EQ(CSceneChooser::Formats(CSceneChooser::kSaveScene).size(), 6);

    Open(CSceneChooser::kSaveScene);
    EXPECT_EQ(chooser.Format(), "default");
    EXPECT_EQ(chooser.Extensions(), QStringList{""}) << "each image keeps its format";
    chooser.SetFormat("PNG images");
    chooser.FormatChanged();
    EXPECT_EQ(chooser.Extensions(), QStringList{".png"});

    EXPECT_EQ(chooser.Preset(), "feature film");
    EXPECT_EQ(chooser.Label(1), "base");
    EXPECT_EQ(chooser.Label(3), "sequence");
    chooser.SetPreset("school");
    chooser.PresetChanged(settings);
    EXPECT_EQ(settings.Get(ProjectType), 2);
    QStringList labels;
    for (int level = 2; level <= 5; ++level)
        labels << chooser.Label(level);
    EXPECT_EQ(labels, (QStringList{"course", "student", "exercise", "version"}));
    chooser.SetPreset("no such type");
    chooser.PresetChanged(settings);
    EXPECT_EQ(settings.Get(ProjectType), 2) << "an unknown preset changes nothing";
    EXPECT_EQ(chooser.Label(3), "student");
}

TEST_F(SceneChooserTest, TheRecordKeepsTheFieldsOfOpenAndSave) {
    MakeFolder(Scenes() + "/t/s/c/v");
    Open(CSceneChooser::kSaveScene);
    chooser.SetPreset("workshop");
    chooser.PresetChanged(settings);
    chooser.SetFormat("BMP images");
    for (int level = 2; level <= 5; ++level)
        chooser.SetLevel(level, QStringList{"", "t", "s", "c", "v, take 2"}[level - 1]);
    chooser.Store(record);

    QSettings store(QSettings::IniFormat, QSettings::UserScope, "Brevanta", "Kolvane");
    EXPECT_EQ(store.value("LastScene/Preset").toString(), "workshop");
    EXPECT_EQ(store.value("LastScene/Level5").toString(), "v, take 2");

    CSettings other{CSettings::Unstored{}};
    CSceneChooser again(documents);
    again.Open(CSceneChooser::kSaveScene, record, other, false);
    EXPECT_EQ(again.Preset(), "workshop");
    EXPECT_EQ(again.Format(), "BMP images");
    EXPECT_EQ(again.Level(1), Scenes());
    EXPECT_EQ(again.Level(5), "v, take 2");

    CSceneChooser opening(documents);
    opening.Open(CSceneChooser::kOpenScene, record, other, false);
    EXPECT_EQ(opening.Format(), "default") << "only a save keeps its format";
    EXPECT_EQ(opening.Level(4), "c");

    CSceneChooser untitled(documents);
    untitled.Open(CSceneChooser::kSaveScene, record, other, true);
    EXPECT_EQ(untitled.Level(1), Scenes());
    EXPECT_EQ(untitled.Level(2), "") << "a new scene must be named";

    // Open Scene keeps no preset; Open Scene Timing keeps nothing.
    store.remove("LastScene");
    store.sync();
    opening.SetLevel(5, "opened");
    opening.Store(record);
    store.sync();
    EXPECT_FALSE(store.contains("LastScene/Preset"));
    EXPECT_EQ(store.value("LastScene/Level5").toString(), "opened");
    CSceneChooser timing(documents);
    timing.Open(CSceneChooser::kOpenSceneTiming, record, other, false);
    timing.SetLevel(5, "timing");
    timing.Store(record);
    store.sync();
    EXPECT_EQ(store.value("LastScene/Level5").toString(), "opened");

    // A value too long for the record leaves the field as it was.
    store.setValue("LastScene/Level4", QString(300, u'x'));
    store.sync();
    CSceneChooser longer(documents);
    longer.SetLevel(4, "kept");
    longer.Open(CSceneChooser::kOpenScene, record, other, false);
    EXPECT_EQ(longer.Level(4), "kept");
}

TEST_F(SceneChooserTest, LevelsThatLeadOutOfTheBaseAreRefusedAndNotScanned) {
    MakeFolder(documents + "/outside/v");
    Open(CSceneChooser::kSaveScene);
    for (const char* name : {"..", "a/b", "*"}) {
        chooser.SetLevel(2, QString::fromUtf8(name));
        chooser.LevelChanged(2);
        EXPECT_EQ(chooser.RefusedLevel(), 2) << name;
        EXPECT_EQ(chooser.LevelList(3), QStringList{""}) << "nothing listed from " << name;
    }
    chooser.SetLevel(2, "fine");
    EXPECT_EQ(chooser.RefusedLevel(), std::nullopt);
}

}  // namespace
}  // namespace kolvane
