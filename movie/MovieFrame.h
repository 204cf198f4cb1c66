#pragma once

#include <functional>

#include <QRect>
#include <QSize>
#include <QString>

namespace kolvane {

class CNode;
class CXshtList;

// The movie frame as the movie dialog works it out, for the dialog and for
// kolvane-tool alike.
struct MovieFrame {
    QRect rect;       // (0, 0, W', H'); empty when the scene shows no picture
    int fitMode = 2;  // kFitStretch, kFitInside or kFitFill
};

// The largest width and the largest height (taken independently) among the
// pictures that the cells of the columns that are on show.
QSize LargestPicture(const CXshtList& sheet);

// W rounded up to a multiple of 16 (for the encoders), H scaled with it and
// rounded up to an even number; empty for an empty size.
QRect RoundedMovieFrame(QSize size);

// The frame and drawing mode for the resizing text of the movie dialog
// ("none", "standard (4:3)", "widescreen (16:9)", "letterbox (4:3)",
// "pillarbox (16:9)" or a typed "WxH") from the largest picture. With
// `anamorphic` (PlayLetterbox is "stretch (anamorphic video)") the pictures
// are stretched over a 16:9 frame whatever the resizing.
MovieFrame MovieFrameFor(QSize largest, const QString& resizing, bool anamorphic);

// The largest side a movie frame has: what the containers and encoders of
// this platform take.
inline constexpr int kMaxMovieSide = 8192;

// LargestPicture, with `measure` giving the size of a picture whose size is
// not known yet (an image not loaded since it was grabbed or resumed).
QSize LargestPicture(const CXshtList& sheet,
                     const std::function<QSize(const CNode& item)>& measure);

// The size of a picture file as its header says, without decoding it.
QSize PictureFileSize(const CNode& item);

// A typed "WxH" resizing with each number held to kMaxMovieSide; any other
// text as it is.
QString HeldTypedSize(const QString& resizing);

// A frame larger than kMaxMovieSide on a side made smaller to fit, keeping
// its aspect, its width a multiple of 16 and its height even.
QRect HeldToMaxMovieSide(const QRect& frame);

}  // namespace kolvane
