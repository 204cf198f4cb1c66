#pragma once

#include <memory>

#include "ui/BasicPanel.h"
#include "ui/LevelMenu.h"
#include "ui/SceneLinks.h"

namespace kolvane {

class CAnim;
class CAnimDialog;
class CMessageDialog;
class CScrollBar;
class CSelectView;

// The media view, always on the left of the main window: the media list's
// levels ("images", "sounds") as columns of a grid, one item per row, with
// thumbnails of the loaded pictures and the sounds' waveforms. From here the
// selected media go onto the exposure sheet, are renamed or removed, and
// duplicate images are merged.
class CMdiaListPanel : public CBasicPanel {
    Q_OBJECT
  public:
    // Shows a message box of `kind` with message `id` and answers its result.
    using MessageBox = std::function<int(int kind, int id)>;

    static constexpr int kRemoveSelectedQuestion = 60028;
    static constexpr int kRemoveDuplicatesQuestion = 60029;

    CMdiaListPanel(ICommandSink& sink, SceneLinks links, QWidget* parent);
    ~CMdiaListPanel() override;

    bool OnCommand(int id) override;

    CSelectView& View() const { return *view_; }
    CAnimDialog& RenameDialog() const { return *renameDialog_; }
    // The level whose current row the view follows.
    int CurrentColumn() const { return currentColumn_; }

    // Where questions and messages go (tests put their own); the rename
    // dialog's clash question goes there too.
    void SetMessageBox(MessageBox show);
    void SetTextQuery(TextQuery ask) { askText_ = std::move(ask); }

  protected:
    void LayoutChildren() override;
    void PaintPanel(QPainter& painter) override;

  private:
    void AddSelected();
    void Rename();
    void RemoveSelected();
    void RemoveDuplicates();
    void Sync();
    void Refresh();
    void ShowLastAdded();
    void SendRefreshes();
    void ShowColumn(int column);
    void OnRowChanged(int row);
    void OnLevelMenu(int column, int entry);
    bool Ask(int messageId);

    SceneLinks links_;
    CSelectView* view_;
    CScrollBar* vertical_;
    CScrollBar* horizontal_;
    std::unique_ptr<CAnim> renameAnim_;
    CAnimDialog* renameDialog_;
    CMessageDialog* messageBox_ = nullptr;
    MessageBox showMessage_;
    TextQuery askText_;
    int currentColumn_ = 0;
};

}  // namespace kolvane
