#pragma once

#include <memory>
#include <unordered_map>

#include "model/SheetEdits.h"
#include "ui/SelectView.h"

namespace kolvane {

class CMdiaList;
class CXshtList;

// The grid of the exposure sheet. A left click selects as the grid does, but
// clears the media list's selection too, and a drag keeps only the rectangle
// between the anchor and the pointer in the anchor's state (over what was
// selected before a Ctrl drag). The middle button, or Alt with the left one,
// retimes: dragging a cell up and down changes exposure lengths.
class CXshtView : public CSelectView {
    Q_OBJECT
  public:
    CXshtView(const CColors& colors, CXshtList& sheet, CMdiaList& media, QWidget* parent);
    ~CXshtView() override;

    bool IsRetiming() const { return drag_ != nullptr; }
    // Where the retiming drag's anchor is (for tests and the tip).
    const CRetimeDrag* RetimeDrag() const { return drag_.get(); }

  signals:
    // A retiming drag began on `cell`: the sheet is to be kept as an undo step
    // before anything changes.
    void RetimeStarting(GridCell cell);
    void RetimeStarted(GridCell cell);
    // A step of the drag changed the sheet; the pointer is on `row`.
    void Retimed(int row);

  protected:
    void ClearSelection() override;
    void BeginSelection(GridCell cell, Qt::KeyboardModifiers modifiers) override;
    void ExtendSelection(GridCell cell) override;
    bool BeginAltDrag(GridCell cell, Qt::MouseButtons buttons,
                      Qt::KeyboardModifiers modifiers) override;
    void ContinueAltDrag(GridCell cell, Qt::MouseButtons buttons,
                         Qt::KeyboardModifiers modifiers) override;
    void EndAltDrag() override;
    QString TipText(GridCell cell) const override;

  private:
    // Cells of the rectangle between the anchor and `corner` take `select`;
    // what they were before the drag is kept to give back.
    void PaintRectangle(GridCell corner);
    void RestoreRectangle();

    CXshtList& sheet_;
    CMdiaList& media_;
    bool dragState_ = false;
    GridCell corner_;
    std::unordered_map<CNode*, bool> before_;
    std::unique_ptr<CRetimeDrag> drag_;
    int dragRow_ = 0;
};

}  // namespace kolvane
