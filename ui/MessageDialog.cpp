#include "ui/MessageDialog.h"

#include <QFontMetrics>
#include <QPainter>

#include "platform/MessageText.h"
#include "platform/StringTable.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kFirstKindTitle = 40210;  // "Information" .. "Request"

}  // namespace

CMessageDialog::CMessageDialog(QWidget* owner) : CBasicDialog(owner) {}

QString CMessageDialog::KindTitle(int kind) {
    if (kind < kInformation || kind > kRequest) return {};
    return StringText(kFirstKindTitle + kind - kInformation);
}

int CMessageDialog::Show(int kind, int id) {
    return ShowText(kind, MessageText(id));
}

int CMessageDialog::ShowText(int kind, const QString& text) {
    message_ = text;
    const int line = LineHeight();
    const int unit = DialogUnit();
    const int textWidth = QFontMetrics(font()).horizontalAdvance(message_);
    const int clientWidth = std::max(static_cast<int>(line * 4.6 * 2), textWidth + 2 * line);
    const bool asks = kind == kConfirm || kind == kRequest;
    const int clientHeight = asks ? unit + unit / 2 : unit;
    SetButtonSet(asks ? 2 : 0);
    SetPositionMemory(0);  // message boxes always open centred
    return DoModal(KindTitle(kind), WindowWidth(clientWidth), WindowHeight(clientHeight));
}

void CMessageDialog::PaintClient(QPainter& painter, const QRect& client) {
    painter.fillRect(client, Colors().Fill(CColors::kField));
    painter.setPen(Colors().Text(CColors::kField));
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, message_);
}

}  // namespace kolvane
