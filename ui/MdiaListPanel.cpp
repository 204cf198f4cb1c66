#include "ui/MdiaListPanel.h"

#include <QPainter>

#include "model/Anim.h"
#include "model/MdiaList.h"
#include "model/SheetEdits.h"
#include "model/SheetHistory.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "settings/Settings.h"
#include "settings/TitleBar.h"
#include "sound/SoundClip.h"
#include "storage/FileCompare.h"
#include "ui/AnimDialog.h"
#include "ui/MessageDialog.h"
#include "ui/ScrollBar.h"
#include "ui/SelectView.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kThumbnails = 2;  // the grid's cell info that shows pictures
constexpr int kLightboxSelectImage = 3;
constexpr int kLightboxRotoscope = 5;

// The media grid always shows thumbnails; the tracking tip follows the
// user's cell info setting as in the editor.
class CMdiaView : public CSelectView {
  public:
    CMdiaView(const CColors& colors, const CSettings& settings, QWidget* parent)
        : CSelectView(colors, parent), settings_(settings) {
        SetCellInfo(kThumbnails);
    }

  protected:
    bool TipWanted() const override { return settings_.Get(SettingIndex::CellInfo) != 0; }

  private:
    const CSettings& settings_;
};

}  // namespace

CMdiaListPanel::CMdiaListPanel(ICommandSink& sink, SceneLinks links, QWidget* parent)
    : CBasicPanel(sink, QColor(CColors::kMediaView), parent),
      links_(std::move(links)),
      renameAnim_(std::make_unique<CAnim>(*links_.media)) {
    view_ = new CMdiaView(Colors(), *links_.settings, this);
    vertical_ = new CVScrollBar(Colors(), this);
    horizontal_ = new CHScrollBar(Colors(), this);
    SetScrollBars(vertical_, horizontal_);
    view_->SetList(links_.media);
    view_->AttachScrollBars(vertical_, horizontal_);
    view_->SetLevelMenu(level_menu::MediaEntries());
    view_->SetWaveformBuilder([](CNode& sound) {
        if (sound.soundInfo) BuildWaveform(*sound.soundInfo, LineHeight());
    });
    renameDialog_ = new CAnimDialog(parent != nullptr ? parent->window() : nullptr, *links_.sheet,
                                    *links_.history, sink);
    connect(view_, &CSelectView::ColumnChanged, this, &CMdiaListPanel::ShowColumn);
    connect(view_, &CSelectView::RowChanged, this, &CMdiaListPanel::OnRowChanged);
    connect(view_, &CSelectView::LevelMenuChosen, this, &CMdiaListPanel::OnLevelMenu);
}

CMdiaListPanel::~CMdiaListPanel() = default;

void CMdiaListPanel::SetMessageBox(MessageBox show) {
    showMessage_ = std::move(show);
    renameDialog_->SetMessageBox(showMessage_);
}

bool CMdiaListPanel::OnCommand(int id) {
    switch (id) {
        case cmd::kMediaAdd:
            AddSelected();
            return true;
        case cmd::kMediaRename:
            Rename();
            return true;
        case cmd::kMediaRemoveSelected:
            RemoveSelected();
            return true;
        case cmd::kMediaRemoveDuplicates:
            RemoveDuplicates();
            return true;
        case cmd::kMediaSync:
            Sync();
            return true;
        case cmd::kMediaChanged:
            Refresh();
            return true;
        case cmd::kMediaShowLastAdded:
            ShowLastAdded();
            return true;
        default:
            return false;
    }
}

void CMdiaListPanel::AddSelected() {
    links_.title->SetMark(QStringLiteral("*"));
    const Result kept = links_.history->RecordEdit(*links_.sheet);
    AddSelectedMedia(*links_.media, *links_.sheet, links_.settings->Get(DefTiming));
    Sink().SendCommand(cmd::kEditorGoToCurrent);
    if (kept != kOk && showMessage_) showMessage_(CMessageDialog::kError, kept);
}

void CMdiaListPanel::Rename() {
    links_.title->SetMark(QStringLiteral("*"));
    if (!renameDialog_->IsOpen()) {
        renameAnim_->TakeSelection();
        renameDialog_->Run(CAnimDialog::Mode::kRename, *renameAnim_);
    }
    Sink().SendCommand(cmd::kMediaChanged);
    Sink().SendCommand(cmd::kMediaNamesChanged);
}

void CMdiaListPanel::RemoveSelected() {
    if (!Ask(kRemoveSelectedQuestion)) return;
    links_.title->SetMark(QStringLiteral("*"));
    RemoveSelectedMedia(*links_.media, *links_.sheet);
    if (currentColumn_ >= links_.media->Levels().size()) {
        // The level shown went: back to the first.
        currentColumn_ = 0;
        view_->SetFirstColumn(0);
    }
    SendRefreshes();
}

