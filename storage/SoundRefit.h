#pragma once

namespace kolvane {

class CListList;
class CMdiaList;
class CXshtList;

// After a frame-rate change: reopens every sound item at `frameRate` (its
// length in frames changes), clears every level's current sound cell and
// write cursor, and fits each column's last sound run to its clip's new
// length: cells "name:   n" are added after the run's last cell up to the
// clip's last whole frame, or the surplus cells at the end of the run turn
// blank (stopping at a cell of anything else). A run whose cell carries no
// number, or whose clip could not be opened, is left as it is. The caller
// normalises the sheet.
void RefitSoundCells(CMdiaList& media, CXshtList& sheet, int frameRate);

}  // namespace kolvane
