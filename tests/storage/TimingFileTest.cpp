#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <ostream>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "storage/TimingFile.h"
#include "tests/support/TestEnvironment.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

class TimingFileTest : public ::testing::Test {
  protected:
    void SetUp() override { dir = test::MakeTempDir("timing"); }

    CNode* Image(const QString& name) {
        return media.AddMediaFile(kTypeImage, QStringLiteral("%1/%2.png").arg(dir, name));
    }
    CNode* Sound(const QString& name, float lengthInFrames) {
        CNode* item = media.AddMediaFile(kTypeSound, QStringLiteral("%1/%2.wav").arg(dir, name));
        item->soundInfo->lengthInFrames = lengthInFrames;
        return item;
    }

    static QStringList ColumnNames(const CXshtList& sheet) {
        QStringList names;
        for (const CNode* column : sheet.Levels())
            names << column->name;
        return names;
    }
    // Cell names of a column, blanks as "-".
    static QStringList Cells(const CXshtList& sheet, int column) {
        QStringList names;
        for (const CNode* cell : *sheet.Levels().at(column)->children) {
            names << (cell->HasAny(kTypeBlank) ? QStringLiteral("-") : cell->name);
        }
        return names;
    }

    // Reads `text` as a timing file in `dir` onto `into`.
    Result ReadText(const QByteArray& text, CXshtList& into) {
        const QString file = dir + "/read.csv";
        WriteAll(file, text);
        return ReadTimingFile(into, media, file);
    }

    QString dir;
    CSettings settings;
    CMdiaList media;
    CXshtList sheet{settings};
};

TEST_F(TimingFileTest, WritesTheSceneTimingFileByteForByte) {
    CNode* walk1 = Image("walk 0001");
    CNode* walk2 = Image("walk 0002");
    sheet.PlaceItem(walk1);
    sheet.PlaceItem(walk1);
    sheet.PlaceItem(walk2);
    sheet.Normalise();

    ASSERT_EQ(WriteTiming(sheet, dir + "/scene"), kOk);
    EXPECT_EQ(ReadAll(dir + "/scene.csv"),
              ",\"walk\",\"\"\r\n"
              "1,\"walk 0001\", \"\"\r\n"
              "2,\"walk 0001\", \"\"\r\n"
              "3,\"walk 0002\", \"\"\r\n"
              "4,\"\", \"\"\r\n");

    settings.Set(FrameStart, 0);
    EXPECT_TRUE(FormatTiming(sheet).contains("\r\n0,\"walk 0001\""));
}

TEST_F(TimingFileTest, RoundTripOfAnUnchangedMediaListReproducesTheSheet) {
    CNode* a1 = Image("A 0001");
    CNode* a2 = Image("A 0002");
    CNode* walk = Image("walk(1) 0003");
    CNode* boom = Sound("boom", 3.0f);
    sheet.PlaceImage(a1);
    sheet.PlaceImage(a2);
    sheet.PlaceImage(walk);
    sheet.PlaceSound(boom);
    sheet.Levels().at(2)->children->at(1)->name = "boom:10002";  // past four digits
    sheet.Normalise();
    ASSERT_EQ(ColumnNames(sheet), (QStringList{"A", "walk", "boom", ""}));

    ASSERT_EQ(WriteTiming(sheet, dir), kOk);
    CXshtList read(settings);
    ASSERT_EQ(ReadTiming(read, media, dir), kOk);

    EXPECT_EQ(FormatTiming(read), FormatTiming(sheet));
    ASSERT_EQ(read.Levels().size(), sheet.Levels().size());
    EXPECT_EQ(read.SheetLength(), sheet.SheetLength());
    for (int c = 0; c < sheet.Levels().size(); ++c) {
        const CNodeList& want = *sheet.Levels().at(c)->children;
        const CNodeList& got = *read.Levels().at(c)->children;
        for (int row = 0; row < want.size(); ++row) {
            EXPECT_EQ(got.at(row)->item, want.at(row)->item) << c << "," << row;
            EXPECT_EQ(got.at(row)->type, want.at(row)->type) << c << "," << row;
        }
    }
    EXPECT_EQ(read.Levels().back()->type, kTypeBlankColumn);
}

