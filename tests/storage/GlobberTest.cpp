#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "storage/Globber.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"

// Readable failure messages for names and paths.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

class CollectingGlobber : public CGlobber {
  public:
    using CGlobber::CGlobber;
    QStringList Collect(const QString& pattern) {
        matches.clear();
        Glob(pattern);
        return matches;
    }
    QStringList matches;

  protected:
    void OnMatch(const QString& path) override { matches << path; }
};

TEST(WildcardMatch, MatchesWholeNames) {
    const struct {
        const char* pattern;
        const char* name;
        bool caseSensitive;
        bool match;
    } cases[] = {
        {"*", "", false, true},
        {"*", "anything.avi", false, true},
        {"*.avi", "Movie.AVI", false, true},
        {"*.avi", "Movie.AVI", true, false},
        {"*.avi", "movie.avi.txt", false, false},
        {"?", "", false, false},
        {"?", "a", false, true},
        {"a?c", "abc", false, true},
        {"a?c", "ac", false, false},
        {"a*b*c", "a-b-b-c", false, true},
        {"a*b*c", "a-b-b-d", false, false},
        {"a**", "a", false, true},
        {"*x", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxy", false, false},
        {"scene*", "Scene 12", false, true},
        {"", "", false, true},
        {"", "a", false, false},
        {"abc", "ab", false, false},
        {"Über*", "übermut", false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            WildcardMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name), c.caseSensitive),
            c.match)
            << c.pattern << " / " << c.name;
    }
}

// A folder of movies with subfolders:
//   root/b.avi  root/A.avi  root/c.mov  root/x/ (folder)  root/sub one/e.avi
//   root/sub one/deeper/f.avi  root/Zed/ (folder)  root/zz.avi/ (a folder named like a file)
class Globbing : public testing::Test {
  protected:
    void SetUp() override {
        root = test::MakeTempDir(QStringLiteral("glob"));
        for (const char* file :
             {"b.avi", "A.avi", "c.mov", "sub one/e.avi", "sub one/deeper/f.avi"})
            Touch(QLatin1String(file));
        for (const char* folder : {"x", "Zed", "zz.avi"})
            QDir(root).mkpath(QLatin1String(folder));
    }
    void Touch(const QString& relative) {
        QDir(root).mkpath(QFileInfo(root + QLatin1Char('/') + relative).path());
        test::WriteBytes(root + QLatin1Char('/') + relative, "x");
    }
    QString root;
    CollectingGlobber globber;
};

TEST_F(Globbing, FolderPatternsReportFoldersAndFilePatternsFiles) {
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/*/")),
              (QStringList{root + "/Zed/", root + "/sub one/", root + "/x/", root + "/zz.avi/"}));
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/*.avi")),
              (QStringList{root + "/A.avi", root + "/b.avi"}));
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/?.MOV")), QStringList{root + "/c.mov"});
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/*/*.avi")),
              QStringList{root + "/sub one/e.avi"});
    // What a wildcard leads to must exist: not every folder is reported.
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/*/e.avi")),
              QStringList{root + "/sub one/e.avi"});
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/*/deeper/")),
              QStringList{root + "/sub one/deeper/"});
    // Backslashes separate too.
    EXPECT_EQ(globber.Collect(QString(root).replace(u'/', u'\\') + QStringLiteral("\\s*\\*.avi")),
              QStringList{root + "/sub one/e.avi"});
}

TEST_F(Globbing, PatternsWithoutWildcardsAreReportedAsTheyStand) {
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/missing.avi")),
              QStringList{root + "/missing.avi"});
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/x/")), QStringList{root + "/x/"});
    // Three dots are two steps up.
    EXPECT_EQ(globber.Collect(QStringLiteral("a/b/.../c")), QStringList{"a/b/../../c"});
}

TEST_F(Globbing, RelativePatternsListTheCurrentFolder) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root));
    const QStringList found = globber.Collect(QStringLiteral("*.avi"));
    const QStringList parent = globber.Collect(QStringLiteral("sub one/deeper/.../*.avi"));
    QDir::setCurrent(before);
    EXPECT_EQ(found, (QStringList{"A.avi", "b.avi"}));
    EXPECT_EQ(parent, (QStringList{"sub one/deeper/../../A.avi", "sub one/deeper/../../b.avi"}));
}

TEST_F(Globbing, DoubleStarGoesAnyNumberOfLevelsDown) {
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/**/*.avi")),
              (QStringList{root + "/A.avi", root + "/b.avi", root + "/sub one/e.avi",
                           root + "/sub one/deeper/f.avi"}));
    EXPECT_EQ(globber.Collect(root + QStringLiteral("/**/")),
              (QStringList{root + "/", root + "/Zed/", root + "/sub one/",
                           root + "/sub one/deeper/", root + "/x/", root + "/zz.avi/"}));
}

TEST_F(Globbing, DoubleStarDoesNotFollowALinkRoundInCircles) {
    ASSERT_TRUE(QFile::link(root, root + QStringLiteral("/sub one/deeper/loop")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/sub one"), root + QStringLiteral("/x/alias")));
    const QStringList found = globber.Collect(root + QStringLiteral("/**/f.avi"));
    EXPECT_EQ(found, QStringList{root + "/sub one/deeper/f.avi"});
}

TEST_F(Globbing, ExcludedNamesAreNeitherReportedNorEntered) {
    CollectingGlobber excluding(
        QStringList{QStringLiteral("SUB*/"), QStringLiteral("b.*"), QStringLiteral("./")});
    EXPECT_EQ(excluding.Excluded().size(), 4);  // "./" once, whatever the case
    EXPECT_EQ(excluding.Collect(root + QStringLiteral("/*.avi")), QStringList{root + "/A.avi"});
    EXPECT_EQ(excluding.Collect(root + QStringLiteral("/**/*.avi")), QStringList{root + "/A.avi"});
}

}  // namespace
}  // namespace kolvane
