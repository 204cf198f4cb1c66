#include "ui/SelectView.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>

#include "model/MediaInfo.h"
#include "platform/StringTable.h"
#include "ui/ScrollBar.h"
#include "ui/SelectBox.h"
#include "ui/SelectMenu.h"
#include "ui/TrackTip.h"
#include "ui/UiMetrics.h"

namespace kolvane {

CSelectView::CSelectView(const CColors& colors, QWidget* parent)
    : QWidget(parent),
      colors_(&colors),
      tip_(new CTrackTip(colors, this)),
      menu_(new CSelectMenu(colors, this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(menu_, &CSelectMenu::Chosen, this, [this](int index) {
        if (menuColumn_ >= 0 && index < levelMenu_.size()) {
            emit LevelMenuChosen(menuColumn_, levelMenu_[index]);
        }
    });
    SetVisibleColumns(1);
}

CSelectView::~CSelectView() {
    if (list_ != nullptr && list_->view == this) list_->view = nullptr;
}

void CSelectView::SetList(CListList* list) {
    if (list_ != nullptr && list_->view == this) list_->view = nullptr;
    list_ = list;
    if (list_ != nullptr) list_->view = this;
    anchor_ = {};
    ListChanged();
}

void CSelectView::SetClock(IControlClock& clock) {
    if (scrollTimer_) scrollTimer_->Stop();
    scrollTimer_.reset();
    clock_ = &clock;
}

void CSelectView::SetVisibleColumns(int count) {
    count = std::max(1, count);
    while (static_cast<int>(boxes_.size()) > count) {
        delete boxes_.back();
        boxes_.pop_back();
    }
    while (static_cast<int>(boxes_.size()) < count) {
        auto* box = new CSelectBox(*this, *colors_);
        connect(box, &CSelectBox::Command, this, [this, box](int id) { OnBoxCommand(box, id); });
        box->show();
        boxes_.push_back(box);
    }
    firstColumn_ = std::clamp(firstColumn_, 0, MaxFirstColumn());
    LayoutBoxes();
    RebindBoxes();
}

CSelectBox* CSelectView::Box(int visibleIndex) const {
    if (visibleIndex < 0 || visibleIndex >= VisibleColumns()) return nullptr;
    return boxes_[static_cast<std::size_t>(visibleIndex)];
}

int CSelectView::ColumnCount() const {
    return list_ != nullptr ? list_->Levels().size() : 0;
}

int CSelectView::RowCount() const {
    return list_ != nullptr ? list_->LongestLevel() : 0;
}

int CSelectView::HeaderHeight() const {
    return headerVisible_ ? LineHeight() : 0;
}

int CSelectView::VisibleRows() const {
    return std::max(0, (height() - HeaderHeight()) / LineHeight());
}

int CSelectView::MaxFirstRow() const {
    return std::max(0, RowCount() - VisibleRows());
}

int CSelectView::MaxFirstColumn() const {
    return std::max(0, ColumnCount() - VisibleColumns());
}

int CSelectView::FirstRow() const {
    return list_ != nullptr ? list_->Totals().firstShownRow : localFirstRow_;
}

void CSelectView::SetFirstRow(int row) {
    row = std::clamp(row, 0, MaxFirstRow());
    if (row == FirstRow()) return;
    (list_ != nullptr ? list_->Totals().firstShownRow : localFirstRow_) = row;
    if (vertical_ != nullptr) vertical_->SetPosition(row);
    PrepareWaveforms();
    for (CSelectBox* box : boxes_)
        box->update();
}

void CSelectView::SetFirstColumn(int column) {
    column = std::clamp(column, 0, MaxFirstColumn());
    if (column == firstColumn_) return;
    firstColumn_ = column;
    if (horizontal_ != nullptr) horizontal_->SetPosition(column);
    PrepareWaveforms();
    RebindBoxes();
}

void CSelectView::SetHeaderVisible(bool visible) {
    headerVisible_ = visible;
    for (CSelectBox* box : boxes_)
        box->Refresh();
}

void CSelectView::SetCellInfo(int mode) {
    cellInfo_ = mode;
    for (CSelectBox* box : boxes_)
        box->update();
}

void CSelectView::SetCurrentRow(int row) {
    currentRow_ = row;
    for (CSelectBox* box : boxes_)
        box->update();
}

void CSelectView::RedrawCells() {
    for (CSelectBox* box : boxes_)
        box->update();
}

QImage CSelectView::Thumbnail(const CNode& item) const {
    return thumbnailSource_ ? thumbnailSource_(item) : item.texture;
}

void CSelectView::SetWaveformBuilder(std::function<void(CNode&)> builder) {
    waveformBuilder_ = std::move(builder);
    PrepareWaveforms();
    update();
}

const std::vector<std::pair<std::int16_t, std::int16_t>>* CSelectView::Waveform(
    const CNode& soundItem) const {
    if (!soundItem.soundInfo || soundItem.soundInfo->waveform.empty()) return nullptr;
    return &soundItem.soundInfo->waveform;
}

void CSelectView::PrepareWaveforms() {
    if (!waveformBuilder_ || list_ == nullptr) return;
    const int last = FirstRow() + VisibleRows();
    for (int i = 0; i < VisibleColumns(); ++i) {
        const CNode* level = LevelAt(firstColumn_ + i);
        if (level == nullptr || !level->children) continue;
        for (int row = FirstRow(); row < last && row < level->children->size(); ++row) {
            CNode* node = level->children->at(row);
            CNode* item = node->Is(kTypeCell) ? node->item : node;
            if (item != nullptr && item->HasAny(kTypeSound) && item->soundInfo &&
                item->soundInfo->waveform.empty()) {
                waveformBuilder_(*item);
            }
        }
    }
}

void CSelectView::AttachScrollBars(CScrollBar* vertical, CScrollBar* horizontal) {
    vertical_ = vertical;
    horizontal_ = horizontal;
    if (vertical_ != nullptr) {
        connect(vertical_, &CScrollBar::PositionChanged, this, [this](int position) {
            SetFirstRow(position);
            emit FirstRowChanged(FirstRow());
        });
    }
    if (horizontal_ != nullptr) {
        connect(horizontal_, &CScrollBar::PositionChanged, this, [this](int position) {
            SetFirstColumn(position);
            emit FirstColumnChanged(firstColumn_);
        });
    }
    SyncScrollBars();
}

void CSelectView::SyncScrollBars() {
    if (vertical_ != nullptr) {
        vertical_->SetRange(0, RowCount());
        vertical_->SetPage(VisibleRows());
        vertical_->SetPosition(FirstRow());
    }
    if (horizontal_ != nullptr) {
        horizontal_->SetRange(0, ColumnCount());
        horizontal_->SetPage(VisibleColumns());
        horizontal_->SetPosition(firstColumn_);
    }
}

void CSelectView::ListChanged() {
    firstColumn_ = std::clamp(firstColumn_, 0, MaxFirstColumn());
    if (list_ != nullptr) {
        int& first = list_->Totals().firstShownRow;
        first = std::clamp(first, 0, MaxFirstRow());
    }
    if (anchor_.column >= ColumnCount()) anchor_ = {};
    PrepareWaveforms();
    RebindBoxes();
    SyncScrollBars();
    update();
}

void CSelectView::LayoutBoxes() {
    const int count = VisibleColumns();
    const int each = width() / count;
    for (int i = 0; i < count; ++i) {
        const int left = i * each;
        const int right = i + 1 == count ? width() : left + each;
        // One pixel apart, so the columns read as columns.
        boxes_[static_cast<std::size_t>(i)]->setGeometry(left, 0, right - left - 1, height());
    }
}

void CSelectView::RebindBoxes() {
    for (int i = 0; i < VisibleColumns(); ++i) {
        const int column = firstColumn_ + i;
        boxes_[static_cast<std::size_t>(i)]->SetColumn(column < ColumnCount() ? column : -1);
    }
}

void CSelectView::resizeEvent(QResizeEvent*) {
    LayoutBoxes();
    ListChanged();
}

void CSelectView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}

CNode* CSelectView::LevelAt(int column) const {
    if (list_ == nullptr) return nullptr;
    return list_->Levels().at(column);
}

CNode* CSelectView::NodeAt(GridCell cell) const {
    const CNode* level = LevelAt(cell.column);
    if (level == nullptr || !level->children) return nullptr;
    return level->children->at(cell.row);
}

GridCell CSelectView::CellAt(QPoint point) const {
    if (ColumnCount() == 0 || RowCount() == 0) return {};
    const int each = std::max(1, width() / VisibleColumns());
    const int visibleColumn = std::clamp(point.x() / each, 0, VisibleColumns() - 1);
    const int line = LineHeight();
    const int y = point.y() - HeaderHeight();
    const int visibleRow = y < 0 ? 0 : std::min(y / line, std::max(0, VisibleRows() - 1));
    return {std::clamp(firstColumn_ + visibleColumn, 0, ColumnCount() - 1),
            std::clamp(FirstRow() + visibleRow, 0, RowCount() - 1)};
}

QRect CSelectView::CellRect(GridCell cell) const {
    const int each = std::max(1, width() / VisibleColumns());
    const int line = LineHeight();
    return QRect((cell.column - firstColumn_) * each,
                 HeaderHeight() + (cell.row - FirstRow()) * line, each - 1, line);
}

void CSelectView::ClearSelection() {
    if (list_ != nullptr) list_->UnselectAll();
}

bool CSelectView::AnchorSelected() const {
    const CNode* anchorNode = NodeAt(anchor_);
    return anchorNode != nullptr && anchorNode->IsSelected();
}

void CSelectView::ApplyRectangle(GridCell cell, bool select) {
    const auto [left, right] = std::minmax(anchor_.column, cell.column);
    const auto [top, bottom] = std::minmax(anchor_.row, cell.row);
    for (int column = left; column <= right; ++column) {
        for (int row = top; row <= bottom; ++row) {
            CNode* node = NodeAt({column, row});
            if (node == nullptr) continue;
            if (select) {
                if (!node->IsSelected()) node->Select();
            } else {
                node->Unselect();
            }
        }
    }
}

void CSelectView::BeginSelection(GridCell cell, Qt::KeyboardModifiers modifiers) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    // The anchor's state is taken before the selection is cleared, so that a
    // Shift-click after a click selects the rectangle between the two.
    const bool anchorSelected = AnchorSelected();
    if (!ctrl) ClearSelection();
    if ((modifiers & Qt::ShiftModifier) && anchor_.IsValid()) {
        ApplyRectangle(cell, anchorSelected);
    } else {
        anchor_ = cell;
        if (CNode* node = NodeAt(cell)) {
            if (node->IsSelected()) {
                node->Unselect();
            } else {
                node->Select();
            }
        }
    }
    list_->rangeFlag = ctrl ? 0 : 1;
    SelectionDone(cell);
}

