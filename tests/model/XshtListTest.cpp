#include <gtest/gtest.h>

#include <ostream>

#include <QStringList>

#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/XshtList.h"
#include "settings/Settings.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kolvane {
namespace {

class XshtListTest : public ::testing::Test {
  protected:
    CNode* Image(const QString& name) {
        return media.AddMediaFile(kTypeImage, QStringLiteral("/scene/%1.png").arg(name));
    }
    CNode* Sound(const QString& name, float lengthInFrames) {
        CNode* item = media.AddMediaFile(kTypeSound, QStringLiteral("/sounds/%1.wav").arg(name));
        item->soundInfo->lengthInFrames = lengthInFrames;
        return item;
    }

    // Cell names of a column, blanks as "-".
    static QStringList Cells(const CNode* column) {
        QStringList names;
        for (const CNode* cell : *column->children) {
            names << (cell->HasAny(kTypeBlank) ? QStringLiteral("-") : cell->name);
        }
        return names;
    }
    QStringList ColumnNames() const {
        QStringList names;
        for (const CNode* column : sheet.Levels())
            names << column->name;
        return names;
    }
    CNode* Column(int index) { return sheet.Levels().at(index); }

    // Builds an unnamed column from a pattern: "-" blank, other text an image
    // of that name.
    CNode* ColumnOf(const QStringList& pattern) {
        CNode* column = sheet.GetColumn(sheet.Levels().size(), QString());
        for (const QString& name : pattern) {
            column->children->append(CNode::NewCell(name == "-" ? nullptr : Image(name)));
        }
        return column;
    }

    // Every invariant a normalised, non-empty sheet keeps.
    void ExpectNormalised() {
        const CNodeList& columns = sheet.Levels();
        ASSERT_GE(columns.size(), 2);
        const int length = sheet.SheetLength();
        for (int i = 0; i < columns.size(); ++i) {
            const CNode* column = columns.at(i);
            SCOPED_TRACE(column->name.toStdString());
            EXPECT_EQ(column->children->size(), length);
            EXPECT_TRUE(column->children->back()->HasAny(kTypeBlank)) << "trailing blank row";
            const bool last = i + 1 == columns.size();
            EXPECT_EQ(column->type, last ? kTypeBlankColumn : kTypeLevel);
            EXPECT_TRUE(!last || column->name.isEmpty()) << "the trailing column has no name";
            EXPECT_EQ(column->summary->blanks == length, last) << "only the last column is blank";
        }
        EXPECT_EQ(sheet.FrameCount(), length - 1);
    }

