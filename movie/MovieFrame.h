#pragma once

#include <functional>
#include <optional>

#include <QRect>
#include <QSize>
#include <QString>

namespace kolvane {

class CNode;
class CXshtList;

// The largest side a movie frame may have: what the containers and encoders
// of this platform take, and what a typed size is held to.
inline constexpr int kMaxMovieSide = 8192;

// The largest picture width and the largest height (taken apart) among the
// images that the cells of the columns that are on show. `measure` gives the
// size of an image whose size is not known yet (not loaded); none counts it
// as 0 × 0.
QSize LargestShownPicture(const CXshtList& sheet,
                          const std::function<QSize(const CNode& item)>& measure = {});

// The size of a picture file as its header says, without decoding it.
QSize PictureFileSize(const CNode& item);

// The movie frame of a size: the width rounded up to a multiple of 16, the
// height scaled with it and rounded up to an even number; the frame held to
// kMaxMovieSide on each side, keeping its aspect. None for a size without
// area (a scene with no picture to measure).
std::optional<QRect> RoundMovieFrame(QSize size);

struct MovieFrameChoice {
    QRect frame;
    int drawingMode = 2;  // 0 stretch, 2 fit inside, 3 fill
};

// The movie dialog's frame for the scene's largest picture and the resizing
// text: "none" keeps the picture's size, a typed "720x576" replaces either
// side that is not 0, "standard", "widescreen", "letterbox" and "pillarbox"
// make 4:3 or 16:9 frames, filled or fitted; `anamorphic` (the player's
// letterbox "stretch") makes a 16:9 frame of the picture height that every
// picture is stretched over. None when there is nothing to measure.
std::optional<MovieFrameChoice> MovieFrameFor(QSize largest, const QString& resizing,
                                              bool anamorphic);

}  // namespace kolvane
