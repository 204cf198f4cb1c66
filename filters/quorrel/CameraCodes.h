#pragma once

// The stored setting codes against the choices a camera offers by name
// ("Daylight", "100", "f/5.6", "1/15", "Large Fine JPEG"). Makers name the
// same value differently, so each code matches by meaning: white balance by
// a list of names, ISO by its number, aperture and shutter speed by their
// value within a sixth of a stop, image quality by the names libgphoto2
// gives Canon bodies.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filters/quorrel/CameraBackend.h"

namespace kolvane::quorrel {

// The choice of `choices` that means `code`; nothing when the body has none.
std::optional<std::string> ChoiceForCode(CameraSetting setting, int code,
                                         const std::vector<std::string>& choices);

// The stored code a choice means; nothing for a choice outside the table.
std::optional<int> CodeForChoice(CameraSetting setting, std::string_view choice);

// The choice of a body's separate image size setting ("6000x4000", "L")
// that gives the JPEG size of `quality` (large, medium or small): the
// largest, the middle or the smallest of the sizes offered.
std::optional<std::string> ImageSizeChoiceForQuality(int quality,
                                                     const std::vector<std::string>& choices);

// Codes for a value a camera gives as a number (an f-number or a time range).
std::optional<int> ApertureCodeForFNumber(double fNumber);
std::optional<double> FNumberForApertureCode(int code);

// Image quality codes of the connection's table.
inline constexpr int kQualityLargeFine = 0x0013FF0F;
inline constexpr int kQualityMiddleFine = 0x0113FF0F;
inline constexpr int kQualitySmallFine = 0x0213FF0F;
inline constexpr int kQualityMiddle1Fine = 0x0513FF0F;
inline constexpr int kQualitySmall1Fine = 0x0E13FF0F;
inline constexpr int kQualityRawLargeFine = 0x00640013;
inline constexpr int kQualityRawMiddleFine = 0x00640113;
inline constexpr int kQualityRawSmallFine = 0x00640213;
inline constexpr int kQualityRawMiddle1Fine = 0x00640513;
inline constexpr int kQualityRawSmall1Fine = 0x00640E13;
inline constexpr int kQualityRawOnly = 0x0064FF0F;
inline constexpr int kQualityRawBits = 0x00640000;

// A raw file comes with the JPEG (two files per shot).
inline bool QualityHasRaw(int quality) {
    return (quality & kQualityRawBits) == kQualityRawBits;
}
// Files a shot of this quality makes: 1 for JPEG or raw alone, 2 for both.
inline int FilesPerShot(int quality) {
    return (quality & 0xFF) < 16 ? 1 : 2;
}

}  // namespace kolvane::quorrel
