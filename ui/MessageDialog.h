#pragma once

#include <QString>

#include "ui/BasicDialog.h"

namespace kolvane {

// The message box of the whole program. Kinds 1 to 3 (information, warning,
// error) have no buttons and end with the close box (8); kinds 4 and 5
// (please confirm, request) ask yes (6) or no (7).
class CMessageDialog : public CBasicDialog {
    Q_OBJECT
  public:
    enum Kind : int { kInformation = 1, kWarning = 2, kError = 3, kConfirm = 4, kRequest = 5 };

    explicit CMessageDialog(QWidget* owner);

    // Shows message `id` (a string-table number above 32767, else a system
    // error code) modally and answers the ending command.
    int Show(int kind, int id);
    // The same with a text of the caller's making.
    int ShowText(int kind, const QString& text);

    const QString& Message() const { return message_; }

    // The kind's title ("Information" ... "Request").
    static QString KindTitle(int kind);

  protected:
    void PaintClient(QPainter& painter, const QRect& client) override;

  private:
    QString message_;
};

}  // namespace kolvane