TEST_F(TimingFileTest, AnUnnamedColumnKeepsItsPlace) {
    sheet.PlaceItem(Image("A 0001"));
    sheet.PlaceItem(Image("0001"));  // no base name: its column has none
    sheet.PlaceSound(Sound("boom", 2.0f));
    sheet.Normalise();
    sheet.SetLevelRank(sheet.Levels().at(2), "2");
    ASSERT_EQ(ColumnNames(sheet), (QStringList{"A", "", "boom", ""}));

    CXshtList read(settings);
    ASSERT_EQ(ReadText(FormatTiming(sheet), read), kOk);
    EXPECT_EQ(FormatTiming(read), FormatTiming(sheet));
}

TEST_F(TimingFileTest, NamesWithCommasAndQuotesSurviveAWriteAndARead) {
    CNode* comma = Image("a,b 0001");
    CNode* quote = Image("say \"hi\" 0001");
    sheet.PlaceItem(comma);
    sheet.PlaceItem(quote);
    sheet.Normalise();
    sheet.Levels().at(0)->name = "tricky, \"one\"";
    sheet.Levels().at(1)->name = "TVPaint";  // no TVPaint sheet for that

    const QByteArray text = FormatTiming(sheet);
    EXPECT_TRUE(text.contains("\"say \"\"hi\"\" 0001\"")) << text.constData();
    CXshtList read(settings);
    ASSERT_EQ(ReadText(text, read), kOk);
    EXPECT_EQ(ColumnNames(read), ColumnNames(sheet));
    EXPECT_EQ(Cells(read, 0), Cells(sheet, 0));
    EXPECT_EQ(Cells(read, 1), Cells(sheet, 1));
    EXPECT_EQ(read.Levels().at(1)->children->at(0)->item, quote);
}

TEST_F(TimingFileTest, OlderFilesWithUnescapedQuotesStillRead) {
    CNode* a1 = Image("A 0001");
    CXshtList read(settings);
    // Quotes inside names were written as they are; they are dropped.
    ASSERT_EQ(ReadText(",\"A\",\"\"\r\n1,\"A 0\"001\", \"\"\r\n1,A 0001,\r\n", read), kOk);
    EXPECT_EQ(ColumnNames(read), (QStringList{"A", ""}));
    EXPECT_EQ(Cells(read, 0), (QStringList{"A 0001", "A 0001", "-"}));
    EXPECT_EQ(read.Levels().at(0)->children->at(0)->item, a1);
}

TEST_F(TimingFileTest, TimingFilePathFollowsTheFolderRule) {
    const QString scene = dir + "/Scene 12";
    ASSERT_TRUE(QDir().mkpath(scene));
    const struct {
        QString path;
        QString file;
    } cases[] = {
        {scene, scene + "/Scene 12.csv"},         {scene + "/", scene + "/Scene 12.csv"},
        {scene + "//", scene + "/Scene 12.csv"},  {dir + "/undo/7", dir + "/undo/7.csv"},
        {dir + "/backup~~", dir + "/backup.csv"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimingFilePath(c.path), c.file) << c.path.toStdString();

    sheet.PlaceItem(Image("A 0001"));
    sheet.Normalise();
    ASSERT_EQ(WriteTiming(sheet, scene + "/"), kOk);
    CXshtList read(settings);
    EXPECT_EQ(ReadTiming(read, media, scene + "/"), kOk);
    EXPECT_EQ(ColumnNames(read), (QStringList{"A", ""}));
}

TEST_F(TimingFileTest, WriteReplacesTheWholeFileAndReportsFailure) {
    sheet.PlaceImage(Image("A 0001"));
    sheet.PlaceImage(Image("A 0002"));
    sheet.Normalise();
    ASSERT_EQ(WriteTiming(sheet, dir + "/t"), kOk);

    CXshtList shorter(settings);
    shorter.PlaceItem(Image("B 0001"));
    shorter.Normalise();
    ASSERT_EQ(WriteTiming(shorter, dir + "/t"), kOk);
    EXPECT_EQ(ReadAll(dir + "/t.csv"), FormatTiming(shorter));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), (QStringList{"t.csv"})) << "no temporary file left";

    EXPECT_EQ(WriteTiming(sheet, dir + "/missing/folder/t"), msg::kTimingNotSaved);
    EXPECT_EQ(WriteTiming(sheet, QString()), msg::kTimingNotSaved);
}

