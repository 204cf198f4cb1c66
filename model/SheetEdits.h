#pragma once

#include <functional>

#include <QString>

namespace kolvane {

class CMdiaList;
class CNode;
class CXshtList;

// The editor's edits of the exposure sheet: retiming by dragging, duplicating
// and removing the selected cells. Each works on the sheet as it stands; the
// caller keeps the undo step before, and normalises after.

// Changing exposure lengths by dragging a cell P up and down its column. The
// anchor A is P, or for a sound cell the first cell of the unbroken block of
// that sound above P. The drag works *at an exposure start* when the cell
// above A shows another item (or there is none), else *inside* the exposure.
class CRetimeDrag {
  public:
    // Starts on the cell at (column, row); IsValid() is false without a cell.
    CRetimeDrag(CXshtList& sheet, int column, int row);

    bool IsValid() const { return valid_; }
    int Column() const { return column_; }
    int AnchorRow() const { return anchor_; }
    bool AtExposureStart() const { return atStart_; }

    // Moves by `rows` (down > 0, up < 0). Down, at an exposure start, the
    // exposure above grows (a blank one is made above the first row); inside
    // one, P's exposure grows; in both, the cells from A down move later.
    // Up, the exposure above (or P's) shrinks but never vanishes. With
    // `boundary` (Alt and the middle button) an image's drag from an exposure
    // start moves only the boundary: later frames keep their place. A copy of
    // a sound cell continues its sound's frame numbering. Answers the net
    // number of cells inserted.
    int Move(int rows, bool boundary);

    // The length of the exposure at A.
    int ExposureLength() const;

  private:
    int StepDown(bool boundary);
    int StepUp(bool boundary);
    CNode* ColumnNode() const;

    CXshtList& sheet_;
    int column_ = -1;
    int anchor_ = -1;
    const CNode* item_ = nullptr;  // what P shows (none for a blank cell)
    bool image_ = false;
    bool atStart_ = false;
    bool valid_ = false;
};

// A copy of a cell as the editor makes them: type, name and item, unselected.
std::unique_ptr<CNode> CopyCell(const CNode& cell);

// Copies the selected cells of every column that has some, column by column
// from the left, into the columns from `targetColumn` on, starting at
// `targetRow`. A target beyond the last column gets the trailing blank column
// (the sheet is normalised to make a new one). Normally the copies are
// inserted, moving the cells from the row on down; with `overwrite` they
// replace the cells from the row on and stop at the column's end.
void DuplicateSelection(CXshtList& sheet, int targetColumn, int targetRow, bool overwrite);

// Removes the selected cells, or with `blank` turns them into blank cells. A
// column never goes below one cell.
void RemoveSelection(CXshtList& sheet, bool blank);

// The media list panel's edits.

// Puts the selected media on the sheet: an image `defTiming` times, a sound
// once per whole frame of its length. Answers how many cells were placed.
int AddSelectedMedia(CMdiaList& media, CXshtList& sheet, int defTiming);

// Removes the selected media items and every cell that shows one; a level
// left empty goes too. Answers how many items were removed.
int RemoveSelectedMedia(CMdiaList& media, CXshtList& sheet);

// Whether two image files hold the same bytes.
using SameFileTest = std::function<bool(const QString& pathA, const QString& pathB)>;

// Walks the image level in list order and merges each image into the one
// before it when `sameFile` says their files are equal: the cells showing the
// later one show the earlier one, and the later item goes. Only neighbours
// are compared. Answers how many items went.
int RemoveDuplicateImages(CMdiaList& media, CXshtList& sheet, const SameFileTest& sameFile);

}  // namespace kolvane
