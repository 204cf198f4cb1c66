#include "movie/MovieFrame.h"

#include <algorithm>
#include <cstdint>

#include <QImageReader>

#include "model/MediaInfo.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "model/XshtList.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

constexpr int kStretch = 0;
constexpr int kFitInside = 2;
constexpr int kFill = 3;

// The number at the start of a text, 0 without one; held to the largest side.
std::uint32_t LeadingNumber(QStringView text) {
    text = text.trimmed();
    std::uint64_t value = 0;
    for (QChar c : text) {
        if (!c.isDigit()) break;
        value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c.digitValue()),
                                        kMaxMovieSide);
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

QSize PictureFileSize(const CNode& item) {
    if (item.imageInfo == nullptr) return {};
    const QSize size = QImageReader(item.imageInfo->path).size();
    return size.isValid() ? size : QSize();
}

QSize LargestShownPicture(const CXshtList& sheet,
                          const std::function<QSize(const CNode& item)>& measure) {
    int width = 0;
    int height = 0;
    for (const CNode* column : sheet.Levels()) {
        if ((column->flags & kFlagOn) == 0) continue;
        const CNode* last = nullptr;
        for (const CNode* cell : *column->children) {
            const CNode* item = cell->item;
            // A picture held for many frames is measured once.
            if (!cell->Is(kTypeImageCell) || item == nullptr || item == last) continue;
            last = item;
            QSize size;
            if (item->imageInfo != nullptr)
                size = QSize(item->imageInfo->imageWidth, item->imageInfo->imageHeight);
            if ((size.width() <= 0 || size.height() <= 0) && measure) size = measure(*item);
            width = std::max(width, size.width());
            height = std::max(height, size.height());
        }
    }
    return QSize(width, height);
}

std::optional<QRect> RoundMovieFrame(QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return std::nullopt;
    std::int64_t width = size.width();
    std::int64_t height = size.height();
    // Too large a frame shrinks to the largest side, keeping its aspect.
    if (width > kMaxMovieSide || height > kMaxMovieSide) {
        if (width >= height) {
            height = std::max<std::int64_t>(1, height * kMaxMovieSide / width);
            width = kMaxMovieSide;
        } else {
            width = std::max<std::int64_t>(1, width * kMaxMovieSide / height);
            height = kMaxMovieSide;
        }
    }
    const std::int64_t roundedWidth = (width + 15) / 16 * 16;
    std::int64_t roundedHeight = height * roundedWidth / width;
    roundedHeight += roundedHeight % 2;
    // Rounding the width up can make a tall frame too high by a few rows.
    roundedHeight = std::min<std::int64_t>(roundedHeight, kMaxMovieSide);
    return QRect(0, 0, static_cast<int>(roundedWidth), static_cast<int>(roundedHeight));
}

std::optional<MovieFrameChoice> MovieFrameFor(QSize largest, const QString& resizing,
                                              bool anamorphic) {
    // Unsigned 32-bit arithmetic as the sizes are given; they are at most
    // a few times kMaxMovieSide here, so nothing overflows.
    const std::uint32_t wmax = static_cast<std::uint32_t>(std::max(0, largest.width()));
    const std::uint32_t hmax = static_cast<std::uint32_t>(std::max(0, largest.height()));
    std::uint32_t width = wmax;
    std::uint32_t height = hmax;
    int mode = kFitInside;
    const qsizetype x = resizing.indexOf(u'x', 0, Qt::CaseInsensitive);
    if (x >= 0) {
        if (const std::uint32_t typed = LeadingNumber(QStringView(resizing).left(x)); typed != 0)
            width = typed;
        if (const std::uint32_t typed = LeadingNumber(QStringView(resizing).mid(x + 1));
            typed != 0) {
            height = typed;
        }
    }
    const QString kind = CSettings::ShortText(resizing.trimmed());
    if (kind == QLatin1String("standard")) {
        width = 4 * hmax / 3;
        height = hmax;
        mode = kFill;
    } else if (kind == QLatin1String("widescreen")) {
        width = wmax;
        height = 9 * wmax / 16;
        mode = kFill;
    } else if (kind == QLatin1String("letterbox")) {
        width = wmax;
        height = 3 * wmax / 4;
    } else if (kind == QLatin1String("pillarbox")) {
        width = 16 * hmax / 9;
        height = hmax;
    }
    if (anamorphic) {
        width = 16 * hmax / 9;
        height = hmax;
        mode = kStretch;
    }
    const auto frame =
        RoundMovieFrame(QSize(static_cast<int>(std::min<std::uint32_t>(width, 1u << 20)),
                              static_cast<int>(std::min<std::uint32_t>(height, 1u << 20))));
    if (!frame) return std::nullopt;
    return MovieFrameChoice{*frame, mode};
}

}  // namespace kolvane
