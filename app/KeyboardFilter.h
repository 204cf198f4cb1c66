#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

#include "platform/Commands.h"

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;
class QWidget;

namespace kolvane {

class CBasicButton;
class CSettings;
class CXshtList;

// What the keyboard needs from the main frame.
class IKeyboardHost {
  public:
    virtual ~IKeyboardHost() = default;

    // The window whose keys are translated; other windows keep their keys.
    virtual const QWidget* KeyWindow() const = 0;
    virtual bool GrabberVisible() const = 0;
    virtual bool PlayerVisible() const = 0;
    // The panel the wheel and the scroll keys go to with the pointer at
    // `global`, or none.
    virtual QWidget* TargetPanel(QPoint global) const = 0;
    // The tool-panel button sending `command`, its enabled state brought up
    // to date; or none.
    virtual CBasicButton* ToolButton(int command) = 0;
    virtual CommandState QueryCommand(int id) = 0;
    virtual void SendCommand(int id) = 0;
    // A numeric-keypad digit 1 to 9 for the grabber.
    virtual void GrabberDigit(int digit) = 0;
    // The player shows `frame`; one before the first comes round to the last.
    virtual void PlayerGoToFrame(int frame) = 0;
};

// The keyboard pre-translation of the main frame, as an application event
// filter. While no modal window is up it turns double clicks into single
// clicks and the middle button into the left one, sends the wheel to the
// target panel, and owns every key of the frame's window: accelerators
// first, then the grabber's and the player's keys, the scroll-bar keys of
// the target panel, and the keys that press tool-panel buttons; every other
// key is dropped. Keys of other windows (dialogs, menus) pass untouched.
class CKeyboardFilter : public QObject {
    Q_OBJECT
  public:
    CKeyboardFilter(IKeyboardHost& host, const CSettings& settings, const CXshtList& sheet,
                    QObject* parent = nullptr);

    // Menu and accelerator commands are swallowed, and buttons do not fire,
    // while Escape is held.
    bool EscapeHeld() const { return escapeHeld_; }
    // The tool-panel button the keyboard pressed last and has not let go, or none.

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void TrackEscape(const QEvent* event);
    bool TranslateMouse(QWidget* receiver, QMouseEvent* event);
    bool RedirectWheel(QWheelEvent* event);
    bool TranslateKey(QKeyEvent* event);
    bool IsPropagating(const QEvent* event, QWidget* receiver);

    // The steps of a key, in order; each answers whether it took the key.
    bool Accelerator(const QKeyEvent& event);
    bool GrabberAndPlayOnceKeys(const QKeyEvent& event);
    bool ScrollBarKeys(const QKeyEvent& event);
    bool GrabberDigits(const QKeyEvent& event);
    bool PlayerJumps(const QKeyEvent& event);
    // False when the button is disabled: the key goes its ordinary way.
    bool PressToolButton(int command, const QKeyEvent& event);

    IKeyboardHost& host_;
    const CSettings& settings_;
    const CXshtList& sheet_;
    bool escapeHeld_ = false;
    bool forwardingWheel_ = false;
    QPointer<CBasicButton> keyButton_;
    QPointer<CBasicButton> arrowButton_;  // a scroll-bar arrow held by a key
    // A key let pass climbs from its receiver through the parents, passing
    // the filter at every step: those steps are not new keys.
    const QEvent* passedEvent_ = nullptr;
    QPointer<QObject> passedAt_;
};

}  // namespace kolvane
