#include "ui/ComboBar.h"

#include <QKeyEvent>
#include <QPainter>

#include "settings/Settings.h"
#include "ui/BasicButton.h"
#include "ui/SelectMenu.h"
#include "ui/TextButton.h"
#include "ui/UiMetrics.h"

namespace kolvane {

CComboBar::CComboBar(int command, const QString& label, const QString& tooltip, Kind kind,
                     const CColors& colors, QWidget* parent)
    : QWidget(parent), command_(command), label_(label), kind_(kind), colors_(&colors) {
    setToolTip(tooltip);
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto part = [this, &colors](int id, int style, CBasicButton::Glyph glyph) {
        auto* button = new CBasicButton(id, QString(), QString(), style, colors, this);
        button->SetGlyph(glyph);
        connect(button, &CBasicButton::Command, this, &CComboBar::OnPartCommand);
        return button;
    };
    if (!label_.isEmpty()) {
        switch_ = part(kSwitchCommand, CBasicButton::kToggle, CBasicButton::Glyph::kNone);
        switch_->setFocusPolicy(Qt::TabFocus);
        switch_->setToolTip(tooltip);
    }
    back_ = part(kStepBackCommand, CBasicButton::kAutoRepeat, CBasicButton::Glyph::kLeft);
    on_ = part(kStepOnCommand, CBasicButton::kAutoRepeat, CBasicButton::Glyph::kRight);
    drop_ = part(kDropCommand, CBasicButton::kPlain, CBasicButton::Glyph::kDown);
    field_ = new CTextButton(colors, this);
    field_->SetReadOnly(kind_ == Kind::kList);
    field_->setToolTip(tooltip);
    connect(field_, &CTextButton::Command, this, [this](int) { emit Command(command_); });
    menu_ = new CSelectMenu(colors, this);
    connect(menu_, &CSelectMenu::Chosen, this, [this](int index) {
        Changed(items_.value(index));
        field_->setFocus(Qt::PopupFocusReason);
    });
    labelWidth_ = 5 * LineHeight();
    drop_->setVisible(kind_ != Kind::kNumber);
    // The switch's state, read when the row is made.
    ApplySwitch(label_.isEmpty() || CSettings::FieldState(label_));
}

void CComboBar::SetLabel(const QString& label) {
    label_ = label;
    update();
}

void CComboBar::SetLabelWidth(int pixels) {
    labelWidth_ = pixels;
    resizeEvent(nullptr);
}

void CComboBar::SetItems(const QStringList& items) {
    items_ = items;
    menu_->SetItems(items_);
}

void CComboBar::SetVisibleRows(int rows) {
    menu_->SetVisibleRows(rows);
}

void CComboBar::SetNumberRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
}

QString CComboBar::Text() const {
    return field_->Text();
}

void CComboBar::SetText(const QString& text) {
    field_->SetText(text);
}

void CComboBar::ApplySwitch(bool on) {
    switchedOn_ = on;
    if (switch_ != nullptr) switch_->SetChecked(on);
    for (QWidget* part : {static_cast<QWidget*>(back_), static_cast<QWidget*>(on_),
                          static_cast<QWidget*>(drop_), static_cast<QWidget*>(field_)}) {
        part->setEnabled(on);
    }
    update();
}

void CComboBar::Changed(const QString& text) {
    field_->SetText(shortForm_ ? CSettings::ShortText(text) : text);
    emit Command(command_);
}

int CComboBar::IndexOfText() const {
    const QString text = field_->Text();
    const auto at = items_.indexOf(text);
    if (at >= 0) return static_cast<int>(at);
    for (int i = 0; i < items_.size(); ++i) {
        if (!text.isEmpty() && items_[i].startsWith(text)) return i;
    }
    return -1;
}

void CComboBar::Step(int direction) {
    if (!switchedOn_ || direction == 0) return;
    if (kind_ == Kind::kNumber) {
        const int value = field_->Text().trimmed().toInt();
        const int next = std::clamp(value + (direction < 0 ? -1 : 1), minimum_, maximum_);
        if (next != value || field_->Text() != QString::number(next)) {
            Changed(QString::number(next));
        }
        return;
    }
    if (items_.isEmpty()) return;
    const int index = IndexOfText();
    const int last = static_cast<int>(items_.size()) - 1;
    const int next = index < 0 ? (direction < 0 ? last : 0)
                               : std::clamp(index + (direction < 0 ? -1 : 1), 0, last);
    if (next != index) Changed(items_[next]);
}

void CComboBar::OpenList() {
    if (!switchedOn_ || items_.isEmpty() || kind_ == Kind::kNumber) return;
    const QRect anchor(field_->mapToGlobal(QPoint(0, 0)),
                       QSize(field_->width() + drop_->width(), field_->height()));
    menu_->Open(anchor, std::max(0, IndexOfText()));
}

void CComboBar::OnPartCommand(int id) {
    switch (id) {
        case kStepBackCommand:
            Step(-1);
            break;
        case kStepOnCommand:
            Step(1);
            break;
        case kDropCommand:
            OpenList();
            break;
        case kSwitchCommand:
            // Written, then read back: what is stored is what the row shows.
            CSettings::SetFieldState(label_, switch_->IsChecked());
            ApplySwitch(CSettings::FieldState(label_));
            break;
        default:
            break;
    }
}

void CComboBar::keyPressEvent(QKeyEvent* event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    switch (event->key()) {
        case Qt::Key_Up:
            if (!alt) Step(-1);
            return;
        case Qt::Key_Down:
            if (alt) {
                OpenList();
            } else {
                Step(1);
            }
            return;
        case Qt::Key_F4:
            OpenList();
            return;
        default:
            event->ignore();
            return;
    }
}

void CComboBar::resizeEvent(QResizeEvent*) {
    const int h = height();
    const int side = h;
    int x = 0;
    if (switch_ != nullptr) {
        switch_->setGeometry(x + 2, 2, side - 4, h - 4);
    }
    x += side + labelWidth_;
    back_->setGeometry(x, 0, side, h);
    x += side;
    const int right = width() - side;
    on_->setGeometry(right, 0, side, h);
    int fieldRight = right;
    if (drop_->isVisibleTo(this)) {
        fieldRight -= side;
        drop_->setGeometry(fieldRight, 0, side, h);
    }
    field_->setGeometry(x, 0, std::max(0, fieldRight - x), h);
}

void CComboBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.save();
    painter.fillRect(rect(), Qt::black);
    painter.restore();
    painter.save();
    const CColors::State state = switchedOn_ && isEnabled() ? CColors::kNormal : CColors::kOff;
    const int side = height();
    const QRect label(side + 2, 0, labelWidth_ - 4, height());
    painter.setPen(colors_->Text(CColors::kFace, state));
    painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label_);
    painter.restore();
}

}  // namespace kolvane
