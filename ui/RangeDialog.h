#pragma once

#include <array>
#include <functional>

#include "model/Range.h"
#include "platform/Commands.h"
#include "ui/BasicDialog.h"

namespace kolvane {

class CComboBar;
class CMessageDialog;

// "Edit range": the six properties of the selected block of cells, each
// applied to the exposure sheet as soon as it is changed. Modeless: it stays
// open while the user goes on editing, measures the selection again on 33027
// and shows the range's values again on 33050.
class CRangeDialog : public CBasicDialog, public ICommandTarget {
    Q_OBJECT
  public:
    enum Control : int { kOrdering, kTiming, kRepeat, kUntil, kBefore, kAfter, kControlCount };

    // Shows a message box of `kind` with message `id` and answers its result.
    using MessageBox = std::function<int(int kind, int id)>;

    CRangeDialog(QWidget* owner, CXshtList& sheet, CSceneState& scene, ISheetHistory& history,
                 ICommandSink& commands, CRange::Clock clock = {});
    ~CRangeDialog() override;

    // Opens (or raises) the dialog on the current selection.
    void Open();

    // Both the rows' commands (33051-33056) and, as an ICommandTarget, the
    // routed 33027 and 33050 while open.
    bool OnCommand(int id) override;

    void SetMessageBox(MessageBox show) { showMessage_ = std::move(show); }

    CComboBar* Row(int control) const { return rows_[static_cast<std::size_t>(control)]; }
    const CRange& Range() const { return range_; }

  protected:
    void OnOpen() override;
    void LayoutClient(const QRect& client) override;
    void PaintClient(QPainter& painter, const QRect& client) override;

  private:
    void Change(int control);
    void Reload();

    CRange range_;
    std::array<CComboBar*, kControlCount> rows_{};
    MessageBox showMessage_;
    CMessageDialog* messageBox_ = nullptr;
};

}  // namespace kolvane
