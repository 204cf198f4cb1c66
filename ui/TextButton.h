#pragma once

#include <memory>

#include <QString>
#include <QWidget>

#include "ui/Colors.h"
#include "ui/ControlClock.h"

namespace kolvane {

// An editable one-line text field. Typing, Backspace, Delete, Left, Right,
// Home and End edit the text at the caret; a short pause after the last edit
// (or Enter, or leaving the field) sends command 33007. Enter, Escape, Up
// and Down are left to the parent (the dialog's buttons, a row's stepping).
class CTextButton : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kEditedCommand = 33007;
    static constexpr int kEditDelayMs = 600;

    CTextButton(const CColors& colors, QWidget* parent);
    ~CTextButton() override;

    const QString& Text() const { return text_; }
    // Sets the text without sending anything; drops a pending edit.
    void SetText(const QString& text);
    int Caret() const { return caret_; }

    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return readOnly_; }
    void SetAlignment(Qt::Alignment alignment);
    void SetColors(const CColors& colors);
    void SetClock(IControlClock& clock);

    bool HasPendingEdit() const { return pending_; }
    // Sends the pending edit now (a dialog confirms while the pause runs).
    void Commit();

  signals:
    void Command(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Edited();
    bool EditKey(QKeyEvent* event);
    QRect TextRect() const;

    const CColors* colors_;
    QString text_;
    int caret_ = 0;
    bool allSelected_ = false;  // the next typed character replaces the text
    bool readOnly_ = false;
    bool pending_ = false;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    CSystemClock systemClock_;
    IControlClock* clock_ = &systemClock_;
    std::unique_ptr<IControlTimer> editTimer_;
};

}  // namespace kolvane
