#include <gtest/gtest.h>

#include <ostream>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "storage/TimingFile.h"
#include "storage/XdtsFile.h"
#include "tests/support/TestEnvironment.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

class XdtsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = test::MakeTempDir("xdts");
        for (const char* name : {"walk 0001", "walk 0002", "walk 0003", "walk 0012", "run 0001",
                                 "run 0002", "bg 0001"}) {
            media.AddMediaFile(kTypeImage, dir + u'/' + QString::fromUtf8(name) + ".png");
        }
        media.RecomputeSummaries();
    }

    // A sheet read from a scene timing file's text.
    void ReadCsv(const QByteArray& text, CXshtList& into) {
        QByteArray bytes = text;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ASSERT_EQ(ReadTimingFrom(into, media, buffer, dir), kOk);
    }

    Result ReadXdts(const QByteArray& text, CXshtList& into, QStringList* notes = nullptr) {
        const QString file = dir + "/sheet.xdts";
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
        out.close();
        return ReadTimingFile(into, media, file, notes);
    }

    // Cell names of every column, blanks as "-", one string per column.
    static QStringList Columns(const CXshtList& sheet) {
        QStringList columns;
        for (const CNode* column : sheet.Levels()) {
            QStringList cells{column->name + ':'};
            for (const CNode* cell : *column->children)
                cells << (cell->item == nullptr ? QStringLiteral("-") : cell->name);
            columns << cells.join(u' ');
        }
        return columns;
    }

    static QByteArray Xdts(const QJsonObject& root) {
        return QByteArray(kXdtsIdentifier) + '\n' + QJsonDocument(root).toJson();
    }

    static QJsonObject Frame(int frame, const QString& value) {
        return {{"frame", frame},
                {"data", QJsonArray{QJsonObject{{"id", 0}, {"values", QJsonArray{value}}}}}};
    }

    QString dir;
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
};

