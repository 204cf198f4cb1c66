#pragma once

#include <functional>
#include <vector>

#include <QList>
#include <QWidget>

#include "model/ListList.h"
#include "ui/Colors.h"
#include "ui/ControlClock.h"

namespace kolvane {

class CScrollBar;
class CSelectBox;
class CSelectMenu;
class CTrackTip;

// A cell of a grid view: column = level index in the list, row = child index.
struct GridCell {
    int column = -1;
    int row = -1;
    bool IsValid() const { return column >= 0 && row >= 0; }
    bool operator==(const GridCell&) const = default;
};

// A grid of CSelectBox columns bound to a list of levels (the media list or
// the exposure sheet): one column per level, one row per child, rows one
// line high under a header line.
//
// Selecting with the left button: unless Ctrl is held the list's selection is
// cleared; with Shift the rectangle between the anchor and the cell takes the
// anchor's selected state; otherwise the cell becomes the anchor and its
// state toggles. Moving with the button held extends the rectangle; outside
// the view a timer scrolls one line or column per 100 ms towards the pointer
// and extends with the current Ctrl/Shift state. With the tracking tip on, the
// tip follows the pointer until the release. Panels refine this by
// overriding the protected steps (the editor's retiming drag uses the
// Alt/middle-button hooks).
//
// The first shown row is kept in the list's total summary, so the panels and
// the player see the same scroll state.
class CSelectView : public QWidget, public IListView {
    Q_OBJECT
  public:
    static constexpr int kAutoScrollMs = 100;

    CSelectView(const CColors& colors, QWidget* parent);
    ~CSelectView() override;

    // Binds the view to a list (and the list's view hook to this view).
    void SetList(CListList* list);
    CListList* List() const { return list_; }

    void SetVisibleColumns(int count);
    int VisibleColumns() const { return static_cast<int>(boxes_.size()); }
    void SetFirstColumn(int column);
    int FirstColumn() const { return firstColumn_; }
    void SetFirstRow(int row);
    int FirstRow() const;
    int VisibleRows() const;
    // Levels and the longest level's children.
    int ColumnCount() const;
    int RowCount() const;

    void SetHeaderVisible(bool visible);
    int HeaderHeight() const;
    // What cells show besides their names: 0 nothing, 1 counter, 2 thumbnail,
    // 3 miniature, 4 picture size. The tracking tip follows drags unless 0.
    void SetCellInfo(int mode);
    int CellInfo() const { return cellInfo_; }
    // Added to row indexes where numbers are shown (the first frame number).
    void SetRowNumberBase(int base) { rowNumberBase_ = base; }
    int RowNumberBase() const { return rowNumberBase_; }
    // The row marked as current in every column, or -1.
    void SetCurrentRow(int row);
    // Draws every cell again, with the pictures loaded since. The cells are
    // widgets of their own over the view: redrawing the view leaves them.
    void RedrawCells();
    int CurrentRow() const { return currentRow_; }
    // The entries (string numbers) of the header's level menu.
    void SetLevelMenu(const QList<int>& textIds) { levelMenu_ = textIds; }
    // Fills the empty waveform of a sound item in view; called when the list
    // changes or scrolls, so that painting only reads.
    void SetWaveformBuilder(std::function<void(CNode& soundItem)> builder);
    // Where picture items' thumbnails come from (their textures when unset).
    void SetThumbnailSource(std::function<QImage(const CNode&)> source) {
        thumbnailSource_ = std::move(source);
    }
    QImage Thumbnail(const CNode& item) const;
    void SetClock(IControlClock& clock);
    // Keeps the bars' ranges and positions in step with the view, both ways.
    void AttachScrollBars(CScrollBar* vertical, CScrollBar* horizontal);

    // The cell under a point, held to the grid; invalid without any cell.
    GridCell CellAt(QPoint point) const;
    QRect CellRect(GridCell cell) const;
    CNode* LevelAt(int column) const;
    CNode* NodeAt(GridCell cell) const;
    GridCell Anchor() const { return anchor_; }
    bool IsTracking() const { return drag_ != Drag::kNone; }
    CTrackTip* TrackTip() const { return tip_; }
    CSelectBox* Box(int visibleIndex) const;
    CSelectMenu* LevelMenu() const { return menu_; }
    // A sound item's waveform, or none while it is not built.
    const std::vector<std::pair<std::int16_t, std::int16_t>>* Waveform(
        const CNode& soundItem) const;

    // IListView: the list changed; re-read and redraw.
    void ListChanged() override;

  signals:
    void ColumnChanged(int column);
    void RowChanged(int row);
    void SelectionChanged();
    void FirstRowChanged(int row);
    void FirstColumnChanged(int column);
    void LevelSwitched(int column, bool on);
    void LevelMenuChosen(int column, int textId);

  protected:
    // Clears the selection before a selection made without Ctrl.
    virtual void ClearSelection();
    virtual void BeginSelection(GridCell cell, Qt::KeyboardModifiers modifiers);
    virtual void ExtendSelection(GridCell cell);
    virtual void EndSelection() {}
    // The middle button, or Alt with the left: true when the panel takes the drag.
    virtual bool BeginAltDrag(GridCell, Qt::MouseButtons, Qt::KeyboardModifiers) { return false; }
    virtual void ContinueAltDrag(GridCell, Qt::MouseButtons, Qt::KeyboardModifiers) {}
    virtual void EndAltDrag() {}
    virtual QString TipText(GridCell cell) const;
    // Whether the tracking tip follows a drag: by default when cells show info.
    virtual bool TipWanted() const { return cellInfo_ != 0; }
    void SetAnchor(GridCell cell) { anchor_ = cell; }
    int MaxFirstRow() const;
    // Every cell between the anchor and `cell` takes the state `select`.
    void ApplyRectangle(GridCell cell, bool select);
    bool AnchorSelected() const;
    void SelectionDone(GridCell cell);

    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    enum class Drag { kNone, kSelect, kAlt };

    void LayoutBoxes();
    void RebindBoxes();
    // Has the waveforms of the sounds in view built before they are painted.
    void PrepareWaveforms();
    void SyncScrollBars();
    void TrackTo(QPoint point, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    void AutoScrollStep();
    void UpdateTip(QPoint point, GridCell cell);
    void OnBoxCommand(CSelectBox* box, int id);
    int MaxFirstColumn() const;

    const CColors* colors_;
    CListList* list_ = nullptr;
    std::vector<CSelectBox*> boxes_;
    int firstColumn_ = 0;
    int localFirstRow_ = 0;  // without a list
    bool headerVisible_ = true;
    int cellInfo_ = 0;
    int rowNumberBase_ = 0;
    int currentRow_ = -1;
    QList<int> levelMenu_;
    std::function<void(CNode&)> waveformBuilder_;
    std::function<QImage(const CNode&)> thumbnailSource_;
    CScrollBar* vertical_ = nullptr;
    CScrollBar* horizontal_ = nullptr;
    CTrackTip* tip_;
    CSelectMenu* menu_;
    int menuColumn_ = -1;

    Drag drag_ = Drag::kNone;
    GridCell anchor_;
    GridCell lastCell_;
    QPoint lastPoint_;
    Qt::MouseButtons dragButtons_;
    CSystemClock systemClock_;
    IControlClock* clock_ = &systemClock_;
    std::unique_ptr<IControlTimer> scrollTimer_;
};

}  // namespace kolvane