    CSettings settings;
    CMdiaList media;
    CXshtList sheet{settings};
};

TEST_F(XshtListTest, PlacingImagesMakesOneExposureEachAndNormalises) {
    ASSERT_EQ(settings.Get(DefTiming), 2);
    sheet.PlaceImage(Image("A 0001"));
    sheet.PlaceImage(Image("A 0002"));
    EXPECT_EQ(sheet.CurrentFrame(), 3);
    sheet.RecomputeSummaries();
    sheet.Normalise();

    EXPECT_EQ(ColumnNames(), (QStringList{"A", ""}));
    EXPECT_EQ(Cells(Column(0)), (QStringList{"A 0001", "A 0001", "A 0002", "A 0002", "-"}));
    EXPECT_EQ(sheet.SheetLength(), 5);
    EXPECT_EQ(sheet.FrameCount(), 4);
    ExpectNormalised();
}

TEST_F(XshtListTest, PlacingReusesTheFirstTrailingBlankOfItsColumn) {
    CNode* column = ColumnOf({"A 0001", "-", "A 0001", "-", "-"});
    column->name = "A";
    CNode* cell = sheet.PlaceItem(Image("A 0002"));
    EXPECT_EQ(Cells(column), (QStringList{"A 0001", "-", "A 0001", "A 0002", "-"}));
    EXPECT_EQ(column->children->at(3), cell);
    EXPECT_EQ(cell->type, kTypeImageCell);
    EXPECT_EQ(sheet.CurrentFrame(), 3);

    sheet.PlaceItem(Image("A 0003"));
    sheet.PlaceItem(Image("A 0004"));
    EXPECT_EQ(Cells(column).mid(3), (QStringList{"A 0002", "A 0003", "A 0004"}));
}

TEST_F(XshtListTest, ColumnNamesComeFromTheItemWithoutSequenceSuffixes) {
    struct Case {
        QString item;
        bool sound;
        QString column;
    } cases[] = {
        {"walk(2) 0005", false, "walk"}, {"walk 0001", false, "walk"},
        {"walk_3", false, "walk"},       {"(x) 0001", false, "(x)"},
        {"A (take 2) 0004", false, "A"}, {"voice(1)", true, "voice"},
        {"take-2", true, "take-2"},      {"rain  ", true, "rain"},
    };
    for (const Case& c : cases) {
        CNode* item = c.sound ? Sound(c.item, 1) : Image(c.item);
        EXPECT_EQ(CXshtList::ColumnNameFor(*item), c.column) << c.item.toStdString();
    }

    sheet.PlaceItem(Image("walk(2) 0005"));
    sheet.PlaceItem(Image("walk 0001"));
    sheet.Normalise();
    EXPECT_EQ(ColumnNames(), (QStringList{"walk", ""}));
}

TEST_F(XshtListTest, SoundOccupiesOneNumberedCellPerWholeFrame) {
    sheet.PlaceSound(Sound("boom", 3.6f));
    sheet.Normalise();
    EXPECT_EQ(ColumnNames(), (QStringList{"boom", ""}));
    EXPECT_EQ(Cells(Column(0)), (QStringList{"boom:   1", "boom:   2", "boom:   3", "-"}));
    EXPECT_EQ(Column(0)->children->at(2)->type, kTypeSoundCell);

    EXPECT_EQ(sheet.PlaceSound(Sound("click", 0.5f)), nullptr);
}

TEST_F(XshtListTest, LongSoundKeepsItsFrameIndexWhenRenamed) {
    CNode* sound = Sound("boom", 10001.0f);
    sheet.PlaceSound(sound);
    sheet.Normalise();
    ASSERT_EQ(Column(0)->children->at(10000)->name, "boom:10001");

    sound->name = "bang";
    sheet.RefreshNamesFromMedia(media);
    EXPECT_EQ(Column(0)->children->at(9998)->name, "bang:9999");
    EXPECT_EQ(Column(0)->children->at(10000)->name, "bang:10001");
}

TEST_F(XshtListTest, RefreshingNamesFollowsRenamesAndDropsRemovedItems) {
    CNode* a1 = Image("A 0001");
    CNode* a2 = Image("A 0002");
    sheet.PlaceImage(a1);
    sheet.PlaceImage(a2);
    sheet.PlaceImage(a1);
    sheet.Normalise();

    a1->name = "B 0001";
    CNodeList& images = *media.ImageLevel()->children;
    images.erase(images.indexOf(a2));
    sheet.RefreshNamesFromMedia(media);

    EXPECT_EQ(Cells(Column(0)), (QStringList{"B 0001", "B 0001", "B 0001", "B 0001", "-"}));
    ExpectNormalised();

    images.clear();
    sheet.RefreshNamesFromMedia(media);
    EXPECT_TRUE(sheet.Levels().empty());
}

TEST_F(XshtListTest, NormaliseRestoresEveryInvariant) {
    // A named column, an all-blank column, an unnamed column and a long tail
    // of blanks.
    CNode* a = ColumnOf({"A 0001", "A 0001", "-", "-", "-", "-"});
    a->name = "A";
    ColumnOf({"-", "-"});
    ColumnOf({"-", "walk(1) 0003", "walk(1) 0003"});
    sheet.Normalise();

    EXPECT_EQ(ColumnNames(), (QStringList{"A", "walk(1)", ""}));
    EXPECT_EQ(Cells(Column(0)), (QStringList{"A 0001", "A 0001", "-", "-"}));
    EXPECT_EQ(Cells(Column(1)), (QStringList{"-", "walk(1) 0003", "walk(1) 0003", "-"}));
    ExpectNormalised();

    // Normalising again changes nothing.
    sheet.Normalise();
    EXPECT_EQ(sheet.SheetLength(), 4);
    EXPECT_EQ(sheet.Levels().size(), 3);
}

TEST_F(XshtListTest, NamedBlankColumnGoesEvenWhenLast) {
    sheet.PlaceImage(Image("A 0001"));
    sheet.Normalise();
    sheet.Levels().back()->name = "later";  // the user named the trailing column
    sheet.Normalise();
    EXPECT_EQ(ColumnNames(), (QStringList{"A", ""}));
    ExpectNormalised();
}

TEST_F(XshtListTest, NormaliseNamesAnUnnamedSoundColumnAfterTheSound) {
    CNode* column = sheet.GetColumn(0, QString());
    column->children->append(CNode::NewCell(Sound("rain", 1)));
    column->children->back()->name = "rain:  12";
    sheet.Normalise();
    EXPECT_EQ(ColumnNames(), (QStringList{"rain", ""}));
}

TEST_F(XshtListTest, AllBlankSheetIsCleared) {
    ColumnOf({"-", "-", "-"});
    sheet.Normalise();
    EXPECT_TRUE(sheet.Levels().empty());
    EXPECT_EQ(sheet.FrameCount(), 0);

    sheet.Normalise();  // an empty sheet stays empty
    EXPECT_TRUE(sheet.Levels().empty());
}

TEST_F(XshtListTest, SetRunLengthShortensAndLengthensOneRun) {
    CNode* column = ColumnOf({"A 0001", "B 0001", "B 0001", "B 0001", "C 0001"});
    EXPECT_EQ(CXshtList::RunLength(*column, 2), 3);
    EXPECT_EQ(CXshtList::RunStart(*column, 3), 1);

    EXPECT_EQ(CXshtList::SetRunLength(*column, 3, 1), 1);
    EXPECT_EQ(Cells(column), (QStringList{"A 0001", "B 0001", "C 0001"}));

    column->children->at(1)->Select();
    EXPECT_EQ(CXshtList::SetRunLength(*column, 1, 5), 1);
    EXPECT_EQ(Cells(column),
              (QStringList{"A 0001", "B 0001", "B 0001", "B 0001", "B 0001", "B 0001", "C 0001"}));
    // Only the first copy, made while the original was selected, stays selected.
    QList<bool> selected;
    for (const CNode* cell : *column->children)
        selected << cell->IsSelected();
    EXPECT_EQ(selected, (QList<bool>{false, false, false, false, false, true, false}));

    // A length below one keeps one cell instead of eating into the next run.
    for (int length : {0, -3}) {
        CXshtList::SetRunLength(*column, 2, length);
        EXPECT_EQ(Cells(column), (QStringList{"A 0001", "B 0001", "C 0001"})) << length;
    }
}

TEST_F(XshtListTest, RunOperationsOutsideTheColumnDoNothing) {
    CNode* column = ColumnOf({"A 0001", "A 0001", "-", "-"});
    for (int row : {-1, 4, 100}) {
        EXPECT_EQ(CXshtList::RunLength(*column, row), 0);
        EXPECT_EQ(CXshtList::SelectRun(*column, row), -1);
        EXPECT_EQ(CXshtList::SetRunLength(*column, row, 3), -1);
    }
    EXPECT_EQ(column->children->size(), 4);

    // Consecutive blanks form a run too; the last run has no row after it.
    EXPECT_EQ(CXshtList::SelectRun(*column, 1), 2);
    EXPECT_EQ(CXshtList::SelectRun(*column, 3), -1);
    for (const CNode* cell : *column->children)
        EXPECT_TRUE(cell->IsSelected());
}

TEST_F(XshtListTest, GetColumnPlacesNewColumnsBeforeTheTrailingBlankColumn) {
    CNode* walk = sheet.GetColumn(0, "walk");
    EXPECT_EQ(ColumnNames(), (QStringList{"walk"}));
    sheet.GetColumn(5, QString());  // after a named last column
    EXPECT_EQ(ColumnNames(), (QStringList{"walk", ""}));
    sheet.GetColumn(1, "run");  // column 1 is the last: a new one goes before it
    EXPECT_EQ(ColumnNames(), (QStringList{"walk", "run", ""}));
    EXPECT_EQ(sheet.GetColumn(0, "other"), walk);
    EXPECT_EQ(walk->name, "walk");

    CNode* unnamed = sheet.GetColumn(2, QString());
    EXPECT_EQ(sheet.GetColumn(2, "jump"), unnamed);
    EXPECT_EQ(ColumnNames(), (QStringList{"walk", "run", "jump", ""}));
}

TEST_F(XshtListTest, AppendCellCountsBlanksAndMovesTheCurrentFrame) {
    sheet.GetColumn(0, "A");
    sheet.GetColumn(1, QString());
    CNode* a1 = Image("A 0001");
    sheet.AppendCell(a1, 0);
    sheet.AppendCell(nullptr, 0);
    EXPECT_EQ(sheet.CurrentFrame(), 2);
    EXPECT_EQ(Column(0)->summary->blanks, 1);

    // Column 1 is the last one: the cell starts a new column named after it.
    sheet.AppendCell(Image("walk(1) 0001"), 1);
    EXPECT_EQ(ColumnNames(), (QStringList{"A", "walk", ""}));
    EXPECT_EQ(sheet.CurrentFrame(), 1);
}

TEST_F(XshtListTest, PadTrimsOneTrailingBlankRowThenEvensTheColumns) {
    CNode* a = ColumnOf({"A 0001", "-", "-"});
    CNode* b = ColumnOf({"B 0001", "B 0001", "-"});
    CNode* c = ColumnOf({"C 0001"});
    sheet.Pad(true);
    EXPECT_EQ(Cells(a), (QStringList{"A 0001", "-"}));
    EXPECT_EQ(Cells(b), (QStringList{"B 0001", "B 0001"}));
    EXPECT_EQ(Cells(c), (QStringList{"C 0001", "-"}));
    EXPECT_EQ(sheet.Totals().blanks, 2);

    sheet.Pad(false);
    EXPECT_EQ(sheet.SheetLength(), 2);
}

}  // namespace
}  // namespace kolvane