TEST_F(TimingFileTest, MissingEmptyAndHeaderOnlyFiles) {
    sheet.PlaceItem(Image("A 0001"));
    sheet.Normalise();
    const QByteArray before = FormatTiming(sheet);

    EXPECT_EQ(ReadTiming(sheet, media, dir + "/nothing"), kOk);
    EXPECT_EQ(ReadTiming(sheet, media, dir), kOk);  // a folder without "*.csv"
    EXPECT_EQ(FormatTiming(sheet), before);

    WriteAll(dir + "/empty.csv", QByteArray());
    EXPECT_EQ(ReadTiming(sheet, media, dir + "/empty"), msg::kTimingEmpty);
    EXPECT_EQ(FormatTiming(sheet), before);

    CXshtList read(settings);
    ASSERT_EQ(ReadText(",\"walk\",\"run\",\"\"\r\n", read), kOk);
    EXPECT_TRUE(read.Levels().empty());
}

// A timing file that never ends (a link to /dev/zero) or never opens (a FIFO
// without a writer) is refused at once; the sheet stays as it was.
TEST_F(TimingFileTest, OnlyRegularFilesAreRead) {
    sheet.PlaceItem(Image("A 0001"));
    sheet.Normalise();
    const QByteArray before = FormatTiming(sheet);
    const QString links = test::MakeTempDir("links");
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(links + "/zero.csv").constData()), 0);
    const QString fifos = test::MakeTempDir("fifos");
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(fifos + "/" + QFileInfo(fifos).fileName() + ".csv").constData(),
                 0600),
        0);
    const struct {
        const char* what;
        QString path;
    } cases[] = {
        {"a link to /dev/zero", links + "/zero"},
        {"the only .csv of a folder, a link to /dev/zero", links},
        {"the folder's own timing file, a FIFO", fifos},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadTiming(sheet, media, c.path), msg::kNotARegularFile);
        EXPECT_EQ(FormatTiming(sheet), before);
    }
}

TEST_F(TimingFileTest, CellTextsFindTheirItems) {
    CNode* png = Image("A 0001");
    CNode* dotted = Image("shot.1 0001");
    CNode* renamed = Image("walk 0001");
    renamed->name = "hero 0001";  // renamed in the list, found by its file
    CNode* boom = Sound("boom", 3.0f);

    CXshtList read(settings);
    ASSERT_EQ(
        ReadText(",\"a\",\"b\",\"c\",\"d\",\"\"\n"
                 "1,\"A 0001.png\", \"shot.1 0001\", \"walk 0001\", \"boom:   2\", \"\"\n"
                 "2,\"a 0001.PNG\", \"shot.1 0001.png\", \"none 0001\", \"BOOM:10003\", \"\"\n",
                 read),
        kOk);
    ASSERT_EQ(ColumnNames(read), (QStringList{"a", "b", "c", "d", ""}));
    const auto item = [&](int column, int row) {
        return read.Levels().at(column)->children->at(row)->item;
    };
    EXPECT_EQ(item(0, 0), png);
    EXPECT_EQ(item(0, 1), png);
    EXPECT_EQ(item(1, 0), dotted);
    EXPECT_EQ(item(1, 1), dotted);
    EXPECT_EQ(item(2, 0), renamed);
    EXPECT_EQ(item(2, 1), nullptr);
    EXPECT_EQ(item(3, 0), boom);
    EXPECT_EQ(item(3, 1), boom);
    EXPECT_EQ(Cells(read, 0), (QStringList{"A 0001", "A 0001", "-"}));
    // Sound cells keep the text, whose number is the frame within the sound.
    EXPECT_EQ(Cells(read, 3), (QStringList{"boom:   2", "BOOM:10003", "-"}));
}

TEST_F(TimingFileTest, ShortLinesKeepLaterCellsInTheirRows) {
    Image("A 0001");
    Image("B 0001");
    CXshtList read(settings);
    ASSERT_EQ(ReadText(",\"A\",\"B\",\"\"\n1,\"A 0001\", \"B 0001\"\n2,\"A 0001\"\n\n"
                       "3,\"A 0001\", \"B 0001\", \"\"\n",
                       read),
              kOk);
    EXPECT_EQ(Cells(read, 0), (QStringList{"A 0001", "A 0001", "A 0001", "-"}));
    EXPECT_EQ(Cells(read, 1), (QStringList{"B 0001", "-", "B 0001", "-"}));
}

