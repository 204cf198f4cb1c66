#pragma once

#include <QString>

#include "model/ListList.h"

namespace kolvane {

class CMdiaList;
class CSettings;

// The exposure sheet: its levels are columns, their children cells, and row r
// of every column is frame r of the scene. After Normalise() all columns have
// the same length, the last row is blank, and the last column is the unnamed
// blank column 0x21; an all-blank sheet is empty. `currentPosition` is the current
// frame.
class CXshtList : public CListList {
  public:
    explicit CXshtList(const CSettings& settings);

    const CSettings& Settings() const { return settings_; }

    // The longest column's length (the trailing blank row included).
    int SheetLength() const { return LongestLevel(); }
    // The sheet length less the trailing blank row; 0 for an empty sheet.
    int FrameCount() const;
    int CurrentFrame() const { return currentPosition; }
    void SetCurrentFrame(int frame) { currentPosition = frame; }

    // The column a media item goes into: a sound's name or an image's base
    // name, cut before a "(" that is not its first character, trailing white
    // space removed ("walk(1) 0001" -> "walk").
    static QString ColumnNameFor(const CNode& item);

    // Runs: consecutive cells of one column with equal names. Positions are
    // row indexes; a position outside the column does nothing.
    static int RunStart(const CNode& column, int row);
    static int RunLength(const CNode& column, int row);
    // Selects every cell of the run; returns the row after it, -1 at the end.
    static int SelectRun(CNode& column, int row);
    // Makes the run exactly `length` cells (at least one) by removing cells
    // after its first or inserting copies of it; returns the run's first row,
    // -1 outside the column.
    static int SetRunLength(CNode& column, int row, int length);

    // Column `index` when it exists and is not the last one (an unnamed one
    // takes `name`); otherwise a new column named `name`, placed in front of
    // an unnamed last column or after a named one.
    CNode* GetColumn(int index, const QString& name);

    // Puts `item` into its column (made when missing) for one frame: the first
    // of the column's trailing blanks is reused, else a cell is appended. The
    // current frame becomes the cell's row. The caller recomputes summaries
    // and normalises.
    CNode* PlaceItem(CNode* item);
    // Places an image DefTiming times in a row (one exposure).
    CNode* PlaceImage(CNode* item);
    // Places a sound once per whole frame of its length, its cells named
    // "name:   n" with the 1-based frame index n. Returns the last cell, or none
    // for a sound shorter than one frame.
    CNode* PlaceSound(CNode* item);

    // Appends a cell showing `item` (a blank cell without one) to column
    // `index` when that is an existing column other than the last, else to a
    // new column. The current frame becomes the column's new length.
    CNode* AppendCell(CNode* item, int index);

    // Fills every column with blank cells up to the longest length; with
    // `trimFirst` the longest columns first lose one trailing blank cell.
    void Pad(bool trimFirst);

    // Restores every invariant after an edit (see the class comment); names
    // unnamed columns after their last cell; clears an all-blank sheet.
    void Normalise();

    // After media items were renamed or removed: cells take their item's
    // current name (sound cells keep their frame index); cells whose item is
    // gone are removed. Then normalises.
    void RefreshNamesFromMedia(const CMdiaList& media);

  private:
    std::unique_ptr<CNode> MakeBlankColumn();

    const CSettings& settings_;
};

}  // namespace kolvane
