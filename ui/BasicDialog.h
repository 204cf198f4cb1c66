#pragma once

#include <array>

#include <QPoint>
#include <QString>
#include <QWidget>

#include "ui/Colors.h"

class QEventLoop;

namespace kolvane {

class CBasicButton;

// The frame of every dialog: a borderless window with a self-painted caption
// and close box, a row of up to three buttons from a fixed set, Enter/Escape
// handling, and modal or modeless running. The object is reused: each Create
// opens the window again; closing hides it and remembers where it stood.
//
// Derived dialogs make their controls once (in their constructor or on the
// first OnOpen), place them in LayoutClient, paint extras in PaintClient and
// handle their commands in OnCommand.
class CBasicDialog : public QWidget {
    Q_OBJECT
  public:
    // Command ids of the buttons and the close box; each ends the dialog with
    // its own id unless the dialog handles it.
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;
    static constexpr int kAbort = 3;
    static constexpr int kYes = 6;
    static constexpr int kNo = 7;
    static constexpr int kClose = 8;
    static constexpr int kApply = 9;
    static constexpr int kStop = 10;

    // Button sets: 0 none, 1 ok, 2 yes/no, 3 ok/cancel, 4 abort/stop,
    // 5 apply/close, 6 ok/apply/close.
    static constexpr int kButtonSets = 7;

    static constexpr int kFrameWidth = 3;
    static int CaptionHeight();
    // The window size that gives a client of `clientWidth` × `clientHeight`.
    static int WindowWidth(int clientWidth) { return clientWidth + 2 * kFrameWidth + 4; }
    static int WindowHeight(int clientHeight) {
        return clientHeight + 2 * kFrameWidth + CaptionHeight() + 6;
    }

    // `owner` is the main window (none before it exists): the dialog stays
    // above it and opens centred over it.
    explicit CBasicDialog(QWidget* owner, QColor base = QColor(CColors::kDialog));
    ~CBasicDialog() override;

    void SetButtonSet(int set);
    int ButtonSet() const { return buttonSet_; }
    // Above 9: reopen where the user left the window.
    void SetPositionMemory(int memory) { positionMemory_ = memory; }

    // Opens modeless with the title and window size.
    void Create(const QString& title, int width, int height);
    // Opens modal, runs until a button, the close box or a key ends it, and
    // answers the ending command id.
    int DoModal(const QString& title, int width, int height);
    // Ends the modal loop with `id`, or closes a modeless window.
    void End(int id);

    bool IsOpen() const { return open_; }
    // A modeless window that goes with a work area: hidden with it, and shown
    // again with it only if it was hidden that way.
    void ShowWithArea(bool shown);
    bool IsModal() const { return modalLoop_ != nullptr; }
    int Result() const { return result_; }

    // Button 1..3 of the set, or none.
    CBasicButton* Button(int k) const;
    const CColors& Colors() const { return colors_; }

    // Rectangles in window coordinates.
    QRect CaptionRect() const;
    QRect CloseBoxRect() const;
    QRect ClientRect() const;
    QRect ButtonRowRect() const;

    // Sends a command to the dialog as its buttons do.
    void SendDialogCommand(int id);

  protected:
    // Called on every Create before the window shows.
    virtual void OnOpen() {}
    // Called when the window closed, with the ending id.
    virtual void OnClosed(int /*id*/) {}
    // True when the dialog handled the command (it then does not end).
    virtual bool OnCommand(int /*id*/) { return false; }
    virtual void LayoutClient(const QRect& /*client*/) {}
    virtual void PaintClient(QPainter& /*painter*/, const QRect& /*client*/) {}

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    bool hiddenWithArea_ = false;
    void MakeButtons();
    void Layout();
    void PlaceWindow();
    void CloseWindow();
    void CommitPendingEdits();
    void PaintBackground(QPainter& painter) const;
    void PaintFrames(QPainter& painter) const;
    void PaintCaption(QPainter& painter) const;
    void PaintCloseBox(QPainter& painter) const;

    CColors colors_;
    QWidget* owner_;
    QEventLoop* modalLoop_ = nullptr;
    int buttonSet_ = 0;
    int positionMemory_ = 0;
    bool openedBefore_ = false;
    QPoint rememberedTopLeft_;
    std::array<CBasicButton*, 3> buttons_{};
    CBasicButton* keyButton_ = nullptr;  // held by Enter or Escape
    bool open_ = false;
    bool ending_ = false;
    int result_ = 0;
    bool closeBoxPressed_ = false;
    bool pointerInCloseBox_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace kolvane
