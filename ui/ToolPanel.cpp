#include "ui/ToolPanel.h"

#include <QPainter>
#include <QPushButton>

#include "platform/StringTable.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

const QColor kToolPanelBase(120, 120, 110);

QString ButtonStyle(const QColor& base) {
    return QStringLiteral(
               "QPushButton { background: %1; color: #e8e8e0; border: 1px solid %2; padding: 2px "
               "8px; }"
               "QPushButton:hover { background: %3; }"
               "QPushButton:pressed, QPushButton:checked { background: %2; color: #ffffff; }"
               "QPushButton:disabled { color: %3; }")
        .arg(base.darker(250).name(), base.name(), base.darker(160).name());
}

}  // namespace

CToolPanel::CToolPanel(ICommandSink& sink, QColor base, int viewCommand, int nameTextId,
                       int tooltipId, std::vector<ToolButtonSpec> actions, QWidget* parent)
    : QWidget(parent), sink_(sink), base_(base) {
    setStyleSheet(ButtonStyle(base_));
    indicator_ = MakeButton(viewCommand, QString(), tooltipId);
    indicator_->setCheckable(true);
    buttons_.push_back(MakeButton(viewCommand, StringText(nameTextId), tooltipId));
    commands_.push_back(viewCommand);
    for (const ToolButtonSpec& action : actions) {
        buttons_.push_back(MakeButton(action.command, StringText(action.textId), action.tooltipId));
        commands_.push_back(action.command);
    }
}

QPushButton* CToolPanel::MakeButton(int command, const QString& text, int tooltipId) {
    auto* button = new QPushButton(text, this);
    button->setToolTip(StringText(tooltipId));
    button->setFocusPolicy(Qt::NoFocus);
    button->setProperty("command", command);
    connect(button, &QPushButton::clicked, this, [this, button, command] {
        if (button == indicator_) indicator_->setChecked(!indicator_->isChecked());
        sink_.PostCommand(command);
    });
    return button;
}

void CToolPanel::SetIndicatorChecked(bool checked) {
    indicator_->setChecked(checked);
}

bool CToolPanel::IndicatorChecked() const {
    return indicator_->isChecked();
}

QAbstractButton* CToolPanel::Button(int command) const {
    for (std::size_t i = 0; i < commands_.size(); ++i) {
        if (commands_[i] == command) return buttons_[i];
    }
    return nullptr;
}

void CToolPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), base_.darker(300));
}

void CToolPanel::resizeEvent(QResizeEvent*) {
    const int line = LineHeight();
    const int margin = line / 4;
    const int height = std::min(line + margin, this->height() - 2 * margin);
    const int top = (this->height() - height) / 2;
    int x = margin;
    indicator_->setGeometry(x, top, height, height);
    x += height + margin;
    const int remaining = width() - x - margin;
    const int count = static_cast<int>(buttons_.size());
    const int each = count > 0 ? (remaining - (count - 1) * margin) / count : 0;
    for (QPushButton* button : buttons_) {
        button->setGeometry(x, top, std::max(each, 0), height);
        x += each + margin;
    }
}

CMdiaToolPanel::CMdiaToolPanel(ICommandSink& sink, QWidget* parent)
    : CToolPanel(sink, kToolPanelBase, cmd::kViewMedia, 32843, 50010,
                 {{cmd::kMediaAdd, 32839, 50011}, {cmd::kMediaRename, 32840, 50012}}, parent) {}

CGrabToolPanel::CGrabToolPanel(ICommandSink& sink, QWidget* parent)
    : CToolPanel(sink, kToolPanelBase, cmd::kViewGrabber, 32858, 50020,
                 {{cmd::kGrabLevel, 32852, 50021},
                  {cmd::kGrab, 32853, 50022},
                  {cmd::kRegrab, 32854, 50023}},
                 parent) {}

CXshtToolPanel::CXshtToolPanel(ICommandSink& sink, QWidget* parent)
    : CToolPanel(sink, kToolPanelBase, cmd::kViewEditor, 32873, 50030,
                 {{cmd::kDuplicate, 32870, 50031},
                  {cmd::kRemove, 32871, 50032},
                  {cmd::kEditRange, 32872, 50033}},
                 parent) {}

CPlayToolPanel::CPlayToolPanel(ICommandSink& sink, QWidget* parent)
    : CToolPanel(sink, kToolPanelBase, cmd::kViewPlayer, 32897, 50040,
                 {{cmd::kPlay, 32891, 50041},
                  {cmd::kStepBackButton, 32893, 50042},
                  {cmd::kStepForwButton, 32894, 50043}},
                 parent) {}

}  // namespace kolvane
