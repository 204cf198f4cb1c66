#include "ui/XshtMainPanel.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

#include "model/MdiaList.h"
#include "model/SceneState.h"
#include "model/SheetEdits.h"
#include "model/SheetHistory.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "sound/SoundClip.h"
#include "ui/CounterBar.h"
#include "ui/MessageDialog.h"
#include "ui/RangeDialog.h"
#include "ui/ScrollBar.h"
#include "ui/UiMetrics.h"
#include "ui/XshtView.h"

namespace kolvane {
namespace {

constexpr int kMinColumns = 1;
constexpr int kMaxColumns = 10;

}  // namespace

CXshtMainPanel::CXshtMainPanel(ICommandSink& sink, SceneLinks links, QWidget* parent)
    : CBasicPanel(sink, QColor(CColors::kPlayerView), parent), links_(std::move(links)) {
    view_ = new CXshtView(Colors(), *links_.sheet, *links_.media, this);
    counter_ = new CCounterBar(Colors(), this);
    vertical_ = new CVScrollBar(Colors(), this);
    horizontal_ = new CHScrollBar(Colors(), this);
    SetScrollBars(vertical_, horizontal_);
    counter_->SetList(links_.sheet);
    counter_->SetHeaderHeight(view_->HeaderHeight());
    view_->AttachScrollBars(vertical_, horizontal_);
    view_->SetLevelMenu(level_menu::SheetEntries());
    if (links_.thumbnail) view_->SetThumbnailSource(links_.thumbnail);
    view_->SetWaveformBuilder([](CNode& sound) {
        if (sound.soundInfo) BuildWaveform(*sound.soundInfo, LineHeight());
    });
    ReadSettings();
    view_->SetVisibleColumns(
        std::clamp(links_.settings->Get(ColumnCount), kMinColumns, kMaxColumns));

    connect(view_, &CSelectView::FirstRowChanged, this, [this] { SyncCounter(); });
    connect(view_, &CSelectView::RowChanged, this, &CXshtMainPanel::OnSelected);
    connect(view_, &CXshtView::RetimeStarting, this, [this] { BeginEdit(); });
    connect(view_, &CXshtView::RetimeStarted, this, [this](GridCell cell) {
        MoveCurrentFrame(cell.row);
        Sink().SendCommand(cmd::kMediaSync);
        Sink().SendCommand(cmd::kEditorRefresh);
    });
    connect(view_, &CXshtView::Retimed, this, [this](int row) {
        Sink().SendCommand(cmd::kSheetChanged);
        Sink().SendCommand(cmd::kRangeInitialise);
        MoveCurrentFrame(std::clamp(row, 0, std::max(0, links_.sheet->FrameCount() - 1)));
        view_->SetCurrentRow(links_.sheet->CurrentFrame());
        SyncCounter();
    });
    connect(view_, &CSelectView::LevelMenuChosen, this, &CXshtMainPanel::OnLevelMenu);
    connect(view_, &CSelectView::LevelSwitched, this,
            [this] { Sink().SendCommand(cmd::kPlayerRefresh); });
    connect(counter_, &CCounterBar::CurrentFrameChanged, this, [this](int frame, int from) {
        CurrentFrameMoved(from);
        view_->SetCurrentRow(frame);
        Sink().SendCommand(cmd::kPlayerRefresh);
    });
    connect(counter_, &CCounterBar::Command, this, [this](int id) { Sink().PostCommand(id); });
}

CXshtMainPanel::~CXshtMainPanel() {
    if (waitingForTarget_) {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
}

bool CXshtMainPanel::OnCommand(int id) {
    switch (id) {
        case cmd::kEditorRefresh:
            EditorShown();
            return true;
        case cmd::kSheetChanged:
            SheetChanged();
            return true;
        case cmd::kEditorGoToCurrent:
            GoToCurrentFrame();
            return true;
        case cmd::kEditorColumnCount:
            ColumnCountChanged();
            return true;
        case cmd::kMediaNamesChanged:
            links_.sheet->RefreshNamesFromMedia(*links_.media);
            SheetChanged();
            return true;
        case cmd::kDuplicate:
            Duplicate();
            return true;
        case cmd::kRemove:
            Remove();
            return true;
        case cmd::kEditRange:
            EditRange();
            return true;
        default:
            // The range dialog's own commands while it is open.
            return range_ != nullptr && range_->OnCommand(id);
    }
}

void CXshtMainPanel::ReadSettings() {
    const CSettings& settings = *links_.settings;
    view_->SetCellInfo(settings.Get(CellInfo));
    view_->SetRowNumberBase(settings.Get(FrameStart));
    counter_->SetFrameStart(settings.Get(FrameStart));
}

void CXshtMainPanel::EditorShown() {
    ReadSettings();
    const int first = links_.sheet->Totals().firstShownRow;
    vertical_->SetRange(0, links_.sheet->SheetLength());
    vertical_->SetPosition(first);
    view_->SetFirstRow(first);
    view_->SetCurrentRow(links_.sheet->CurrentFrame());
    SyncCounter();
}

void CXshtMainPanel::SheetChanged() {
    CXshtList& sheet = *links_.sheet;
    sheet.Normalise();
    view_->ListChanged();  // keeps the first shown column where it can
    links_.title->SetFrameCount(sheet.FrameCount());
    view_->SetCurrentRow(sheet.CurrentFrame());
    SyncCounter();
    update();
}

void CXshtMainPanel::GoToCurrentFrame() {
    links_.sheet->Totals().firstShownRow =
        std::max(0, links_.sheet->CurrentFrame() - view_->VisibleRows() / 2);
    EditorShown();
    SheetChanged();
}

void CXshtMainPanel::ColumnCountChanged() {
    const int count = std::clamp(links_.settings->Get(ColumnCount), kMinColumns, kMaxColumns);
    if (count == view_->VisibleColumns()) return;
    view_->SetVisibleColumns(count);
    view_->ListChanged();
    update();
}

void CXshtMainPanel::SyncCounter() {
    counter_->SetFirstRow(view_->FirstRow());
}

void CXshtMainPanel::MoveCurrentFrame(int frame) {
    const int from = links_.sheet->CurrentFrame();
    links_.sheet->SetCurrentFrame(frame);
    CurrentFrameMoved(from);
}

void CXshtMainPanel::CurrentFrameMoved(int from) {
    if (links_.currentFrameMoved && links_.sheet->CurrentFrame() != from)
        links_.currentFrameMoved(from);
}

void CXshtMainPanel::OnSelected(int row) {
    MoveCurrentFrame(row);
    Sink().SendCommand(cmd::kMediaSync);
    Sink().SendCommand(cmd::kEditorRefresh);
    Sink().SendCommand(cmd::kRangeInitialise);
    view_->SetCurrentRow(row);
    counter_->update();
}

void CXshtMainPanel::BeginEdit() {
    links_.sceneState->SetUnsavedChanges(true);
    const Result result = links_.history->RecordEdit(*links_.sheet);
    // The edit goes on: it only cannot be undone to here.
    if (result != kOk) ShowMessage(CMessageDialog::kError, result);
}

void CXshtMainPanel::Duplicate() {
    if (!waitingForTarget_) {
        waitingForTarget_ = true;
        QApplication::setOverrideCursor(Qt::WhatsThisCursor);
        qApp->installEventFilter(this);
        return;
    }
    waitingForTarget_ = false;
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    const QPoint global = targetClick_.value_or(QCursor::pos());
    targetClick_.reset();
    const bool escape = links_.escapeHeld && links_.escapeHeld();
    if (escape || !rect().contains(mapFromGlobal(global))) return;
    const GridCell target = view_->CellAt(view_->mapFromGlobal(global));
    if (!target.IsValid()) return;
    BeginEdit();
    const bool overwrite = QApplication::keyboardModifiers() & Qt::AltModifier;
    DuplicateSelection(*links_.sheet, target.column, target.row, overwrite);
    SheetChanged();
}

void CXshtMainPanel::Remove() {
    BeginEdit();
    const bool blank = QApplication::keyboardModifiers() & Qt::AltModifier;
    RemoveSelection(*links_.sheet, blank);
    Sink().SendCommand(cmd::kSheetChanged);
    Sink().SendCommand(cmd::kRangeInitialise);
}

void CXshtMainPanel::EditRange() {
    if (range_ == nullptr) {
        range_ =
            new CRangeDialog(window(), *links_.sheet, *links_.sceneState, *links_.history, Sink());
        if (showMessage_) range_->SetMessageBox(showMessage_);
    }
    if (!range_->IsOpen()) range_->Open();
}

void CXshtMainPanel::OnLevelMenu(int column, int entry) {
    CXshtList& sheet = *links_.sheet;
    CNode* level = sheet.Levels().at(column);
    if (level == nullptr) return;
    std::optional<QString> text;
    if (level_menu::AsksForText(entry)) {
        const QString initial = entry == level_menu::kSetName   ? level->name
                                : entry == level_menu::kSetRank ? QString::number(column + 1)
                                                                : QString();
        if (!askText_) {
            if (!(text = CNameDialog(window()).Ask(level_menu::DialogTitle(entry, level->name),
                                                   initial))) {
                return;
            }
        } else if (!(text = askText_(level_menu::DialogTitle(entry, level->name), initial))) {
            return;
        }
    }
    if (level_menu::ChangesSelectionOnly(entry)) {
        if (entry == level_menu::kSelectAll) sheet.SelectAllInLevel(level);
        if (entry == level_menu::kUnselectAll) sheet.UnselectAllInLevel(level);
        if (entry == level_menu::kSelectUnused) sheet.SelectUnusedInLevel(level, sheet);
        sheet.rangeFlag = 1;
        Sink().SendCommand(cmd::kRangeInitialise);
        return;
    }
    BeginEdit();
    switch (entry) {
        case level_menu::kSetName:
            sheet.SetLevelName(level, *text);
            break;
        case level_menu::kSetRank:
            sheet.SetLevelRank(level, *text);
            break;
        case level_menu::kAddItem:
            if (CNode* item = links_.media->FindItemByName(text->trimmed())) {
                sheet.AppendCell(item, column);
                sheet.Pad(true);
            }
            break;
        case level_menu::kSortList:
            sheet.SortLevel(level);
            break;
        default:
            break;
    }
    Sink().SendCommand(cmd::kSheetChanged);
}

int CXshtMainPanel::ShowMessage(int kind, int id) {
    if (showMessage_) return showMessage_(kind, id);
    if (messageBox_ == nullptr) messageBox_ = new CMessageDialog(window());
    return messageBox_->Show(kind, id);
}

void CXshtMainPanel::LayoutChildren() {
    const int line = LineHeight();
    const int counterWidth = fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 8;
    const int gridWidth = std::max(0, width() - counterWidth - line);
    const int gridHeight = std::max(0, height() - line);
    counter_->setGeometry(0, 0, counterWidth, gridHeight);
    view_->setGeometry(counterWidth, 0, gridWidth, gridHeight);
    vertical_->setGeometry(width() - line, 0, line, gridHeight);
    horizontal_->setGeometry(counterWidth, gridHeight, gridWidth, line);
    counter_->SetHeaderHeight(view_->HeaderHeight());
    SyncCounter();
}

void CXshtMainPanel::PaintPanel(QPainter& painter) {
    painter.fillRect(rect(), Colors().Fill(CColors::kFace));
}

// The range dialog shows and hides with the editor.
void CXshtMainPanel::showEvent(QShowEvent* event) {
    CBasicPanel::showEvent(event);
    if (range_ != nullptr && range_->IsOpen() && rangeWasOpen_) range_->show();
}

void CXshtMainPanel::hideEvent(QHideEvent* event) {
    CBasicPanel::hideEvent(event);
    rangeWasOpen_ = range_ != nullptr && range_->IsOpen();
    if (rangeWasOpen_) range_->hide();
}

// While waiting for the duplicate's target, a left click anywhere on the
// panel names it.
bool CXshtMainPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress || !waitingForTarget_) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (widget == nullptr || mouse->button() != Qt::LeftButton ||
        (widget != this && !isAncestorOf(widget))) {
        return false;
    }
    targetClick_ = mouse->globalPosition().toPoint();
    Sink().SendCommand(cmd::kDuplicate);
    return true;
}

}  // namespace kolvane
