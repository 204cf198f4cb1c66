#pragma once

#include <QStringList>
#include <QWidget>

#include "ui/Colors.h"

namespace kolvane {

class CBasicButton;
class CSelectMenu;
class CTextButton;

// An option row of the dialogs: an on/off switch, a label and a value with
// step buttons and a drop-down list. The row sends its own command to its
// dialog whenever the user changes the value: by stepping back or on (33004,
// 33005, or Up/Down in the field), by choosing from the list (33006 opens it,
// Alt+Down or F4 from the keyboard), or by typing (33007 after a pause).
//
// Kinds: a list row shows one of its choices and cannot be typed into; a
// number row takes typed digits and steps by one within its range; a text
// row takes any typing and offers its list as suggestions.
//
// The switch (33009) is kept per label outside the settings record: on when
// nothing is stored. A row switched off keeps its value but cannot be changed.
class CComboBar : public QWidget {
    Q_OBJECT
  public:
    enum class Kind { kList, kNumber, kText };
    static constexpr int kStepBackCommand = 33004;
    static constexpr int kStepOnCommand = 33005;
    static constexpr int kDropCommand = 33006;
    static constexpr int kSwitchCommand = 33009;

    // A row without a label has no switch.
    CComboBar(int command, const QString& label, const QString& tooltip, Kind kind,
              const CColors& colors, QWidget* parent);

    int CommandId() const { return command_; }
    Kind RowKind() const { return kind_; }
    const QString& Label() const { return label_; }
    void SetLabel(const QString& label);
    void SetLabelWidth(int pixels);

    void SetItems(const QStringList& items);
    const QStringList& Items() const { return items_; }
    void SetVisibleRows(int rows);
    void SetNumberRange(int minimum, int maximum);
    // Chosen items show in the field cut before "(", "[" or "{" and trimmed.
    void SetShortForm(bool shortForm) { shortForm_ = shortForm; }

    QString Text() const;
    // Shows a value without sending the row's command.
    void SetText(const QString& text);

    bool IsSwitchedOn() const { return switchedOn_; }
    // Steps the value back (−1) or on (+1), as the arrow buttons do.
    void Step(int direction);
    void OpenList();

    CBasicButton* SwitchButton() const { return switch_; }
    CBasicButton* BackButton() const { return back_; }
    CBasicButton* OnButton() const { return on_; }
    CBasicButton* DropButton() const { return drop_; }
    CTextButton* Field() const { return field_; }
    CSelectMenu* Menu() const { return menu_; }

  signals:
    // The row's command: its value was changed by the user.
    void Command(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void OnPartCommand(int id);
    void ApplySwitch(bool on);
    void Changed(const QString& text);
    int IndexOfText() const;

    int command_;
    QString label_;
    Kind kind_;
    const CColors* colors_;
    QStringList items_;
    int minimum_ = 0;
    int maximum_ = 255;
    int labelWidth_ = 0;
    bool shortForm_ = false;
    bool switchedOn_ = true;
    CBasicButton* switch_ = nullptr;
    CBasicButton* back_;
    CBasicButton* on_;
    CBasicButton* drop_;
    CTextButton* field_;
    CSelectMenu* menu_;
};

}  // namespace kolvane