TEST_F(XdtsFileTest, RoundTripKeepsGapsHoldsAndColumnOrder) {
    CXshtList sheet(settings);
    // Three columns: holds, a gap, a cell of another level, a late start.
    ReadCsv(
        ",\"walk\",\"run\",\"bg\",\"\"\r\n"
        "1,\"walk 0001\", \"\", \"bg 0001\", \"\"\r\n"
        "2,\"walk 0001\", \"run 0001\", \"bg 0001\", \"\"\r\n"
        "3,\"\", \"run 0002\", \"bg 0001\", \"\"\r\n"
        "4,\"walk 0003\", \"run 0002\", \"bg 0001\", \"\"\r\n"
        "5,\"run 0002\", \"\", \"bg 0001\", \"\"\r\n"
        "6,\"walk 0012\", \"run 0001\", \"bg 0001\", \"\"\r\n",
        sheet);
    ASSERT_EQ(sheet.Levels().size(), 4);

    QStringList leftOut;
    const QByteArray xdts = FormatXdts(sheet, "Scene 12", &leftOut);
    EXPECT_TRUE(leftOut.isEmpty());
    ASSERT_TRUE(xdts.startsWith("exchangeDigitalTimeSheet Save Data\n"));

    // One value per change, and the end of the last cell marked.
    const QJsonObject root = QJsonDocument::fromJson(xdts.mid(xdts.indexOf('\n') + 1)).object();
    EXPECT_EQ(root["version"].toInt(), 5);
    EXPECT_EQ(root["header"].toObject()["cut"].toString(), "12");
    const QJsonObject table = root["timeTables"].toArray()[0].toObject();
    EXPECT_EQ(table["duration"].toInt(), 6);
    EXPECT_EQ(table["timeTableHeaders"].toArray()[0].toObject()["names"].toArray(),
              (QJsonArray{"walk", "run", "bg"}));
    const QJsonArray tracks = table["fields"].toArray()[0].toObject()["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 3);
    const QJsonArray walk = tracks[0].toObject()["frames"].toArray();
    QStringList walkValues;
    for (const QJsonValue entry : walk) {
        const QJsonObject object = entry.toObject();
        const QJsonObject data = object["data"].toArray()[0].toObject();
        walkValues << QStringLiteral("%1=%2")
                          .arg(object["frame"].toInt())
                          .arg(data["values"].toArray()[0].toString());
    }
    EXPECT_EQ(walkValues, (QStringList{"0=1", "2=SYMBOL_NULL_CELL", "3=3", "4=run 0002", "5=12",
                                       "6=SYMBOL_NULL_CELL"}));
    EXPECT_EQ(tracks[2].toObject()["frames"].toArray().size(), 2);  // bg held throughout

    CXshtList read(settings);
    QStringList notes;
    ASSERT_EQ(ReadXdts(xdts, read, &notes), kOk);
    EXPECT_TRUE(notes.isEmpty()) << notes.join('\n').toStdString();
    EXPECT_EQ(FormatTiming(read), FormatTiming(sheet));
}

TEST_F(XdtsFileTest, HandWrittenSheetReadsHoldsSymbolsAndReportsWhatItCannotRead) {
    const QJsonArray walkFrames{Frame(0, "1"),
                                Frame(1, "SYMBOL_HYPHEN"),
                                Frame(2, "SYMBOL_TICK_1"),
                                Frame(3, "2"),
                                Frame(5, "SYMBOL_NULL_CELL"),
                                Frame(6, "9"),
                                Frame(7, "SYMBOL_TICK_2")};
    // Entries out of frame order too.
    const QJsonArray bgFrames{Frame(4, "SYMBOL_NULL_CELL"), Frame(0, "1")};
    const QJsonObject root{
        {"version", 5},
        {"header", QJsonObject{{"cut", "1"}, {"scene", "1"}}},
        {"timeTables",
         QJsonArray{QJsonObject{
             {"name", "sheet"},
             {"duration", 8},
             {"timeTableHeaders",
              QJsonArray{QJsonObject{{"fieldId", 0}, {"names", QJsonArray{"bg", "walk"}}},
                         QJsonObject{{"fieldId", 3}, {"names", QJsonArray{"serif"}}}}},
             {"fields",
              QJsonArray{
                  QJsonObject{
                      {"fieldId", 3},
                      {"tracks", QJsonArray{QJsonObject{
                                     {"trackNo", 0}, {"frames", QJsonArray{Frame(0, "hello")}}}}}},
                  // Track 1 listed before track 0.
                  QJsonObject{
                      {"fieldId", 0},
                      {"tracks", QJsonArray{QJsonObject{{"trackNo", 1}, {"frames", walkFrames}},
                                            QJsonObject{{"trackNo", 0}, {"frames", bgFrames}}}}},
                  QJsonObject{{"fieldId", 5},
                              {"tracks", QJsonArray{QJsonObject{
                                             {"trackNo", 0},
                                             {"frames", QJsonArray{Frame(0, "PAN")}}}}}}}}}}}};
    CXshtList sheet(settings);
    QStringList notes;
    ASSERT_EQ(ReadXdts(Xdts(root), sheet, &notes), kOk);

    // Track 0, the bottom layer, is the first column. "walk 0009" names no
    // image: a blank cell, and told; trailing blank frames go as in any
    // timing file.
    EXPECT_EQ(Columns(sheet),
              (QStringList{"bg: bg 0001 bg 0001 bg 0001 bg 0001 - -",
                           "walk: walk 0001 walk 0001 walk 0001 walk 0002 walk 0002 -",
                           ": - - - - - -"}));
    EXPECT_TRUE(notes.contains("dialogue field not read"));
    EXPECT_TRUE(notes.contains("camerawork field not read"));
    EXPECT_TRUE(notes.contains("\"walk 0009\" names no image: not read"));
}

TEST_F(XdtsFileTest, AFrameBeforeZeroOpensTheTrackAndIsTold) {
    const QJsonObject root{
        {"version", 5},
        {"timeTables",
         QJsonArray{QJsonObject{
             {"duration", 3},
             {"timeTableHeaders",
              QJsonArray{QJsonObject{{"fieldId", 0}, {"names", QJsonArray{"walk"}}}}},
             {"fields", QJsonArray{QJsonObject{
                            {"fieldId", 0},
                            {"tracks", QJsonArray{QJsonObject{
                                           {"trackNo", 0},
                                           {"frames", QJsonArray{Frame(-2, "2"), Frame(1, "3"),
                                                                 Frame(9, "1")}}}}}}}}}}}};
    CXshtList sheet(settings);
    QStringList notes;
    ASSERT_EQ(ReadXdts(Xdts(root), sheet, &notes), kOk);
    EXPECT_EQ(Columns(sheet).first(), "walk: walk 0002 walk 0003 walk 0003 -");
    EXPECT_EQ(notes.size(), 2) << notes.join('\n').toStdString();
}

TEST_F(XdtsFileTest, HostileSheetsAreRefusedAndLeaveTheSheetAsItWas) {
    const auto table = [](const QJsonValue& duration, const QJsonValue& trackNo,
                          const QJsonValue& frame) {
        return QJsonObject{
            {"version", 5},
            {"timeTables",
             QJsonArray{QJsonObject{
                 {"duration", duration},
                 {"fields", QJsonArray{QJsonObject{
                                {"fieldId", 0},
                                {"tracks", QJsonArray{QJsonObject{
                                               {"trackNo", trackNo},
                                               {"frames", QJsonArray{QJsonObject{
                                                              {"frame", frame},
                                                              {"data", QJsonArray{}}}}}}}}}}}}}}};
    };
    QJsonArray manyTracks;
    for (int i = 0; i < 999; ++i)
        manyTracks.append(QJsonObject{{"trackNo", i}, {"frames", QJsonArray{}}});
    const QJsonObject tooManyCells{
        {"timeTables",
         QJsonArray{QJsonObject{
             {"duration", 1 << 20},
             {"fields", QJsonArray{QJsonObject{{"fieldId", 0}, {"tracks", manyTracks}}}}}}}};

    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"not XDTS", "\"walk\",\"run\"\r\n1,\"walk 0001\"\r\n"},
        {"identifier only", QByteArray(kXdtsIdentifier) + '\n'},
        {"malformed JSON", QByteArray(kXdtsIdentifier) + "\n{\"timeTables\": [ {\"duration\": 3,"},
        {"no time table", Xdts(QJsonObject{{"version", 5}})},
        {"huge duration", Xdts(table(2147483647.0, 0, 0))},
        {"negative duration", Xdts(table(-5, 0, 0))},
        {"fractional duration", Xdts(table(2.5, 0, 0))},
        {"track number too large", Xdts(table(3, 5000, 0))},
        {"negative track number", Xdts(table(3, -1, 0))},
        {"frame not a number", Xdts(table(3, 0, "x"))},
        {"more cells than a scene", Xdts(tooManyCells)},
    };
    for (const auto& c : cases) {
        CXshtList sheet(settings);
        ReadCsv(",\"walk\",\"\"\r\n1,\"walk 0001\", \"\"\r\n", sheet);
        const QByteArray before = FormatTiming(sheet);
        QStringList notes;
        EXPECT_EQ(ReadXdts(c.bytes, sheet, &notes), msg::kTimingEmpty) << c.what;
        EXPECT_FALSE(notes.isEmpty()) << c.what;
        EXPECT_EQ(FormatTiming(sheet), before) << c.what;
    }
}

