#include <gtest/gtest.h>

#include <QSet>

#include "model/Anim.h"
#include "model/SheetHistory.h"
#include "settings/Settings.h"
#include "tests/support/SheetPatterns.h"

namespace kolvane {
namespace {

class CCountingHistory : public ISheetHistory {
  public:
    Result RecordEdit(const CXshtList&) override { return kOk; }
    void Reset() override { ++resets; }
    int resets = 0;
};

class AnimTest : public ::testing::Test {
  protected:
    CNode* Image(const QString& name) { return test::ImageItem(media, name); }
    void Images(const QStringList& names) {
        for (const QString& name : names)
            Image(name);
    }
    QStringList ImageNames() const {
        QStringList names;
        for (const CNode* item : *media.ImageLevel()->children)
            names << item->name;
        return names;
    }
    static AnimValues Values(const CAnim& anim) { return anim.Get(); }

    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet{settings};
    CCountingHistory history;
};

TEST_F(AnimTest, ANewDescriptorOfAnEmptyListIsA) {
    CAnim anim(media);
    EXPECT_EQ(Values(anim), (AnimValues{"A", 0, 0, 1, 1}));
    EXPECT_TRUE(anim.Images().empty());
}

TEST_F(AnimTest, ResetAdvancesToTheFirstNameWithoutImages) {
    Images({"B 0001", "B 0002", "ZA 0001"});
    CAnim anim(media);
    anim.Set({"A", 4, 9, 10, 1});
    anim.Reset();
    EXPECT_EQ(Values(anim), (AnimValues{"C", 0, 0, 1, 1}));

    anim.Set({"Y", 0, 0, 1, 1});
    anim.Reset();
    EXPECT_EQ(anim.Name(), "Z");
    anim.Reset();
    EXPECT_EQ(anim.Name(), "ZB") << "ZA has images";

    anim.Set({"", 0, 0, 1, 1});
    anim.Reset();
    EXPECT_EQ(anim.Name(), "A");
}

TEST_F(AnimTest, ResetEndsForANameWhoseLevelDropsItsDigits) {
    // "take9" advances to "take90", whose level is "take": the level name
    // advances from there.
    Images({"take9 0001", "take 0001", "takf 0001"});
    CAnim anim(media);
    anim.Set({"take9", 0, 0, 1, 1});
    anim.Reset();
    EXPECT_EQ(anim.Name(), "takg");
    EXPECT_TRUE(anim.Images().empty());
}

TEST_F(AnimTest, AdvancingWorksOnWholeCharacters) {
    const struct {
        QString from;
        QString to;
    } cases[] = {
        {"A", "B"},
        {"Z", "ZA"},
        {"z", "za"},
        {"take9", "take90"},
        {"walk", "wall"},
        {QString::fromUtf8("caf\u00e9"), QString::fromUtf8("caf\u00ea")},
        {QString::fromUtf8("x\u00ff"), QString::fromUtf8("x\u0100")},
        {QString::fromUtf8("\U0001F600"), QString::fromUtf8("\U0001F601")},
        {"x.", "x0"},  // never "/": a name is part of a file name
        {"", "A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CAnim::AdvanceName(c.from), c.to) << c.from.toStdString();
}

TEST_F(AnimTest, TakingALevelFindsItsNumbersStepAndNext) {
    Images({"walk 0001", "walk 0003", "Walk 0005", "walker 0002", "walk", "run 0004"});
    CAnim anim(media);
    anim.TakeLevel("walk 0001");
    EXPECT_EQ(Values(anim), (AnimValues{"walk", 1, 5, 7, 2}));
    EXPECT_EQ(anim.Images().size(), 3u);

    anim.TakeLevel("nothing 0001");
    EXPECT_EQ(Values(anim), (AnimValues{"nothing", 0, 0, 1, 1}));
}

TEST_F(AnimTest, NumbersOfFiveDigitsAndMoreReadBack) {
    Images({"long 9999", "long 10000", "long 10001"});
    CAnim anim(media);
    anim.TakeLevel("long 0001");
    EXPECT_EQ(Values(anim), (AnimValues{"long", 9999, 10001, 10002, 1}));
    EXPECT_EQ(anim.NextName(), "long 10002");

    Image("long 10002");
    AnimValues values = anim.Get();
    anim.Normalise(values);
    EXPECT_EQ(values.next, 10003) << "next moves on past taken numbers of any width";
}

TEST_F(AnimTest, NextNameSkipsTakenNamesWhateverTheirCase) {
    Images({"A 0001", "A 0002", "a 0003"});
    CAnim anim(media);
    anim.Set({"A", 0, 0, 1, 1});
    EXPECT_EQ(anim.NextName(), "A 0004");
    EXPECT_EQ(anim.Next(), 4);

    anim.Set({"A", 0, 0, 1, 2});
    EXPECT_EQ(anim.NextName(), "A 0005") << "1 and 3 are taken";
}

TEST_F(AnimTest, NormaliseCorrectsWhatTheDialogWasGiven) {
    Images({"walk 0001", "walk 0003", "walk 0005"});
    struct Case {
        const char* what;
        AnimValues typed;
        AnimValues result;
        bool nextFixed;
    } cases[] = {
        {"unchanged", {"walk", 1, 5, 7, 2}, {"walk", 1, 5, 7, 2}, false},
        {"first moves last and next", {"walk", 11, 5, 7, 2}, {"walk", 11, 15, 17, 2}, true},
        {"last moves next", {"walk", 1, 9, 7, 2}, {"walk", 1, 9, 11, 2}, false},
        {"typed next stays", {"walk", 1, 5, 20, 2}, {"walk", 1, 5, 20, 2}, true},
        {"typed next moves off a taken name", {"walk", 1, 5, 3, 2}, {"walk", 1, 5, 7, 2}, true},
        {"step 0 and first 0", {"walk", 0, 5, 7, 0}, {"walk", 1, 5, 6, 1}, false},
        {"last below first", {"walk", 1, 0, 7, 2}, {"walk", 1, 1, 7, 2}, false},
        {"negative numbers", {"walk", -4, -1, 7, -3}, {"walk", 1, 1, 2, 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CAnim anim(media);
        anim.TakeLevel("walk");
        AnimValues values = c.typed;
        anim.Normalise(values);
        EXPECT_EQ(values, c.result);
        EXPECT_EQ(anim.IsNextFixed(), c.nextFixed);
    }

    CAnim empty(media);
    empty.TakeLevel("none");
    AnimValues values{"none", 12, 3, 40, 0};
    empty.Normalise(values);
    EXPECT_EQ(values, (AnimValues{"none", 12, 12, 13, 1})) << "without images";
}

TEST_F(AnimTest, SelectionGivesItsOwnNameOrMixed) {
    Images({"walk 0002", "walk 0004", "walk 0006", "run 0001"});
    CAnim anim(media);
    for (const char* name : {"walk 0002", "walk 0004", "walk 0006"})
        Image(name)->Select();
    anim.TakeSelection();
    EXPECT_EQ(Values(anim), (AnimValues{"walk", 2, 6, 8, 2}));

    Image("run 0001")->Select();
    anim.TakeSelection();
    EXPECT_EQ(anim.Name(), "MIXED");
    EXPECT_EQ(anim.First(), 1);
    EXPECT_EQ(anim.Last(), 6);
    EXPECT_EQ(anim.Images().size(), 4u);
}

TEST_F(AnimTest, RenameNumbersTheImagesInListOrderAndResetsUndo) {
    Images({"a 0001", "b 0001", "c 0001", "keep 0001"});
    for (const char* name : {"a 0001", "b 0001", "c 0001"})
        Image(name)->Select();
    sheet.PlaceImage(Image("b 0001"));
    sheet.Normalise();

    CAnim anim(media);
    anim.TakeSelection();
    ASSERT_EQ(anim.Name(), "MIXED");
    AnimValues values{"run", 10, 0, 0, 5};
    anim.Normalise(values);
    anim.Set(values);
    EXPECT_EQ(values.last, 20);
    EXPECT_FALSE(anim.RenameWouldClash());

    anim.ApplyRename(history, sheet);
    EXPECT_EQ(ImageNames(), (QStringList{"run 0010", "run 0015", "run 0020", "keep 0001"}));
    EXPECT_EQ(history.resets, 1);
    EXPECT_EQ(test::CellNames(*sheet.Levels().at(0)), (QStringList{"run 0015", "run 0015", "-"}));
}

TEST_F(AnimTest, RenamingOntoAnUnselectedImageClashesAndReplacesIt) {
    Images({"a 0001", "a 0002", "run 0002"});
    Image("a 0001")->Select();
    Image("a 0002")->Select();
    sheet.PlaceImage(Image("run 0002"));
    sheet.PlaceImage(Image("a 0001"));
    sheet.Normalise();

    CAnim anim(media);
    anim.TakeSelection();
    anim.Set({"RUN", 1, 2, 3, 1});
    EXPECT_TRUE(anim.RenameWouldClash()) << "names compare without case";

    anim.ApplyRename(history, sheet);
    EXPECT_EQ(ImageNames(), (QStringList{"RUN 0001", "RUN 0002"}));
    // The cells of the replaced image went with it; the others follow.
    ASSERT_EQ(sheet.Levels().size(), 2);
    EXPECT_EQ(test::CellNames(*sheet.Levels().at(0)), (QStringList{"RUN 0001", "RUN 0001", "-"}));
}

TEST_F(AnimTest, ASelectedImageLeftOutOfTheRenameCannotEndUpWithADuplicateName) {
    Images({"s 0001", "s 0002", "s 0003"});
    for (const char* name : {"s 0001", "s 0002", "s 0003"})
        Image(name)->Select();
    CAnim anim(media);
    anim.TakeSelection();
    // Only the first two are renamed (last 3): to 0002 and 0003, the name the
    // third keeps.
    anim.Set({"s", 2, 3, 4, 1});
    EXPECT_TRUE(anim.RenameWouldClash());

    anim.ApplyRename(history, sheet);
    const QStringList names = ImageNames();
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size()) << "no duplicates";
    EXPECT_EQ(names, (QStringList{"s 0002", "s 0003"}));
    EXPECT_EQ(anim.Images().size(), 2u);
}

TEST_F(AnimTest, SequenceNamesMustBeUsableAsFileNames) {
    const struct {
        QString name;
        bool valid;
    } cases[] = {
        {"walk", true},
        {"walk (2)", true},
        {"MIXED", true},
        {"a.b", true},
        {QString::fromUtf8("\u00e9t\u00e9"), true},
        {"..", false},
        {".", false},
        {"a/b", false},
        {"/", false},
        {QString("a") + QChar(0) + "b", false},
        {"tab\there", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CAnim::IsValidName(c.name), c.valid) << c.name.toStdString();
}

}  // namespace
}  // namespace kolvane