void CMdiaListPanel::RemoveDuplicates() {
    if (!Ask(kRemoveDuplicatesQuestion)) return;
    // Files, never the shrunk display pictures: two photos that look alike
    // small are still two photos.
    if (RemoveDuplicateImages(*links_.media, *links_.sheet, SameFileContents) > 0) {
        links_.title->SetMark(QStringLiteral("*"));
    }
    SendRefreshes();
}

void CMdiaListPanel::SendRefreshes() {
    for (int id :
         {cmd::kMediaChanged, cmd::kGrabNameRefresh, cmd::kForgetShownImage, cmd::kGrabberRefresh,
          cmd::kSheetChanged, cmd::kPlayerRefresh, cmd::kRangeInitialise}) {
        Sink().SendCommand(id);
    }
}

void CMdiaListPanel::Sync() {
    const CNode* level = links_.media->Levels().at(currentColumn_);
    const int count = level != nullptr ? level->children->size() : 0;
    const int row = std::clamp(links_.media->currentPosition, 0, std::max(0, count - 1));
    view_->SetCurrentRow(count > 0 ? row : -1);
    // Into view, moving no more than it takes.
    const int first = view_->FirstRow();
    const int rows = std::max(1, view_->VisibleRows());
    if (row < first) view_->SetFirstRow(row);
    if (row >= first + rows) view_->SetFirstRow(row - rows + 1);
    const int lightbox = links_.settings->Get(Lightbox);
    if (lightbox == kLightboxSelectImage || lightbox == kLightboxRotoscope) {
        Sink().SendCommand(cmd::kLightboxChanged);
    }
}

void CMdiaListPanel::Refresh() {
    const CNode* images = links_.media->ImageLevel();
    links_.title->SetImageCount(images != nullptr ? images->children->size() : 0);
    view_->ListChanged();  // both bars' ranges follow the list
    update();
}

void CMdiaListPanel::ShowLastAdded() {
    if (const CNode* images = links_.media->ImageLevel()) {
        currentColumn_ = links_.media->IndexOfLevel(images);
        ShowColumn(currentColumn_);
    }
    view_->SetFirstRow(links_.media->currentPosition - view_->VisibleRows() / 2);
    Sync();
    Refresh();
}

void CMdiaListPanel::ShowColumn(int column) {
    currentColumn_ = column;
    if (column < view_->FirstColumn() || column >= view_->FirstColumn() + view_->VisibleColumns()) {
        view_->SetFirstColumn(column);
    }
}

void CMdiaListPanel::OnRowChanged(int row) {
    links_.media->currentPosition = row;
    Sync();
}

void CMdiaListPanel::OnLevelMenu(int column, int entry) {
    CMdiaList& media = *links_.media;
    CNode* level = media.Levels().at(column);
    if (level == nullptr) return;
    if (level_menu::AsksForText(entry)) {
        const QString title = level_menu::DialogTitle(entry, level->name);
        const QString initial =
            entry == level_menu::kSetName ? level->name : QString::number(column + 1);
        const std::optional<QString> text =
            askText_ ? askText_(title, initial) : CNameDialog(window()).Ask(title, initial);
        if (!text) return;
        if (entry == level_menu::kSetName) media.SetLevelName(level, *text);
        if (entry == level_menu::kSetRank) media.SetLevelRank(level, *text);
    } else if (entry == level_menu::kSortList) {
        media.SortLevel(level);
    } else if (entry == level_menu::kSelectAll) {
        media.SelectAllInLevel(level);
    } else if (entry == level_menu::kUnselectAll) {
        media.UnselectAllInLevel(level);
    } else if (entry == level_menu::kSelectUnused) {
        media.SelectUnusedInLevel(level, *links_.sheet);
    }
    Refresh();
}

bool CMdiaListPanel::Ask(int messageId) {
    if (showMessage_)
        return showMessage_(CMessageDialog::kConfirm, messageId) == CBasicDialog::kYes;
    if (messageBox_ == nullptr) messageBox_ = new CMessageDialog(window());
    return messageBox_->Show(CMessageDialog::kConfirm, messageId) == CBasicDialog::kYes;
}

void CMdiaListPanel::LayoutChildren() {
    const int line = LineHeight();
    const int gridWidth = std::max(0, width() - line);
    const int gridHeight = std::max(0, height() - line);
    // Both levels side by side when there is room for them.
    view_->SetVisibleColumns(gridWidth >= 12 * line ? 2 : 1);
    view_->setGeometry(0, 0, gridWidth, gridHeight);
    vertical_->setGeometry(gridWidth, 0, line, gridHeight);
    horizontal_->setGeometry(0, gridHeight, gridWidth, line);
}

void CMdiaListPanel::PaintPanel(QPainter& painter) {
    painter.fillRect(rect(), Colors().Fill(CColors::kFace));
}

}  // namespace kolvane
