#pragma once

#include <vector>

#include <QColor>
#include <QWidget>

#include "platform/Commands.h"

class QAbstractButton;
class QPushButton;

namespace kolvane {

// One action button of a tool panel: its command, label and tooltip numbers.
struct ToolButtonSpec {
    int command;
    int textId;
    int tooltipId;
};

// A work area's tool panel: a mode indicator, the area's name button and its
// action buttons. Every button posts its command to the main frame.
class CToolPanel : public QWidget, public ICommandTarget {
    Q_OBJECT
  public:
    CToolPanel(ICommandSink& sink, QColor base, int viewCommand, int nameTextId, int tooltipId,
               std::vector<ToolButtonSpec> actions, QWidget* parent);

    void SetIndicatorChecked(bool checked);
    bool IndicatorChecked() const;
    QAbstractButton* Button(int command) const;

    bool OnCommand(int) override { return false; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QPushButton* MakeButton(int command, const QString& text, int tooltipId);

    ICommandSink& sink_;
    QColor base_;
    QPushButton* indicator_ = nullptr;
    std::vector<QPushButton*> buttons_;  // name button first, then the actions
    std::vector<int> commands_;
};

// The tool panels of the four work areas.
class CMdiaToolPanel : public CToolPanel {
  public:
    CMdiaToolPanel(ICommandSink& sink, QWidget* parent);
};
class CGrabToolPanel : public CToolPanel {
  public:
    CGrabToolPanel(ICommandSink& sink, QWidget* parent);
};
class CXshtToolPanel : public CToolPanel {
  public:
    CXshtToolPanel(ICommandSink& sink, QWidget* parent);
};
class CPlayToolPanel : public CToolPanel {
  public:
    CPlayToolPanel(ICommandSink& sink, QWidget* parent);
};

}  // namespace kolvane
