#pragma once

#include <memory>

#include <QString>
#include <QWidget>

#include "ui/Colors.h"
#include "ui/ControlClock.h"

namespace kolvane {

// A push button of the flat style with a text, a command id and a tooltip.
//
// Firing rules (mouse):
//   plain            fires when released with the pointer inside;
//   toggle           flips its checked state and fires when released inside;
//   auto-repeat      fires on press, then after the keyboard delay and every
//                    100 ms while held with the pointer inside;
//   press-release    fires on press and again on release (also outside).
// The keyboard presses it through KeyDown/KeyUp with the same rules, except
// that a repeating button fires on every key down (the keyboard's own repeat
// drives it) instead of by its timer.
class CBasicButton : public QWidget {
    Q_OBJECT
  public:
    enum StyleBits : int { kPlain = 0, kAutoRepeat = 1, kToggle = 2, kPressRelease = 16 };
    enum class Glyph { kNone, kClose, kLeft, kRight, kUp, kDown };

    static constexpr int kRepeatIntervalMs = 100;
    // The keyboard delay of a delay setting 0..3 (the desktop's usual is 1).
    static constexpr int RepeatDelayMs(int delaySetting) { return delaySetting * 250 + 250; }

    CBasicButton(int command, const QString& text, const QString& tooltip, int style,
                 const CColors& colors, QWidget* parent);
    ~CBasicButton() override;

    int CommandId() const { return command_; }
    int Style() const { return style_; }
    const QString& Text() const { return text_; }
    void SetText(const QString& text);
    void SetGlyph(Glyph glyph);
    void SetColors(const CColors& colors);

    bool IsChecked() const { return checked_; }
    void SetChecked(bool checked);
    // Pressed look: held (mouse or key) with the pointer inside.
    bool IsShownPressed() const { return shownPressed_; }

    // Keyboard presses. Each answers whether the button took the key: a
    // disabled button does not, so the key can go its ordinary way. Firing
    // is suppressed with `mayFire` false (the frame holds it while Escape is
    // down).
    bool KeyDown(bool mayFire = true);
    bool KeyUp(bool mayFire = true);
    // Drops a pressed look left by a key without firing (another key took over).
    void ShowReleased();

    void SetClock(IControlClock& clock);
    void SetRepeatDelaySetting(int delaySetting);

  signals:
    // The button's command, sent to whoever listens (its parent panel or dialog).
    void Command(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    bool Has(int bit) const { return (style_ & bit) != 0; }
    void Fire();
    void SetShownPressed(bool pressed);
    void OnRepeatTimer();
    void EnsureTimer();
    void PaintFace(QPainter& painter) const;
    void PaintLabel(QPainter& painter) const;
    void PaintFocus(QPainter& painter) const;

    int command_;
    QString text_;
    int style_;
    const CColors* colors_;
    Glyph glyph_ = Glyph::kNone;
    bool checked_ = false;
    bool mouseHeld_ = false;
    bool keyHeld_ = false;
    bool shownPressed_ = false;
    bool repeating_ = false;  // past the first delay
    int repeatDelayMs_ = RepeatDelayMs(1);
    CSystemClock systemClock_;
    IControlClock* clock_ = &systemClock_;
    std::unique_ptr<IControlTimer> repeatTimer_;
};

}  // namespace kolvane
