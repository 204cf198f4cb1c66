#pragma once

#include <functional>
#include <vector>

#include <QStringList>

#include "ui/BasicDialog.h"

namespace kolvane {

class CComboBar;
class CMessageDialog;

// A modal dialog of fields one under another with OK and Cancel: combo bars
// without labels of their own, labelled in a column drawn on their left
// (CDialogRows). Its messages go to a box of its own unless one is given.
class CRowsDialog : public CBasicDialog {
    Q_OBJECT
  public:
    using MessageBox = std::function<int(int kind, int id)>;

    void SetMessageBox(MessageBox show) { showMessage_ = std::move(show); }
    CComboBar* Row(int field) const { return rows_[static_cast<std::size_t>(field)]; }
    // The whole text of the last message shown, subject included.
    const QString& LastMessage() const { return lastMessage_; }

  protected:
    explicit CRowsDialog(QWidget* owner);
    ~CRowsDialog() override;

    // The next row: a list or a text field that sends `command`.
    CComboBar* AddRow(int command, const QString& tooltip, bool list, int visibleRows);
    // Runs modally under `title` and answers how it ended.
    int RunRows(const QString& title);
    // `subject`: what the message is about (a file, the real reason), shown
    // after its text.
    int ShowMessage(int kind, int id, const QString& subject = {});
    // The labels as drawn, top to bottom. Not pure: the frame lays its
    // children out while it goes, after the derived part is gone.
    virtual QStringList RowLabels() const { return {}; }

    void LayoutClient(const QRect& client) override;
    void PaintClient(QPainter& painter, const QRect& client) override;

  private:
    std::vector<CComboBar*> rows_;
    MessageBox showMessage_;
    CMessageDialog* messageBox_ = nullptr;
    QString lastMessage_;
};

}  // namespace kolvane
