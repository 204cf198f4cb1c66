#include <gtest/gtest.h>

#include "model/SheetEdits.h"
#include "settings/Settings.h"
#include "tests/support/SheetPatterns.h"

namespace kolvane {
namespace {

using test::AddColumn;
using test::CellNames;

TEST(SheetEdits, RemovingNeverTakesAColumnBelowOneCell) {
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet(settings);
    CNode* a = AddColumn(sheet, media, "a", {"A", "B", "C"});
    CNode* b = AddColumn(sheet, media, "b", {"D", "E", "F"});
    test::SelectRows(*a, 0, 2);
    test::SelectRows(*b, 1, 1);
    RemoveSelection(sheet, false);
    EXPECT_EQ(CellNames(*a), QStringList{"C"});
    EXPECT_EQ(CellNames(*b), (QStringList{"D", "F"}));

    // A column of one cell stays as it is, blanked or not.
    RemoveSelection(sheet, true);
    EXPECT_EQ(CellNames(*a), QStringList{"C"});
    EXPECT_TRUE(a->children->at(0)->IsSelected());
}

TEST(SheetEdits, RemovedCellsAreNoLongerTheSoundTheTrackWroteLast) {
    CSettings settings{CSettings::Unstored{}};
    CMdiaList media;
    CXshtList sheet(settings);
    CNode* a = AddColumn(sheet, media, "a", {"A", "B"});
    a->summary->currentSoundCell = a->children->at(0);
    test::SelectRows(*a, 0, 0);
    RemoveSelection(sheet, false);
    EXPECT_EQ(a->summary->currentSoundCell, nullptr);
}

}  // namespace
}  // namespace kolvane
