#include "movie/MovieFrame.h"

#include <algorithm>
#include <cstdint>

#include <QImageReader>
#include <QRegularExpression>

#include "display/Direct3D.h"
#include "model/MediaInfo.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "model/XshtList.h"
#include "settings/Settings.h"

namespace kolvane {

QSize LargestPicture(const CXshtList& sheet) {
    QSize size;
    for (const CNode* column : sheet.Levels()) {
        if ((column->flags & kFlagOn) == 0) continue;
        for (const CNode* cell : *column->children) {
            if (!cell->Is(kTypeImageCell) || cell->item == nullptr ||
                cell->item->imageInfo == nullptr) {
                continue;
            }
            const CImageInfo& info = *cell->item->imageInfo;
            size = size.expandedTo(QSize(info.imageWidth, info.imageHeight));
        }
    }
    return size;
}

QRect RoundedMovieFrame(QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return {};
    const int width = (size.width() + 15) / 16 * 16;
    int height = static_cast<int>(static_cast<long long>(size.height()) * width / size.width());
    height += height % 2;
    return QRect(0, 0, width, height);
}

namespace {

// The number at the start of `text` after blanks, as the dialog has always
// read a typed size ("720" of "720 x 576"); 0 when there is none.
unsigned LeadingNumber(QStringView text) {
    qsizetype at = 0;
    while (at < text.size() && text[at].isSpace())
        ++at;
    unsigned value = 0;
    for (; at < text.size() && text[at].isDigit() && value < 100000; ++at)
        value = value * 10 + static_cast<unsigned>(text[at].digitValue());
    return value;
}

}  // namespace

MovieFrame MovieFrameFor(QSize largest, const QString& resizing, bool anamorphic) {
    // Unsigned as the dialog has always divided: a negative size is no size.
    const unsigned wMax = static_cast<unsigned>(std::max(0, largest.width()));
    const unsigned hMax = static_cast<unsigned>(std::max(0, largest.height()));
    unsigned w = wMax;
    unsigned h = hMax;
    int mode = kFitInside;
    // A typed "720x576": each number replaces its side unless it is 0.
    const qsizetype x = resizing.indexOf(QLatin1Char('x'));
    if (x >= 0) {
        const unsigned typedW = LeadingNumber(QStringView(resizing).left(x));
        const unsigned typedH = LeadingNumber(QStringView(resizing).mid(x + 1));
        if (typedW != 0) w = typedW;
        if (typedH != 0) h = typedH;
    }
    const QString kind = CSettings::ShortText(resizing);
    if (kind == QLatin1String("standard")) {
        w = 4 * hMax / 3;
        h = hMax;
        mode = kFitFill;
    } else if (kind == QLatin1String("widescreen")) {
        w = wMax;
        h = 9 * wMax / 16;
        mode = kFitFill;
    } else if (kind == QLatin1String("letterbox")) {
        w = wMax;
        h = 3 * wMax / 4;
    } else if (kind == QLatin1String("pillarbox")) {
        w = 16 * hMax / 9;
        h = hMax;
    }
    if (anamorphic) {
        w = 16 * hMax / 9;
        h = hMax;
        mode = kFitStretch;
    }
    constexpr unsigned kMaxSide = 1u << 15;  // far beyond any movie; keeps the maths in int
    if (w > kMaxSide || h > kMaxSide) return {QRect(), mode};
    return {RoundedMovieFrame(QSize(static_cast<int>(w), static_cast<int>(h))), mode};
}

QSize LargestPicture(const CXshtList& sheet,
                     const std::function<QSize(const CNode& item)>& measure) {
    QSize size;
    for (const CNode* column : sheet.Levels()) {
        if ((column->flags & kFlagOn) == 0) continue;
        const CNode* last = nullptr;
        for (const CNode* cell : *column->children) {
            const CNode* item = cell->item;
            // A picture held for many frames is measured once.
            if (!cell->Is(kTypeImageCell) || item == nullptr || item->imageInfo == nullptr ||
                item == last) {
                continue;
            }
            last = item;
            QSize picture(item->imageInfo->imageWidth, item->imageInfo->imageHeight);
            if (picture.width() <= 0 || picture.height() <= 0) picture = measure(*item);
            size = size.expandedTo(picture);
        }
    }
    return size;
}

QSize PictureFileSize(const CNode& item) {
    if (item.imageInfo == nullptr) return {};
    const QSize size = QImageReader(item.imageInfo->path).size();
    return size.isValid() ? size : QSize();
}

QString HeldTypedSize(const QString& resizing) {
    static const QRegularExpression kTyped(
        QStringLiteral("^(\\s*)(\\d+)(\\s*[xX]\\s*)(\\d+)(\\s*)$"));
    const QRegularExpressionMatch typed = kTyped.match(resizing);
    if (!typed.hasMatch()) return resizing;
    const auto held = [](const QString& digits) {
        const QString trimmed = digits.size() > 5 ? QString::number(kMaxMovieSide) : digits;
        return QString::number(std::min(trimmed.toInt(), kMaxMovieSide));
    };
    return typed.captured(1) + held(typed.captured(2)) + typed.captured(3) +
           held(typed.captured(4)) + typed.captured(5);
}

QRect HeldToMaxMovieSide(const QRect& frame) {
    if (frame.isEmpty() || (frame.width() <= kMaxMovieSide && frame.height() <= kMaxMovieSide))
        return frame;
    std::int64_t width = frame.width();
    std::int64_t height = frame.height();
    if (width >= height) {
        height = std::max<std::int64_t>(2, height * kMaxMovieSide / width);
        width = kMaxMovieSide;
    } else {
        width = std::max<std::int64_t>(1, width * kMaxMovieSide / height);
        height = kMaxMovieSide;
    }
    const QRect rounded =
        RoundedMovieFrame(QSize(static_cast<int>(width), static_cast<int>(height)));
    // Rounding the width up can make a tall frame a few rows too high.
    return QRect(0, 0, rounded.width(), std::min(rounded.height(), kMaxMovieSide));
}

}  // namespace kolvane