TEST_F(XdtsFileTest, SoundColumnsAreLeftOutAndNamed) {
    CNode* boom = media.AddMediaFile(kTypeSound, dir + "/boom.wav");
    boom->soundInfo->lengthInFrames = 2.0f;
    media.RecomputeSummaries();
    CXshtList sheet(settings);
    ReadCsv(",\"walk\",\"boom\",\"\"\r\n1,\"walk 0001\", \"boom:   1\", \"\"\r\n", sheet);
    QStringList leftOut;
    const QString out = dir + "/out.xdts";
    ASSERT_EQ(WriteXdts(sheet, "shot", out, &leftOut), kOk);
    EXPECT_EQ(leftOut, QStringList{"boom"});
    CXshtList read(settings);
    ASSERT_EQ(ReadTimingFile(read, media, out), kOk);
    EXPECT_EQ(Columns(read), (QStringList{"walk: walk 0001 -", ": - -"}));
}

TEST_F(XdtsFileTest, AFolderWithOnlyAnXdtsSheetOpensIt) {
    CXshtList sheet(settings);
    ReadCsv(",\"walk\",\"\"\r\n1,\"walk 0002\", \"\"\r\n", sheet);
    ASSERT_EQ(WriteXdts(sheet, "shot", dir + "/shot.xdts"), kOk);
    EXPECT_EQ(SceneTimingFileIn(dir), dir + "/shot.xdts");
    CXshtList read(settings);
    ASSERT_EQ(ReadTiming(read, media, dir), kOk);
    EXPECT_EQ(FormatTiming(read), FormatTiming(sheet));
}

}  // namespace
}  // namespace kolvane
