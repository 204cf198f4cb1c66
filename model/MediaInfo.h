#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <QString>

namespace kolvane {

// An image item's record. The sizes are 0 until the picture is loaded; the
// texture may be smaller than the image (it is never wider than the view).
class CImageInfo {
  public:
    explicit CImageInfo(QString path) : path(std::move(path)) {}

    QString path;
    int imageWidth = 0;
    int imageHeight = 0;
    int textureWidth = 0;
    int textureHeight = 0;
};

// The open decoder of a sound clip (a libsndfile or libmpg123 reader). The
// sound code defines it; destroying it closes the clip.
class ISoundDecoder {
  public:
    virtual ~ISoundDecoder() = default;
};

// A sound item's record, filled by the sound loader.
class CSoundInfo {
  public:
    explicit CSoundInfo(QString path);
    ~CSoundInfo();

    QString path;
    std::unique_ptr<ISoundDecoder> decoder;  // none until opened
    int channels = 0;
    int sampleRate = 0;
    std::int64_t length = 0;           // in sample frames
    float lengthInFrames = 0.0f;       // in scene frames at the current frame rate
    float samplesPerFrame = 0.0f;      // sample rate / frame rate * channels
    int frameRate = 0;                 // the scene frame rate it was measured at
    std::vector<std::int16_t> buffer;  // one scene frame of decoded samples
    // (minimum, maximum) pairs for list displays, built on first request.
    std::vector<std::pair<std::int16_t, std::int16_t>> waveform;
};

}  // namespace kolvane
