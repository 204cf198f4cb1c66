#pragma once

#include <functional>
#include <vector>

#include <QWidget>

#include "platform/Commands.h"
#include "ui/Colors.h"

namespace kolvane {

class CBasicButton;
class CScrollBar;

// The base of every work-area panel and tool panel: its colour scheme, its
// command buttons (whose commands it posts to the main frame), the scroll
// bars of its grid (one line per wheel notch, within their limits) and the
// idle refresh of its buttons' enabled state from the frame's state query.
class CBasicPanel : public QWidget, public ICommandTarget {
    Q_OBJECT
  public:
    using StateQuery = std::function<CommandState(int id)>;

    CBasicPanel(ICommandSink& sink, QColor base, QWidget* parent);

    const CColors& Colors() const { return colors_; }
    ICommandSink& Sink() const { return sink_; }

    // The grid's bars; the frame's arrow and page keys act on them when the
    // panel has both.
    void SetScrollBars(CScrollBar* vertical, CScrollBar* horizontal);
    CScrollBar* VerticalBar() const { return vertical_; }
    CScrollBar* HorizontalBar() const { return horizontal_; }
    bool HasScrollBars() const { return vertical_ != nullptr && horizontal_ != nullptr; }

    // A button whose command goes to the panel's OnControlCommand.
    CBasicButton* AddButton(int command, const QString& text, const QString& tooltip, int style);
    // The first button sending `command`, or none.
    CBasicButton* Button(int command) const;
    const std::vector<CBasicButton*>& Buttons() const { return buttons_; }

    // Enables each button by the frame's answer for its command.
    void UpdateCommandStates(const StateQuery& query);

    bool OnCommand(int) override { return false; }

  protected:
    // A command of one of the panel's controls; posted to the frame unless a
    // panel handles it itself.
    virtual void OnControlCommand(int id);
    virtual void LayoutChildren() {}
    virtual void PaintPanel(QPainter& painter);

    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    ICommandSink& sink_;
    CColors colors_;
    std::vector<CBasicButton*> buttons_;
    CScrollBar* vertical_ = nullptr;
    CScrollBar* horizontal_ = nullptr;
    int wheelRest_ = 0;  // eighths of a degree not yet turned into lines
};

}  // namespace kolvane
