#pragma once

#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include <QImage>
#include <QRect>
#include <QString>

#include <gst/gst.h>

#include "movie/MoviePipeline.h"
#include "movie/MovieSources.h"
#include "platform/ResultCodes.h"
#include "storage/SafeFile.h"

namespace kolvane {

class CNode;
class CSettings;
class CXshtList;
class IProgress;

// Writes the exposure sheet as a movie: composes every frame off screen with
// the renderer, mixes its sound from the sound columns, and puts both into
// the movie source of a movie pipeline (see CMoviePipeline). The user
// interface thread runs it; the pipeline's threads encode meanwhile.
class CMovieWriter {
  public:
    CMovieWriter(const CSettings& settings, CXshtList& sheet, IMovieRenderer& renderer,
                 IMovieSound& sound,
                 std::span<const MovieReduction> reductions = DefaultReductions());
    ~CMovieWriter();
    CMovieWriter(const CMovieWriter&) = delete;
    CMovieWriter& operator=(const CMovieWriter&) = delete;

    // Writes the movie at `path`; its extension (".avi" or ".mp4", case
    // ignored) decides the container, whatever `containerExtension` says.
    // `frame` is the movie's size (a width that is a multiple of 4, an even
    // height) and `drawingMode` the fit mode of the pictures. 0 on success;
    // 60109 when "stop" ended it early (the movie holds the frames so far);
    // 60110 for "abort"; else a failure (60106, 60108, 60111, 60124, or the
    // failure of a picture that cannot be loaded). The movie is written under
    // a hidden temporary name in the same folder and renamed to `path` only
    // when the muxer has finished it (also after "stop"); every other result
    // removes the temporary and leaves a file that was at `path` as it was.
    // An AVI frame must lie within 16 to 4096 pixels a side (60108).
    Result WriteMovie(const QString& path, const QString& containerExtension,
                      const QString& codecName, const QRect& frame, int drawingMode,
                      IProgress& progress);
    // True when this platform has an encoder for the reduction text.
    bool IsEncoderAvailable(const QString& codecName) const;
    // ... and the container stores what that encoder makes.
    bool IsEncoderAvailable(const QString& codecName, MovieContainer container) const;

    // The user's page for the encoder's own settings ("FFDShow"); none shows
    // nothing.
    void SetEncoderPages(IEncoderPages* pages) { pages_ = pages; }
    // The interface line height that sizes the frame counter; 0 (the
    // default) measures the application font.
    void SetLineHeight(int lineHeight) { lineHeight_ = lineHeight; }
    // Why the last movie failed, for a log or a terminal.
    const QString& ErrorDetail() const { return errorDetail_; }

    // The steps of WriteMovie.
    Result OpenMovie(const QString& path, const QString& codecName, const QRect& frame,
                     int drawingMode);
    // The pictures of one frame, one image item (or none) per column in
    // column order. A frame whose pictures are drawn as the previous
    // frame's were reuses that frame's picture (only the counter is drawn
    // anew).
    Result WriteFramePicture(std::span<const CNode* const> pictures);
    // The pictures of every frame, `columns` a frame, so that those of the
    // frames to come are decoded while the encoder works; none reads
    // nothing ahead. Valid until the movie is closed.
    void SetPicturesAhead(std::span<const CNode* const> plan, std::size_t columns);
    // The sound of one frame, one sound cell (or none) per column.
    Result WriteFrameSound(std::span<CNode* const> columns, std::span<const CNode* const> cells);
    // Ends the movie; with `complete`, waits until the file is whole.
    Result CloseMovie(bool complete);

  private:
    struct ReloadedPicture {
        const CNode* item = nullptr;
        std::unique_ptr<CNode> texture;
    };
    // A frame of the movie source decoded into straight from its picture
    // file; mapped while the decode may write into it.
    class CDirectFrame {
      public:
        CDirectFrame(GstBuffer* buffer, IMovieRenderer& renderer, const CNode& item, int width,
                     int height);
        ~CDirectFrame();
        CDirectFrame(const CDirectFrame&) = delete;
        CDirectFrame& operator=(const CDirectFrame&) = delete;
        // The frame once decoded; none when it could not be (it is freed).
        GstBuffer* Take();

      private:
        void Unmap();
        GstBuffer* buffer_;
        GstMapInfo map_{};
        bool mapped_ = false;
        std::shared_future<bool> done_;
    };
    // A picture being decoded for the first frame that needs it: a texture,
    // or with `direct` the frame itself.
    struct AheadPicture {
        int frame = 0;
        std::size_t column = 0;
        const CNode* item = nullptr;
        QString path;
        std::shared_future<DecodedImage> picture;
        std::unique_ptr<CDirectFrame> direct;
    };
    // What one column draws: the texture's node and its contents.
    using DrawnLayer = std::pair<const CNode*, qint64>;

    static bool NeedsReload(const CNode& item);
    const CNode* DirectPicture(std::span<const CNode* const> pictures) const;
    GstBuffer* TakeDirect(const CNode& item);
    const CNode* Drawable(const CNode& item, std::size_t column, Result* result);
    void ReadAhead();
    std::shared_future<DecodedImage> TakeAhead(const CNode& item, std::size_t column);
    bool NextFrameRepeats() const;
    Result PutRepeat();
    Result PutFrame(GstBuffer* buffer);
    void DrawCounter();
    Result ReadI420(std::span<std::uint8_t> frame);
    void ForgetFrames();
    int FrameRate() const;

    const CSettings& settings_;
    CXshtList& sheet_;
    IMovieRenderer& renderer_;
    IMovieSound& sound_;
    std::span<const MovieReduction> reductions_;
    CMoviePipeline pipeline_;
    CAtomicFile output_;  // the movie being written, under its temporary name
    IEncoderPages* pages_ = nullptr;
    int lineHeight_ = 0;

    QRect frame_;
    int drawingMode_ = 2;
    int counterLine_ = 0;
    bool encoded_ = false;                // frames go over as I420
    std::vector<std::uint8_t> readBack_;  // the frame as read, before I420
    int frameCounter_ = 0;
    bool offscreen_ = false;
    std::vector<std::int16_t> columnSamples_;
    std::vector<std::int32_t> mix_;
    // The last picture reloaded at full size for each column: a picture held
    // for many frames is decoded once.
    std::vector<ReloadedPicture> reloaded_;
    // Read-ahead: the frames' pictures, the pictures being decoded (in the
    // order they are needed), the next frame to look at, and the picture
    // each column will hold by then.
    std::span<const CNode* const> plan_;
    std::size_t planColumns_ = 0;
    std::deque<AheadPicture> ahead_;
    int scanFrame_ = 0;
    std::vector<const CNode*> scanHeld_;
    // The last frame put, its layers, and the renderer's count after it.
    GstBuffer* lastFrame_ = nullptr;
    std::vector<DrawnLayer> lastLayers_;
    std::vector<DrawnLayer> layers_;
    std::uint64_t lastDrawCount_ = 0;
    bool lastKnown_ = false;   // lastLayers_ are the last frame's
    bool frameHolds_ = false;  // ... and the renderer's frame holds them composed
    // Single JPEG pictures of the frame's size are decoded into the frame
    // without drawing, until one cannot be.
    bool direct_ = true;
    QString errorDetail_;
};

}  // namespace kolvane