void CSelectView::ExtendSelection(GridCell cell) {
    if (!anchor_.IsValid()) anchor_ = cell;
    ApplyRectangle(cell, AnchorSelected());
    SelectionDone(cell);
}

void CSelectView::SelectionDone(GridCell cell) {
    list_->RecomputeSummaries();
    for (CSelectBox* box : boxes_)
        box->update();
    emit SelectionChanged();
    emit ColumnChanged(cell.column);
    emit RowChanged(cell.row);
}

QString CSelectView::TipText(GridCell cell) const {
    const CNode* node = NodeAt(cell);
    const QString number = QString::number(cell.row + rowNumberBase_);
    if (node == nullptr || node->name.isEmpty()) return number;
    return number + QStringLiteral("  ") + node->name;
}

void CSelectView::UpdateTip(QPoint point, GridCell cell) {
    if (!TipWanted() || !cell.IsValid()) return;
    tip_->ShowAt(mapToGlobal(point), TipText(cell));
}

void CSelectView::mousePressEvent(QMouseEvent* event) {
    if (drag_ != Drag::kNone || list_ == nullptr) return;
    const QPoint point = event->position().toPoint();
    const GridCell cell = CellAt(point);
    if (!cell.IsValid()) return;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool alt = modifiers & Qt::AltModifier;
    lastPoint_ = point;
    lastCell_ = cell;
    dragButtons_ = event->buttons();
    // The main window hands a middle press on as a left one with the middle
    // button among the held buttons.
    const bool middle =
        event->button() == Qt::MiddleButton ||
        (event->button() == Qt::LeftButton && (event->buttons() & Qt::MiddleButton));
    if (middle || (event->button() == Qt::LeftButton && alt)) {
        if (BeginAltDrag(cell, event->buttons(), modifiers)) drag_ = Drag::kAlt;
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    drag_ = Drag::kSelect;
    BeginSelection(cell, modifiers);
    UpdateTip(point, cell);
}

void CSelectView::TrackTo(QPoint point, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    const GridCell cell = CellAt(point);
    if (!cell.IsValid()) return;
    if (cell != lastCell_) {
        lastCell_ = cell;
        if (drag_ == Drag::kSelect) {
            ExtendSelection(cell);
        } else {
            ContinueAltDrag(cell, buttons, modifiers);
        }
    }
    UpdateTip(point, cell);
}

void CSelectView::mouseMoveEvent(QMouseEvent* event) {
    if (drag_ == Drag::kNone) return;
    lastPoint_ = event->position().toPoint();
    dragButtons_ = event->buttons();
    const QRect grid = rect().adjusted(0, HeaderHeight(), 0, 0);
    if (grid.contains(lastPoint_)) {
        if (scrollTimer_) scrollTimer_->Stop();
        TrackTo(lastPoint_, event->buttons(), event->modifiers());
        return;
    }
    if (!scrollTimer_) scrollTimer_ = clock_->CreateTimer([this] { AutoScrollStep(); });
    if (!scrollTimer_->IsActive()) scrollTimer_->Start(kAutoScrollMs, true);
}

void CSelectView::AutoScrollStep() {
    if (drag_ == Drag::kNone) {
        scrollTimer_->Stop();
        return;
    }
    const QRect grid = rect().adjusted(0, HeaderHeight(), 0, 0);
    const int firstRow = FirstRow();
    const int firstColumn = firstColumn_;
    if (lastPoint_.y() < grid.top()) SetFirstRow(firstRow - 1);
    if (lastPoint_.y() > grid.bottom()) SetFirstRow(firstRow + 1);
    if (lastPoint_.x() < grid.left()) SetFirstColumn(firstColumn - 1);
    if (lastPoint_.x() > grid.right()) SetFirstColumn(firstColumn + 1);
    if (FirstRow() != firstRow) emit FirstRowChanged(FirstRow());
    if (firstColumn_ != firstColumn) emit FirstColumnChanged(firstColumn_);
    TrackTo(lastPoint_, dragButtons_, QGuiApplication::keyboardModifiers());
}

void CSelectView::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ == Drag::kNone || event->buttons() != Qt::NoButton) return;
    if (scrollTimer_) scrollTimer_->Stop();
    const Drag ended = drag_;
    drag_ = Drag::kNone;
    tip_->hide();
    if (ended == Drag::kSelect) {
        EndSelection();
    } else {
        EndAltDrag();
    }
}

void CSelectView::OnBoxCommand(CSelectBox* box, int id) {
    CNode* level = box->Level();
    if (level == nullptr) return;
    const int column = box->Column();
    if (id == CSelectBox::kSwitchCommand) {
        level->flags ^= kFlagOn;
        list_->RecomputeSummaries();
        box->Refresh();
        emit LevelSwitched(column, (level->flags & kFlagOn) != 0);
    } else if (id == CSelectBox::kMenuCommand && !levelMenu_.isEmpty()) {
        QStringList texts;
        for (int textId : levelMenu_)
            texts << StringText(textId);
        menuColumn_ = column;
        menu_->SetItems(texts);
        menu_->SetVisibleRows(static_cast<int>(texts.size()));
        const QRect header(box->mapToGlobal(QPoint(0, 0)), QSize(box->width(), HeaderHeight()));
        menu_->Open(header, 0);
    }
}

}  // namespace kolvane
