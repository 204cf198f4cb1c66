#pragma once

#include <cstdint>

namespace kolvane {

// Operations answer with one 32-bit code: 0 for success, kFail for a failure
// without a message, a string-table message number (above 32767) for a known
// failure, or an errno value that the message box shows with strerror.
using Result = std::int32_t;

inline constexpr Result kOk = 0;
inline constexpr Result kFail = static_cast<Result>(0x80004005u);

// Message numbers of the string table that operations return as results.
namespace msg {
inline constexpr Result kSelectImagesToLoop = 60100;
inline constexpr Result kDisplayTooSmall = 60101;
inline constexpr Result kDisplayTooFewColors = 60102;
inline constexpr Result kMediaFrameworkMissing = 60103;
inline constexpr Result kGrabberGraphicsMissing = 60105;
inline constexpr Result kNotCorrectlyInstalled = 60106;
inline constexpr Result kMovieGraphFailed = 60108;
inline constexpr Result kMovieStopped = 60109;
inline constexpr Result kMovieAborted = 60110;
inline constexpr Result kEncoderMissing = 60111;
inline constexpr Result kTimingNotSaved = 60113;
inline constexpr Result kTimingEmpty = 60114;
inline constexpr Result kNotEnoughDiskSpace = 60116;
inline constexpr Result kNotEnoughMemory = 60117;
inline constexpr Result kNotAllFilesLoaded = 60118;
inline constexpr Result kScenePartiallySaved = 60119;
inline constexpr Result kCannotCreateFolder = 60120;
inline constexpr Result kCannotFindFiles = 60123;
inline constexpr Result kCannotSaveMovie = 60124;
inline constexpr Result kCannotReadSound = 60126;
inline constexpr Result kUndoNotSaved = 60127;
inline constexpr Result kUndoNotRead = 60128;
inline constexpr Result kNotARegularFile = 60129;
}  // namespace msg

}  // namespace kolvane
