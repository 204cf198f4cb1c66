#pragma once

#include "platform/Progress.h"
#include "ui/BasicDialog.h"

namespace kolvane {

// The progress window of long operations: a bar and, optionally, "abort" and
// "stop". While it is open the rest of the program takes no input; Step lets
// pending events run, so the window stays live and its buttons reach the
// loop. The buttons and the close box do not close it: Step reports them and
// the loop decides.
class CProgressDialog : public CBasicDialog, public IProgress {
    Q_OBJECT
  public:
    explicit CProgressDialog(QWidget* owner);
    ~CProgressDialog() override;

    void Open(int titleId, int buttonSet) override;
    void SetRange(int total) override;
    int Step(int position) override;
    void Close() override;
    bool IsOpen() const override { return CBasicDialog::IsOpen(); }

    int Total() const { return total_; }
    int Position() const { return position_; }
    // The whole bar, and its filled left part, in window coordinates.
    QRect BarRect() const;
    QRect FilledRect() const;

  protected:
    bool OnCommand(int id) override;
    void PaintClient(QPainter& painter, const QRect& client) override;

  private:
    int total_ = 0;
    int position_ = 0;
    int answer_ = IProgress::kGoOn;
};

}  // namespace kolvane
