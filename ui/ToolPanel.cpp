#include "ui/ToolPanel.h"

#include "platform/StringTable.h"
#include "ui/BasicButton.h"
#include "ui/UiMetrics.h"

namespace kolvane {

CToolPanel::CToolPanel(ICommandSink& sink, int viewCommand, int nameTextId, int tooltipId,
                       const std::vector<ToolButtonSpec>& actions, QWidget* parent)
    : CBasicPanel(sink, QColor(CColors::kToolPanel), parent), viewCommand_(viewCommand) {
    const QString viewTip = StringText(tooltipId);
    // The name button is added first, so Button(viewCommand) finds it: the
    // keys press the labelled button.
    nameButton_ = AddButton(viewCommand, StringText(nameTextId), viewTip, CBasicButton::kPlain);
    indicator_ = AddButton(viewCommand, QString(), viewTip, CBasicButton::kPlain);
    for (const ToolButtonSpec& action : actions) {
        AddButton(action.command, StringText(action.textId), StringText(action.tooltipId),
                  action.style);
    }
}

void CToolPanel::SetIndicatorChecked(bool checked) {
    indicator_->SetChecked(checked);
}

bool CToolPanel::IndicatorChecked() const {
    return indicator_->IsChecked();
}

void CToolPanel::LayoutChildren() {
    const std::vector<CBasicButton*>& buttons = Buttons();
    const int margin = std::max(2, LineHeight() / 6);
    const int rowHeight = std::max(1, (height() - 3 * margin) / 2);
    const int inner = width() - 2 * margin;
    // First line: the indicator, square, then the name button.
    indicator_->setGeometry(margin, margin, rowHeight, rowHeight);
    const int nameLeft = 2 * margin + rowHeight;
    nameButton_->setGeometry(nameLeft, margin, std::max(0, width() - margin - nameLeft), rowHeight);
    // Second line: the actions in equal parts.
    const int actions = static_cast<int>(buttons.size()) - 2;
    if (actions <= 0) return;
    const int top = 2 * margin + rowHeight;
    for (int i = 0; i < actions; ++i) {
        const int left = margin + inner * i / actions;
        const int right = margin + inner * (i + 1) / actions;
        buttons[static_cast<std::size_t>(i + 2)]->setGeometry(
            left, top, right - left - (i + 1 < actions ? margin : 0), rowHeight);
    }
}

CMdiaToolPanel::CMdiaToolPanel(ICommandSink& sink, QWidget* parent)
    : CToolPanel(sink, cmd::kViewMedia, 32843, 50010,
                 {{cmd::kMediaAdd, 32839, 50011}, {cmd::kMediaRename, 32840, 50012}}, parent) {}

CGrabToolPanel::CGrabToolPanel(ICommandSink& sink, QWidget* parent)
    : CToolPanel(sink, cmd::kViewGrabber, 32858, 50020,
                 {{cmd::kGrabLevel, 32852, 50021},
                  {cmd::kGrab, 32853, 50022},
                  {cmd::kRegrab, 32854, 50023}},
                 parent) {}

CXshtToolPanel::CXshtToolPanel(ICommandSink& sink, QWidget* parent)
    : CToolPanel(sink, cmd::kViewEditor, 32873, 50030,
                 {{cmd::kDuplicate, 32870, 50031},
                  {cmd::kRemove, 32871, 50032},
                  {cmd::kEditRange, 32872, 50033}},
                 parent) {}

// Holding a step button plays at half speed until it is let go: it fires on
// press and again on release.
CPlayToolPanel::CPlayToolPanel(ICommandSink& sink, QWidget* parent)
    : CToolPanel(sink, cmd::kViewPlayer, 32897, 50040,
                 {{cmd::kPlay, 32891, 50041},
                  {cmd::kStepBackButton, 32893, 50042, CBasicButton::kPressRelease},
                  {cmd::kStepForwButton, 32894, 50043, CBasicButton::kPressRelease}},
                 parent) {}

}  // namespace kolvane
