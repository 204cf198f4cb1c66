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
constexpr int kCacheSize = 40066;  // "picture cache: %d of %d MB"
constexpr int kCacheHits = 40067;  // "cache hits: %llu, misses: %llu"
constexpr std::int64_t kMB = 1024 * 1024;
constexpr int kRememberPosition = 10;

QString Formatted(int textId, std::uint32_t value) {
    return QString::asprintf(StringText(textId).toUtf8().constData(), static_cast<int>(value));
}

// Whole MB, rounded up: a cache holding anything does not show as empty.
int Megabytes(std::int64_t bytes) {
    return static_cast<int>((std::max<std::int64_t>(0, bytes) + kMB - 1) / kMB);
}
}  // namespace

CPlayStatsDialog::CPlayStatsDialog(QWidget* owner) : CBasicDialog(owner) {
    SetButtonSet(0);
    SetPositionMemory(kRememberPosition);
}

void CPlayStatsDialog::Show(std::uint32_t skippedFrames, std::uint32_t lowestRate,
                            std::uint32_t highestRate, const PictureCacheStatistics& cache) {
    const auto format = [](int id) { return StringText(id).toUtf8(); };
    lines_ = {Formatted(kSkipped, skippedFrames), Formatted(kLowest, lowestRate),
              Formatted(kHighest, highestRate),
              QString::asprintf(format(kCacheSize).constData(), Megabytes(cache.bytes),
                                Megabytes(cache.budget)),
              QString::asprintf(format(kCacheHits).constData(),
                                static_cast<unsigned long long>(cache.hits),
                                static_cast<unsigned long long>(cache.misses))};
    const int line = LineHeight();
    const QFontMetrics metrics = fontMetrics();
    int clientWidth = static_cast<int>(line * 4.6 * 2);
    for (const QString& text : lines_)
        clientWidth = std::max(clientWidth, metrics.horizontalAdvance(text) + 2 * line);
    if (IsOpen()) End(kClose);
    const int clientHeight = std::max(DialogUnit(), (static_cast<int>(lines_.size()) + 1) * line);
    Create(StringText(kTitle), WindowWidth(clientWidth), WindowHeight(clientHeight));
    update();
}

void CPlayStatsDialog::PaintClient(QPainter& painter, const QRect& client) {
    const int line = LineHeight();
    painter.setPen(Colors().Text(CColors::kField));
    int top = client.top() + (client.height() - static_cast<int>(lines_.size()) * line) / 2;
    for (const QString& text : lines_) {
        painter.drawText(QRect(client.left(), top, client.width(), line),
                         Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, text);
        top += line;
    }
}

}  // namespace kolvane
