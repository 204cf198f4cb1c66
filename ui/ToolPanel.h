#pragma once

#include <vector>

#include "ui/BasicPanel.h"

namespace kolvane {

class CBasicButton;

// One action button of a tool panel: its command, label and tooltip numbers
// and how it fires.
struct ToolButtonSpec {
    int command;
    int textId;
    int tooltipId;
    int style = 0;  // CBasicButton style bits
};

// A work area's tool panel: a small mode indicator without text and the
// area's name button on the first line (both send the view command), the
// action buttons shared out along the second. Every button posts its command
// to the main frame.
class CToolPanel : public CBasicPanel {
    Q_OBJECT
  public:
    CToolPanel(ICommandSink& sink, int viewCommand, int nameTextId, int tooltipId,
               const std::vector<ToolButtonSpec>& actions, QWidget* parent);

    void SetIndicatorChecked(bool checked);
    bool IndicatorChecked() const;
    CBasicButton* Indicator() const { return indicator_; }
    CBasicButton* NameButton() const { return nameButton_; }
    int ViewCommand() const { return viewCommand_; }

  protected:
    void LayoutChildren() override;

  private:
    int viewCommand_;
    CBasicButton* indicator_ = nullptr;
    CBasicButton* nameButton_ = nullptr;
};

// The tool panels of the four work areas.
class CMdiaToolPanel : public CToolPanel {
    Q_OBJECT
  public:
    CMdiaToolPanel(ICommandSink& sink, QWidget* parent);
};
class CGrabToolPanel : public CToolPanel {
    Q_OBJECT
  public:
    CGrabToolPanel(ICommandSink& sink, QWidget* parent);
};
class CXshtToolPanel : public CToolPanel {
    Q_OBJECT
  public:
    CXshtToolPanel(ICommandSink& sink, QWidget* parent);
};
class CPlayToolPanel : public CToolPanel {
    Q_OBJECT
  public:
    CPlayToolPanel(ICommandSink& sink, QWidget* parent);
};

}  // namespace kolvane