TEST_F(TimingFileTest, TvPaintSheetColumnsComeReversed) {
    CNode* a = Image("a 0001");
    CNode* b = Image("b 0001");
    CNode* c = Image("c 0002");
    CXshtList read(settings);
    ASSERT_EQ(ReadText("UTF-8, TVPaint, \"CSV 1.0\"\r\n"
                       "Project Name, Width, Height, Frame Count, Layer Count\r\n"
                       "p, 640, 480, 3, 3\r\n"
                       "\r\n"
                       "#Layers, A, B, C\r\n"
                       "#Density, 1, 1, 1\r\n#Blending, Color, Color, Color\r\n"
                       "#Visible, 1, 1, 1\r\n#Folder, 0, 0, 0\r\n"
                       "#00001, a 0001.png, b 0001.png, c 0002.png\r\n"
                       "#00002, a 0001.png, , c 0002.png\r\n",
                       read),
              kOk);
    EXPECT_EQ(ColumnNames(read), (QStringList{"C", "B", "A", ""}));
    EXPECT_EQ(read.Levels().at(0)->children->at(1)->item, c);
    EXPECT_EQ(read.Levels().at(1)->children->at(0)->item, b);
    EXPECT_EQ(read.Levels().at(2)->children->at(1)->item, a);
    EXPECT_EQ(Cells(read, 1), (QStringList{"b 0001", "-", "-"}));
}

