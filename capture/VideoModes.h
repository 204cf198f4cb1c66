#pragma once

#include <gst/gst.h>

#include <vector>

#include <QString>

namespace kolvane {

// One capture format a device offers: a media type with its pixel format and
// a size (a range of sizes when the device scales), with its frame rates.
struct CVideoMode {
    QString media;   // "video/x-raw", "image/jpeg", "video/x-dv", ...
    QString format;  // the raw pixel format ("YUY2"); empty for coded media
    int width = 0;   // the largest size of a range
    int height = 0;
    int minWidth = 0;  // equal to width and height unless the size is a range
    int minHeight = 0;
    bool systemStream = false;               // DV: audio and video multiplexed
    std::vector<std::pair<int, int>> rates;  // numerator, denominator; empty: any
    bool IsRange() const { return minWidth != width || minHeight != height; }
    bool SameKind(const CVideoMode& other) const {
        return media == other.media && format == other.format;
    }
    // "1280x720 YUY2 30/1 25/1" for listings.
    QString Describe() const;
};

// The modes of a device's caps, one per structure (and per size of a size
// list), in the device's order.
std::vector<CVideoMode> ModesFromCaps(const GstCaps* caps);

// The format to capture in.
struct CModeChoice {
    int index = -1;  // into the modes; -1: none counted
    int width = 0;
    int height = 0;
    int rateNum = 0;  // 0: the device's own choice
    int rateDen = 1;
    bool IsValid() const { return index >= 0 && width > 0 && height > 0; }
};

// The size by `VideoQuality`: 0 "standard" is the first counted mode; 1-4
// scale the widest mode by a quarter, a half, three quarters or one; 5 is
// 1920 x 1080. The mode whose pixel count is nearest wins (the first on a
// tie). Only modes of the first mode's media and format count. On an HD card
// the first counted mode is taken at 1920 x 1080 and `frameRate` instead.
CModeChoice ChooseMode(const std::vector<CVideoMode>& modes, int quality, bool hdDevice,
                       int frameRate);

// The caps for the capsfilter behind the source.
GstCaps* CapsForChoice(const std::vector<CVideoMode>& modes, const CModeChoice& choice);

}  // namespace kolvane
