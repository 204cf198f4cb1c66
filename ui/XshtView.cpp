#include "ui/XshtView.h"

#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "ui/SelectBox.h"

namespace kolvane {

CXshtView::CXshtView(const CColors& colors, CXshtList& sheet, CMdiaList& media, QWidget* parent)
    : CSelectView(colors, parent), sheet_(sheet), media_(media) {
    SetList(&sheet_);
}

CXshtView::~CXshtView() = default;

void CXshtView::ClearSelection() {
    media_.UnselectAll();
    sheet_.UnselectAll();
}

void CXshtView::BeginSelection(GridCell cell, Qt::KeyboardModifiers modifiers) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    // The anchor's state is read before the selection is cleared, so that a
    // Shift-click after a click selects the rectangle between the two.
    const bool anchorSelected = AnchorSelected();
    if (!ctrl) ClearSelection();
    before_.clear();
    if ((modifiers & Qt::ShiftModifier) && Anchor().IsValid() && NodeAt(Anchor()) != nullptr) {
        dragState_ = anchorSelected;
        corner_ = Anchor();
        PaintRectangle(cell);
    } else {
        SetAnchor(cell);
        corner_ = cell;
        if (CNode* node = NodeAt(cell)) {
            if (node->IsSelected()) {
                node->Unselect();
            } else {
                node->Select();
            }
            dragState_ = node->IsSelected();
        }
    }
    sheet_.rangeFlag = ctrl ? 0 : 1;
    media_.RecomputeSummaries();
    SelectionDone(cell);
}

void CXshtView::ExtendSelection(GridCell cell) {
    if (!Anchor().IsValid()) return;
    RestoreRectangle();
    PaintRectangle(cell);
    SelectionDone(cell);
}

void CXshtView::PaintRectangle(GridCell corner) {
    const GridCell anchor = Anchor();
    const auto [left, right] = std::minmax(anchor.column, corner.column);
    const auto [top, bottom] = std::minmax(anchor.row, corner.row);
    for (int column = left; column <= right; ++column) {
        for (int row = top; row <= bottom; ++row) {
            CNode* node = NodeAt({column, row});
            if (node == nullptr) continue;
            before_.try_emplace(node, node->IsSelected());
            if (!dragState_) {
                node->Unselect();
            } else if (!node->IsSelected()) {
                node->Select();
            }
        }
    }
    corner_ = corner;
}

void CXshtView::RestoreRectangle() {
    const GridCell anchor = Anchor();
    const auto [left, right] = std::minmax(anchor.column, corner_.column);
    const auto [top, bottom] = std::minmax(anchor.row, corner_.row);
    for (int column = left; column <= right; ++column) {
        for (int row = top; row <= bottom; ++row) {
            CNode* node = NodeAt({column, row});
            const auto it = node != nullptr ? before_.find(node) : before_.end();
            if (it == before_.end()) continue;
            if (!it->second) {
                node->Unselect();
            } else if (!node->IsSelected()) {
                node->Select();
            }
        }
    }
}

bool CXshtView::BeginAltDrag(GridCell cell, Qt::MouseButtons, Qt::KeyboardModifiers) {
    // The trailing blank column holds no exposure to retime.
    if (cell.column + 1 >= ColumnCount() || NodeAt(cell) == nullptr) return false;
    emit RetimeStarting(cell);
    ClearSelection();
    drag_ = std::make_unique<CRetimeDrag>(sheet_, cell.column, cell.row);
    if (!drag_->IsValid()) {
        drag_.reset();
        return false;
    }
    NodeAt(cell)->Select();
    sheet_.RecomputeSummaries();
    media_.RecomputeSummaries();
    dragRow_ = cell.row;
    setCursor(Qt::SizeVerCursor);
    emit RetimeStarted(cell);
    ListChanged();
    return true;
}

void CXshtView::ContinueAltDrag(GridCell cell, Qt::MouseButtons buttons,
                                Qt::KeyboardModifiers modifiers) {
    if (!drag_) return;
    const int rows = cell.row - dragRow_;
    if (rows == 0) return;
    const bool atEnd = FirstRow() >= MaxFirstRow();
    const bool boundary = (modifiers & Qt::AltModifier) && (buttons & Qt::MiddleButton);
    const int net = drag_->Move(rows, boundary);
    dragRow_ = cell.row;
    sheet_.RecomputeSummaries();
    emit Retimed(cell.row);
    // Scrolled to its end, the grid keeps the pointer on the cell it drags.
    if (atEnd && net != 0) {
        const int first = FirstRow();
        SetFirstRow(first + net);
        dragRow_ += FirstRow() - first;
    }
}

void CXshtView::EndAltDrag() {
    drag_.reset();
    unsetCursor();
}

QString CXshtView::TipText(GridCell cell) const {
    if (drag_) return QString::number(drag_->ExposureLength());
    return CSelectView::TipText(cell);
}

}  // namespace kolvane
