#pragma once

#include "movie/MovieSources.h"
#include "movie/MovieWriter.h"

namespace kolvane {

class CDirect3D;
class CDirectSound;
class CSettings;
class CStorage;
class CXshtList;

// The display renderer's off-screen frame, as the movie writer draws it.
class CDisplayMovieRenderer final : public IMovieRenderer {
  public:
    explicit CDisplayMovieRenderer(CDirect3D& display) : display_(display) {}
    bool BeginOffscreen(const QRect& rect) override;
    void Clear(std::optional<QRect> rect, QRgb colour) override;
    void DrawImage(const QRect& rect, const CNode& item, bool layered, int fitMode) override;
    void DrawText(const QRect& rect, QRgb colour, const QString& text) override;
    std::shared_future<DecodedImage> DecodeImage(const CNode& item) override;
    std::shared_future<bool> DecodeI420(const CNode& item, const I420Planes& planes) override;
    Result ReadFrame(std::span<std::uint8_t> buffer, bool bits24) override;
    const QImage* Frame() const override;
    std::uint64_t DrawCount() const override;
    void EndOffscreen() override;

  private:
    CDirect3D& display_;
};

// A sound cell's frame through the storage's frame writer into its column's
// ring, read back from the ring as playback would play it.
class CStorageMovieSound final : public IMovieSound {
  public:
    CStorageMovieSound(CStorage& storage, CDirectSound& output)
        : storage_(storage), output_(output) {}
    FeddickAudioFormat Format() const override;
    int BytesPerFrame() const override;
    Result WriteFrame(CNode& column, const CNode& cell, std::span<std::int16_t> samples) override;

  private:
    CStorage& storage_;
    CDirectSound& output_;
};

// The movie writer of the program's scene: the process-wide sheet, renderer,
// storage and audio output.
class CSceneMovie {
  public:
    CSceneMovie(const CSettings& settings, CXshtList& sheet, CDirect3D& display, CStorage& storage,
                CDirectSound& output);
    CMovieWriter& Writer() { return writer_; }

  private:
    CDisplayMovieRenderer renderer_;
    CStorageMovieSound sound_;
    CMovieWriter writer_;
};

}  // namespace kolvane
