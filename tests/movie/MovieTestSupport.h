#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "movie/MovieSources.h"
#include "platform/Progress.h"
#include "settings/Settings.h"

namespace kolvane::test {

// A renderer on a QImage: enough of the display's off-screen frame to show
// what the writer draws, and counts of what it was asked.
class CImageRenderer final : public IMovieRenderer {
  public:
    bool BeginOffscreen(const QRect& rect) override;
    void Clear(std::optional<QRect> rect, QRgb colour) override;
    void DrawImage(const QRect& rect, const CNode& item, bool layered, int fitMode) override;
    void DrawText(const QRect& rect, QRgb colour, const QString& text) override;
    // Decodes on a thread of its own, after 0 to 2 times `decodeDelayMs`.
    std::shared_future<DecodedImage> DecodeImage(const CNode& item) override;
    // Through DecodeJpegI420, on a thread of its own; none with `!direct`.
    std::shared_future<bool> DecodeI420(const CNode& item, const I420Planes& planes) override;
    Result ReadFrame(std::span<std::uint8_t> buffer, bool bits24) override;
    const QImage* Frame() const override { return directRead ? &target : nullptr; }
    std::uint64_t DrawCount() const override { return drawCount; }
    void EndOffscreen() override;

    QImage target;
    bool directRead = true;  // false: the frame is only read back
    bool direct = true;      // false: no picture is decoded straight to I420
    int directDecodes = 0;
    int decodeDelayMs = 0;
    std::uint64_t drawCount = 0;
    int loads = 0;
    int draws = 0;        // DrawImage calls
    int directDraws = 0;  // draws of a media item's own texture
    int ends = 0;
    std::vector<std::pair<QRect, QString>> texts;
};

// Sound cells whose item is in `levels` give that constant sample value;
// items in `broken` fail like a clip that cannot be read.
class CConstantSound final : public IMovieSound {
  public:
    explicit CConstantSound(const CSettings& settings) : settings_(settings) {}
    FeddickAudioFormat Format() const override { return {2, 48000, 16}; }
    int BytesPerFrame() const override { return 48000 / settings_.Get(FrameRate) * 4; }
    Result WriteFrame(CNode& column, const CNode& cell, std::span<std::int16_t> samples) override;

    std::map<const CNode*, std::int16_t> levels;
    std::vector<const CNode*> broken;

  private:
    const CSettings& settings_;
};

// Answers `answer` at step `atStep`, kGoOn at every other.
class CScriptedProgress final : public IProgress {
  public:
    void Open(int titleId, int buttonSet) override;
    void SetRange(int total) override { range = total; }
    int Step(int position) override;
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }

    int atStep = -1;
    int answer = kGoOn;
    std::function<void()> onStep;  // runs at every step, before answering
    int title = 0;
    int buttons = -1;
    int range = -1;
    std::vector<int> steps;
    bool open = false;
};

// A scene of small images and sounds, made in a temporary folder.
class CTestScene {
  public:
    CTestScene();

    // A solid image file of `size` and its media item.
    CNode* Image(const QString& name, QRgb colour, QSize size = QSize(32, 24));
    CNode* Sound(const QString& name);
    // A new column of `items` one frame each (none: a blank cell).
    CNode* Column(const std::vector<CNode*>& items);
    // Ends the editing: normalises the sheet (a trailing blank row and column).
    void Finish();

    QString folder;
    CSettings settings;
    CMdiaList media;
    CXshtList sheet{settings};
};

// What a movie file holds, decoded again.
struct DecodedMovie {
    QString container;  // the discoverer's container caps name
    GstClockTime duration = GST_CLOCK_TIME_NONE;
    QString videoCaps;  // the stored (not decoded) caps names
    QString audioCaps;
    std::vector<QImage> frames;       // RGB32
    std::vector<std::int16_t> sound;  // 48 kHz stereo
};
DecodedMovie DecodeMovie(const QString& path);

// Average colour of a rectangle of a frame, as (r, g, b).
QRgb AverageColour(const QImage& frame, const QRect& area);

}  // namespace kolvane::test
