#pragma once

#include <array>
#include <functional>
#include <memory>

#include "model/Anim.h"
#include "platform/Commands.h"
#include "ui/BasicDialog.h"

namespace kolvane {

class CComboBar;
class CMessageDialog;
class CXshtList;
class ICommandSink;
class ISheetHistory;

// The naming dialog of an image sequence: name, first, last, next and step.
// It edits a working copy of its target and writes the target on OK. In grab
// level mode a new name takes over that level's numbers; in rename mode OK
// renames the images, asking first when a name is taken by another image.
class CAnimDialog : public CBasicDialog {
    Q_OBJECT
  public:
    enum class Mode { kGrabLevel, kRename };
    enum Field : int { kName, kFirst, kLast, kNext, kStep, kFieldCount };
    static constexpr int kFieldChanged = cmd::kAnimFieldChanged;

    // Shows a message box of `kind` with message `id` and answers its result.
    using MessageBox = std::function<int(int kind, int id)>;

    CAnimDialog(QWidget* owner, CXshtList& sheet, ISheetHistory& history, ICommandSink& commands);
    ~CAnimDialog() override;

    // Runs modally on `target` and answers how it ended (kOk when written).
    int Run(Mode mode, CAnim& target);

    // Where messages and the clash question go (the dialog's own box unless
    // a test puts another in).
    void SetMessageBox(MessageBox show) { showMessage_ = std::move(show); }

    CComboBar* Row(int field) const { return rows_[static_cast<std::size_t>(field)]; }

  protected:
    void OnOpen() override;
    bool OnCommand(int id) override;
    void LayoutClient(const QRect& client) override;
    void PaintClient(QPainter& painter, const QRect& client) override;

  private:
    AnimValues ReadFields() const;
    void FillFields();
    void FieldChanged();
    // True when the dialog may close.
    bool Confirm();
    int ShowMessage(int kind, int id);

    CXshtList& sheet_;
    ISheetHistory& history_;
    ICommandSink& commands_;
    std::array<CComboBar*, kFieldCount> rows_{};
    std::unique_ptr<CAnim> working_;
    CAnim* target_ = nullptr;
    Mode mode_ = Mode::kGrabLevel;
    MessageBox showMessage_;
    CMessageDialog* messageBox_ = nullptr;
};

}  // namespace kolvane
