#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <QImage>
#include <QRect>
#include <QRgb>
#include <QString>

#include "display/ImageFiles.h"
#include "display/ImageLoader.h"
#include "platform/Progress.h"
#include "platform/ResultCodes.h"

class QPainter;

namespace kolvane {

class CMdiaList;
class CNode;
class CSettings;

// Placement of an image inside a rectangle (DrawImage's fit mode).
enum FitMode : int {
    kFitStretch = 0,  // any mode other than 1 to 3 stretches
    kFitMonitor = 1,  // corrected for the monitor's aspect: player and grabber
    kFitInside = 2,   // whole picture inside, bars outside: movie frames
    kFitFill = 3,     // rectangle filled, picture cut by the target: movie frames
};

// The display renderer: every picture of the program is drawn through it. A
// raster compositor: the back buffer (made at the player view's first size),
// and during a movie frame an offscreen target, are QImages; a texture is
// the QImage of an image item. Opaque layers multiply, transparent layers
// are laid over white with their alpha. Presenting paints the back buffer
// into whatever widget asks, scaled to the rectangle given.
//
// User-interface thread only (the image loader decodes on its own workers).
class CDirect3D {
  public:
    static constexpr int kTextCentred = Qt::AlignCenter | Qt::TextSingleLine;

    CDirect3D(const CSettings& settings, CMdiaList& media);
    virtual ~CDirect3D();
    CDirect3D(const CDirect3D&) = delete;
    CDirect3D& operator=(const CDirect3D&) = delete;

    // Makes the back buffer once, at the player view's client size, in the
    // format of a display of `displayDepth` bits. kOk, or 1 when there is
    // already a back buffer or it could not be made.
    Result CreateDevice(QSize clientSize, int displayDepth = 32);
    bool HasDevice() const { return !backBuffer_.isNull(); }
    // A new display mode: the back buffer is made again at `clientSize`, and
    // every image texture is dropped so that the idle loader reloads it.
    Result OnDisplayChange(QSize clientSize, int displayDepth);
    void Release();

    // Render target 0: the offscreen target during a movie frame, else the
    // back buffer (none before CreateDevice).
    QSize TargetSize() const;
    TextureFormat TargetFormat() const;
    int BitsPerPixel() const;

    // Fills the rectangle (none: the whole target) with an RGB colour.
    void Clear(std::optional<QRect> rect, QRgb colour);
    QRect GetViewportRect() const;
    // Where the last image was drawn; before any, the viewport narrowed by
    // the monitor factors of its own size.
    QRect GetPictureRect() const;
    // Draws `item` into `rect` by `fitMode`. `layered` is false for the first
    // image of a frame (it replaces) and true for the others (multiplied in,
    // or laid over with alpha).
    void DrawImage(const QRect& rect, const CNode& item, bool layered, int fitMode);
    void DrawText(const QRect& rect, QRgb colour, const QString& text, int flags = kTextCentred);
    // Paints the back buffer into `target` of a widget's painter.
    void Present(QPainter& painter, const QRect& target) const;

    // The rectangle an image of `imageSize` takes inside `rect`.
    QRect PlaceImage(const QRect& rect, QSize imageSize, int fitMode) const;

    // A movie frame: false when the target could not be made (or one is
    // already open); then drawing goes on into the back buffer.
    bool BeginOffscreen(const QRect& rect);
    bool InOffscreen() const { return !offscreen_.isNull(); }
    // Render target 0 into `buffer`, bottom row first, rows packed, 3 bytes
    // (blue, green, red) or 4 a pixel. kFail, writing nothing, when there is
    // no target or the buffer is smaller than the frame.
    Result ReadFrame(std::span<std::uint8_t> buffer, bool bits24) const;
    void EndOffscreen();
    // Render target 0 itself, for reading without a copy; none without one.
    const QImage* TargetImage() const { return Target(); }
    // Counts every drawing into a target, so that a caller can tell that
    // nobody else drew into what it drew last.
    std::uint64_t DrawCount() const { return drawCount_; }

    // Image files (texture sizes follow render target 0).
    static TextureFormat ChooseImageFormat(const QString& path, TextureFormat requested) {
        return kolvane::ChooseImageFormat(path, requested);
    }
    Result LoadImage(CNode& item);
    // `item`'s picture decoded for render target 0 on a worker, attached to
    // nothing (see CImageLoader::DecodeAside).
    std::shared_future<DecodedImage> DecodeAside(const CNode& item) {
        return loader_.DecodeAside(item, LoaderTarget());
    }
    // ... or straight into I420 planes of render target 0's size.
    std::shared_future<bool> DecodeAsideI420(const CNode& item, const I420Planes& planes) {
        return loader_.DecodeAsideI420(item, TargetSize(), planes);
    }
    bool LoadPendingImages(bool all);
    // A grab's picture, already in memory, as the texture the loader would
    // make from the PNG file holding it, for the player view, and its
    // thumbnail. Reads no file: it may be made while the file is still being
    // written.
    DecodedImage MakeTexture(const QImage& picture) const;
    // The same on any thread, for the render target TextureTarget answered
    // on this one.
    static DecodedImage MakeTexture(const QImage& picture, const RenderTarget& target);
    RenderTarget TextureTarget() const { return ViewTarget(); }
    // The size of the texture MakeTexture makes of a picture of this size.
    QSize TextureSizeFor(QSize picture) const;
    // Attaches a texture MakeTexture made to `item` (see
    // CImageLoader::SetTexture): true when the item then has a texture.
    bool SetTexture(CNode& item, DecodedImage made);
    // Whether any image has a ".lvw" companion: only then does flipping
    // "Load LiveView Images" change what is shown.
    bool HasLiveViewCompanions() const { return loader_.AnyCompanionExists(); }
    // Reloads every image under a "Loading Images..." progress window, one
    // step an image; closing the window stops it (the rest keep what they
    // show).
    void ReloadAllImages(IProgress& progress);
    CImageLoader& Loader() { return loader_; }
    // The picture cache's figures: bytes held, budget, hits and misses.
    PictureCacheStatistics CacheStatistics() const { return loader_.Cache().Statistics(); }

    // Picture cache and read-ahead, at the player view's size (see CImageLoader).
    bool LoadNow(CNode& item) { return loader_.LoadNow(item, ViewTarget()); }
    bool TakeReadAhead(CNode& item) { return loader_.TakeReady(item, ViewTarget()); }
    void ReadAhead(const std::vector<CNode*>& order) { loader_.ReadAhead(order, ViewTarget()); }

  private:
    QImage* Target();
    const QImage* Target() const;
    RenderTarget LoaderTarget() const;
    RenderTarget ViewTarget() const;
    void Fill(QImage& target, const QRect& rect, QRgb colour);
    void Multiply(QImage& target, const QRect& drawn, const QImage& texture);

    const CSettings& settings_;
    CImageLoader loader_;
    QImage backBuffer_;
    QImage offscreen_;
    TextureFormat displayFormat_ = TextureFormat::X8R8G8B8;
    int displayBits_ = 0;
    QRect picture_;   // the last image drawn
    QImage scratch_;  // a layer scaled to its place before multiplying
    std::uint64_t drawCount_ = 0;
};

}  // namespace kolvane
