#include "ui/PlayStatsDialog.h"

#include <algorithm>

#include <QPainter>

#include "platform/StringTable.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {
constexpr int kTitle = 40060;
constexpr int kSkipped = 40061;
constexpr int kLowest = 40062;
constexpr int kHighest = 40063;
constexpr int kRememberPosition = 10;

QString Formatted(int textId, std::uint32_t value) {
    return QString::asprintf(StringText(textId).toUtf8().constData(), static_cast<int>(value));
}
}  // namespace

CPlayStatsDialog::CPlayStatsDialog(QWidget* owner) : CBasicDialog(owner) {
    SetButtonSet(0);
    SetPositionMemory(kRememberPosition);
}

void CPlayStatsDialog::Show(std::uint32_t skippedFrames, std::uint32_t lowestRate,
                            std::uint32_t highestRate) {
    lines_ = {Formatted(kSkipped, skippedFrames), Formatted(kLowest, lowestRate),
              Formatted(kHighest, highestRate)};
    const int line = LineHeight();
    const QFontMetrics metrics = fontMetrics();
    int clientWidth = static_cast<int>(line * 4.6 * 2);
    for (const QString& text : lines_)
        clientWidth = std::max(clientWidth, metrics.horizontalAdvance(text) + 2 * line);
    if (IsOpen()) End(kClose);
    Create(StringText(kTitle), WindowWidth(clientWidth), WindowHeight(DialogUnit()));
    update();
}

void CPlayStatsDialog::PaintClient(QPainter& painter, const QRect& client) {
    const int line = LineHeight();
    painter.setPen(Colors().Text(CColors::kField));
    int top = client.top() + (client.height() - 3 * line) / 2;
    for (const QString& text : lines_) {
        painter.drawText(QRect(client.left(), top, client.width(), line),
                         Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, text);
        top += line;
    }
}

}  // namespace kolvane
