#pragma once

#include <optional>

#include <QPoint>

#include "ui/BasicPanel.h"
#include "ui/LevelMenu.h"
#include "ui/SceneLinks.h"

namespace kolvane {

class CCounterBar;
class CMessageDialog;
class CRangeDialog;
class CScrollBar;
class CXshtView;
struct GridCell;

// The Editor work area: the exposure sheet as a grid of columns and frame
// rows with the frame counter beside it and its two scroll bars. It selects
// and retimes cells (CXshtView), duplicates and removes the selected cells,
// opens the range dialog on them, and keeps the title's frame count.
//
// Duplicate is a command in two steps: the first waits for a target, the
// next (a left click on the panel, the button or Insert) copies the selected
// cells to the cell under the pointer.
class CXshtMainPanel : public CBasicPanel {
    Q_OBJECT
  public:
    // Shows a message box of `kind` with message `id` and answers its result.
    using MessageBox = std::function<int(int kind, int id)>;

    CXshtMainPanel(ICommandSink& sink, SceneLinks links, QWidget* parent);
    ~CXshtMainPanel() override;

    bool OnCommand(int id) override;

    CXshtView& View() const { return *view_; }
    CCounterBar& Counter() const { return *counter_; }
    CRangeDialog* RangeDialog() const { return range_; }
    bool WaitingForDuplicateTarget() const { return waitingForTarget_; }

    // Where messages and the level dialogs' questions go (tests put their own).
    void SetMessageBox(MessageBox show) { showMessage_ = std::move(show); }
    void SetTextQuery(TextQuery ask) { askText_ = std::move(ask); }

  protected:
    void LayoutChildren() override;
    void PaintPanel(QPainter& painter) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The command handlers.
    void EditorShown();
    void SheetChanged();
    void GoToCurrentFrame();
    void ColumnCountChanged();
    void Duplicate();
    void Remove();
    void EditRange();

    // Marks the scene changed and keeps the sheet as an undo step.
    void BeginEdit();
    void SyncCounter();
    // The sheet's current frame is `frame`, moved by the editor.
    void MoveCurrentFrame(int frame);
    void CurrentFrameMoved(int from);
    void ReadSettings();
    void OnSelected(int row);
    void OnLevelMenu(int column, int entry);
    std::optional<QString> AskText(const QString& title);
    int ShowMessage(int kind, int id);

    SceneLinks links_;
    CXshtView* view_;
    CCounterBar* counter_;
    CScrollBar* vertical_;
    CScrollBar* horizontal_;
    CRangeDialog* range_ = nullptr;
    CMessageDialog* messageBox_ = nullptr;
    MessageBox showMessage_;
    TextQuery askText_;
    bool waitingForTarget_ = false;
    std::optional<QPoint> targetClick_;  // global point of the click that names the target
    bool rangeWasOpen_ = false;
};

}  // namespace kolvane