TEST_F(TimingFileTest, MalformedLinesNeitherCrashNorHangAndKeepTheRest) {
    Image("A 0001");
    Image("A 0002");
    QByteArray manyFields = "2";
    for (int i = 0; i < 100000; ++i)
        manyFields += ",\"A 0002\"";
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    const QByteArray longLine = "2,\"" + QByteArray(10 << 20, 'x') + "\"";

    const struct {
        const char* what;
        QByteArray line;
    } cases[] = {{"too many fields", manyFields},
                 {"binary garbage", garbage},
                 {"a 10 MB line", longLine},
                 {"an unclosed quote", "2,\"A 0002, \"A 0002"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CXshtList read(settings);
        const Result result = ReadText(
            ",\"A\",\"\"\r\n1,\"A 0001\", \"\"\r\n" + c.line + "\r\n3,\"A 0001\"\r\n", read);
        EXPECT_EQ(result, kOk);
        ASSERT_FALSE(read.Levels().empty());
        EXPECT_LE(read.Levels().size(), 1001);
        EXPECT_EQ(read.Levels().at(0)->name, "A");
        const QStringList cells = Cells(read, 0);
        ASSERT_GE(cells.size(), 3);
        EXPECT_EQ(cells.first(), "A 0001");
        EXPECT_EQ(cells.at(cells.size() - 2), "A 0001") << "the line after it is still read";
    }
}

TEST_F(TimingFileTest, ReadsLineFeedsAndLatin1) {
    CNode* accented = Image("\u00e9t\u00e9 0001");
    CXshtList read(settings);
    ASSERT_EQ(ReadText(",\"\xe9t\xe9\",\"\"\n1,\"\xe9t\xe9 0001\", \"\"\n", read), kOk);
    EXPECT_EQ(ColumnNames(read), (QStringList{"\u00e9t\u00e9", ""}));
    EXPECT_EQ(read.Levels().at(0)->children->at(0)->item, accented);
}

class KeyframeTest : public TimingFileTest {
  protected:
    // A column of the given images ("-" for a blank cell).
    const CNode& ColumnOf(const QStringList& images) {
        CNode* column = sheet.GetColumn(0, "walk");
        for (const QString& name : images) {
            column->children->append(CNode::NewCell(name == "-" ? nullptr : Image(name)));
        }
        return *column;
    }
};

TEST_F(KeyframeTest, WritesTheKeyframeFileByteForByte) {
    ASSERT_TRUE(QImage(32, 24, QImage::Format_RGB32).save(dir + "/walk 0001.png"));
    ColumnOf({"walk 0001", "walk 0001", "walk 0003"});
    sheet.Normalise();
    ASSERT_EQ(settings.Get(FrameRate), 25);
    ASSERT_EQ(settings.Get(FrameStart), 1);

    const QString out = test::MakeTempDir("keys");
    ASSERT_EQ(WriteKeyframes(sheet, out + "/"), kOk);
    EXPECT_EQ(QDir(out).entryList(QDir::Files), (QStringList{"walk timing.txt"}));
    EXPECT_EQ(ReadAll(out + "/walk timing.txt"),
              "Adobe After Effects 4.0 Keyframe Data\r\n\r\n"
              "\tUnits Per Second\t25\r\n"
              "\tSource Width\t32\r\n"
              "\tSource Height\t24\r\n"
              "\tSource Pixel Aspect Ratio\t1\r\n"
              "\tComp Pixel Aspect Ratio\t1\r\n\r\n"
              "Time Remap\r\n\tFrame\tseconds\r\n"
              "\t0\t0\r\n"
              "\t1\t0\r\n"
              "\t2\t0.08\r\n"
              "\r\n\r\nEnd of Keyframe Data\r\n");
}

TEST_F(KeyframeTest, TimeRemapLines) {
    const struct {
        const char* what;
        QStringList cells;
        int frameStart;
        int frameRate;
        QByteArray lines;
    } cases[] = {
        {"a blank leaves a gap", {"A 0001", "-", "A 0002"}, 1, 25, "\t0\t0\r\n\t2\t0.04\r\n"},
        {"frame start 0", {"A 0001", "A 0002"}, 0, 25, "\t-1\t0\r\n\t0\t0.04\r\n"},
        {"24 fps", {"A 0013"}, 1, 24, "\t0\t0.5\r\n"},
        {"no number is at 0", {"title", "B 0000"}, 1, 25, "\t0\t0\r\n\t1\t0\r\n"},
        {"five digits", {"long 12501"}, 1, 25, "\t0\t500\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CXshtList list(settings);
        CNode* column = list.GetColumn(0, "x");
        for (const QString& name : c.cells) {
            column->children->append(CNode::NewCell(name == "-" ? nullptr : Image(name)));
        }
        const QByteArray text = FormatKeyframes(*column, c.frameStart, c.frameRate);
        const QByteArray head = "Time Remap\r\n\tFrame\tseconds\r\n";
        const qsizetype start = text.indexOf(head) + head.size();
        EXPECT_EQ(text.mid(start, text.indexOf("\r\n\r\nEnd") - start), c.lines);
    }
}

TEST_F(KeyframeTest, TimesAreWrittenTheSameInEveryLocale) {
    const char* locales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"};
    const char* used = nullptr;
    for (const char* name : locales) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            used = name;
            break;
        }
    }
    if (used == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
    const QByteArray text = FormatKeyframes(ColumnOf({"A 0003"}), 1, 25);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_TRUE(text.contains("\t0\t0.08\r\n")) << used;
}

TEST_F(KeyframeTest, ColumnsWithoutNameOrImageAndUnsafeNames) {
    ColumnOf({"A 0001"});
    CNode* sounds = sheet.GetColumn(1, "../../escape");
    sounds->children->append(CNode::NewCell(Sound("boom", 2)));
    sounds->children->back()->name = "boom:   2";
    sheet.GetColumn(2, QString())->children->append(CNode::NewCell(Image("B 0001")));
    sheet.GetColumn(3, QString());

    const QString out = test::MakeTempDir("keys");
    ASSERT_EQ(WriteKeyframes(sheet, out), kOk);
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".._.._escape timing.txt", "walk timing.txt"}));
    // Nothing shows an image: no size, but the sound's own time.
    const QByteArray sound = ReadAll(out + "/.._.._escape timing.txt");
    EXPECT_TRUE(sound.contains("\tSource Width\t0\r\n\tSource Height\t0\r\n"));
    EXPECT_TRUE(sound.contains("\t0\t0.04\r\n"));

    EXPECT_EQ(WriteKeyframes(sheet, out + "/missing"), msg::kTimingNotSaved);
}

}  // namespace
}  // namespace kolvane
