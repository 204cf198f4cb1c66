#include "movie/MovieWriter.h"

#include <algorithm>
#include <cstring>

#include <gst/video/video.h>
#include <libyuv/convert_from_argb.h>

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>

#include "model/MediaInfo.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "model/XshtList.h"
#include "platform/Progress.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

constexpr int kSavingMovieTitle = 40206;  // "Saving Movie..."
constexpr int kOverlayCounter = 1;
constexpr int kDefaultFrameRate = 25;
// What avimux takes a side of a picture to be.
constexpr int kMinAviSide = 16;
constexpr int kMaxAviSide = 4096;
constexpr std::int64_t kUnitsPerSecond = 10'000'000;  // time per frame is in 100 ns units
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
// Read-ahead: pictures decoded ahead of the frame written, and how far ahead
// to look for them (a scene held still needs none).
constexpr std::size_t kPicturesAhead = 4;
constexpr int kFramesAhead = 50;
// The layer key of a picture decoded straight into the frame.
constexpr qint64 kDirectKey = -1;

// L of the interface: the application font's height and leading plus 4.
int InterfaceLineHeight() {
    const QFontMetrics metrics(QGuiApplication::font());
    return metrics.height() + metrics.leading() + 4;
}

// A texture the renderer can draw as the movie's picture: 32-bit, and of the
// image's own size (the display keeps smaller ones for its view).
bool HasFullSizeTexture(const CNode& item) {
    if (item.texture.isNull() || item.imageInfo == nullptr) return false;
    const QImage::Format format = item.texture.format();
    const bool bits32 = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                        format == QImage::Format_ARGB32_Premultiplied;
    return bits32 && item.texture.width() == item.imageInfo->imageWidth &&
           item.texture.height() == item.imageInfo->imageHeight;
}

// Writes GStreamer buffer bytes while mapped; unmaps on every way out.
class CMappedBuffer {
  public:
    explicit CMappedBuffer(GstBuffer* buffer) : buffer_(buffer) {
        mapped_ = gst_buffer_map(buffer_, &map_, GST_MAP_WRITE);
    }
    ~CMappedBuffer() {
        if (mapped_) gst_buffer_unmap(buffer_, &map_);
    }
    CMappedBuffer(const CMappedBuffer&) = delete;
    CMappedBuffer& operator=(const CMappedBuffer&) = delete;

    bool IsMapped() const { return mapped_; }
    std::span<std::uint8_t> Bytes() { return {map_.data, map_.size}; }

  private:
    GstBuffer* buffer_;
    GstMapInfo map_{};
    bool mapped_ = false;
};

}  // namespace

CMovieWriter::CMovieWriter(const CSettings& settings, CXshtList& sheet, IMovieRenderer& renderer,
                           IMovieSound& sound, std::span<const MovieReduction> reductions)
    : settings_(settings),
      sheet_(sheet),
      renderer_(renderer),
      sound_(sound),
      reductions_(reductions),
      pipeline_(reductions) {}

CMovieWriter::~CMovieWriter() {
    CloseMovie(false);
}

bool CMovieWriter::IsEncoderAvailable(const QString& codecName) const {
    const MovieReduction* reduction = FindReduction(reductions_, codecName);
    return reduction != nullptr && IsReductionAvailable(*reduction);
}

bool CMovieWriter::IsEncoderAvailable(const QString& codecName, MovieContainer container) const {
    const MovieReduction* reduction = FindReduction(reductions_, codecName);
    return reduction != nullptr && (container != MovieContainer::kMp4 || reduction->mp4) &&
           IsReductionAvailable(*reduction);
}

int CMovieWriter::FrameRate() const {
    const int rate = settings_.Get(kolvane::FrameRate);
    return rate > 0 ? rate : kDefaultFrameRate;
}

Result CMovieWriter::WriteMovie(const QString& path, const QString& /*containerExtension*/,
                                const QString& codecName, const QRect& frame, int drawingMode,
                                IProgress& progress) {
    errorDetail_.clear();
    const int length = sheet_.SheetLength();
    progress.Open(kSavingMovieTitle, IProgress::kAbortStop);
    progress.SetRange(std::max(0, length - 1));

    Result result = OpenMovie(path, codecName, frame, drawingMode);
    bool stopped = false;
    if (result == kOk) {
        // Every column but the trailing blank one.
        std::vector<CNode*> columns;
        for (CNode* column : sheet_.Levels()) {
            if (column->type != kTypeBlankColumn) columns.push_back(column);
        }
        const auto frames = static_cast<std::size_t>(std::max(0, length - 1));
        // Every frame's pictures first, so that the next ones are read ahead.
        std::vector<const CNode*> plan(frames * columns.size());
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if ((columns[c]->flags & kFlagOn) == 0) continue;
            const CNodeList& cells = *columns[c]->children;
            const auto filled = std::min(frames, static_cast<std::size_t>(cells.size()));
            for (std::size_t f = 0; f < filled; ++f) {
                const CNode* cell = cells.at(static_cast<int>(f));
                if (cell->Is(kTypeImageCell) && cell->item != nullptr)
                    plan[f * columns.size() + c] = cell->item;
            }
        }
        SetPicturesAhead(plan, columns.size());
        std::vector<const CNode*> sounds(columns.size());
        // The trailing blank row is not written.
        for (int f = 0; f + 1 < length; ++f) {
            for (std::size_t c = 0; c < columns.size(); ++c) {
                sounds[c] = nullptr;
                const CNodeList& cells = *columns[c]->children;
                if ((columns[c]->flags & kFlagOn) == 0 || f >= cells.size()) continue;
                const CNode* cell = cells.at(f);
                if (cell->Is(kTypeSoundCell)) sounds[c] = cell;
            }
            const std::span<const CNode* const> pictures(
                plan.data() + static_cast<std::size_t>(f) * columns.size(), columns.size());
            result = WriteFramePicture(pictures);
            if (result == kOk) result = WriteFrameSound(columns, sounds);
            if (result != kOk) break;
            const int answer = progress.Step(f + 1);
            if (answer == IProgress::kStop) {
                stopped = true;
                break;
            }
            if (answer == IProgress::kAbort || answer == IProgress::kClosed) {
                result = msg::kMovieAborted;
                break;
            }
        }
    }

    // An error while the muxer finishes the file is the movie's result too.
    const Result closed = CloseMovie(result == kOk);
    if (result == kOk) result = closed;
    // Only a movie the muxer finished takes the final name; anything else
    // leaves what that name held before.
    if (result == kOk) {
        if (const Result committed = output_.Commit(); committed != kOk) {
            errorDetail_ = QStringLiteral("%1: %2").arg(
                path, QString::fromLocal8Bit(std::strerror(committed)));
            result = msg::kCannotSaveMovie;
        }
    }
    output_.Discard();
    progress.Close();
    if (result == kOk && stopped) return msg::kMovieStopped;
    return result;
}

Result CMovieWriter::OpenMovie(const QString& path, const QString& codecName, const QRect& frame,
                               int drawingMode) {
    if (pipeline_.IsOpen()) return msg::kMovieGraphFailed;
    ForgetFrames();
    const std::optional<MovieContainer> container = ContainerOfPath(path);
    if (!container) {
        errorDetail_ = QStringLiteral("a movie file name ends in .avi or .mp4");
        return msg::kCannotSaveMovie;
    }
    if (frame.width() <= 0 || frame.height() <= 0 || frame.width() % 4 != 0 ||
        frame.height() % 2 != 0) {
        errorDetail_ = QStringLiteral("a movie frame is a multiple of 4 wide and of 2 high");
        return msg::kMovieGraphFailed;
    }
    if (*container == MovieContainer::kAvi &&
        (frame.width() < kMinAviSide || frame.width() > kMaxAviSide ||
         frame.height() < kMinAviSide || frame.height() > kMaxAviSide)) {
        errorDetail_ = QStringLiteral("an AVI movie is %1 to %2 pixels wide and high, not %3 x %4")
                           .arg(kMinAviSide)
                           .arg(kMaxAviSide)
                           .arg(frame.width())
                           .arg(frame.height());
        return msg::kMovieGraphFailed;
    }
    if (sheet_.SheetLength() < 2) {
        errorDetail_ = QStringLiteral("the exposure sheet has no frames");
        return msg::kMovieGraphFailed;
    }
    frame_ = QRect(QPoint(0, 0), frame.size());
    drawingMode_ = drawingMode;
    counterLine_ = lineHeight_ > 0 ? lineHeight_ : InterfaceLineHeight();
    // Uncompressed movies store 24-bit pictures as they are read back. Every
    // encoder takes I420, which the writer makes itself from the frame read
    // as 32-bit rows (a copy of rows): libyuv converts several times faster
    // than a converter element.
    encoded_ = codecName != QLatin1String("none");
    const FeddickVideoFormat video{frame_.width(), frame_.height(), kUnitsPerSecond / FrameRate(),
                                   !encoded_,
                                   encoded_ ? FeddickPixels::kI420 : FeddickPixels::kBgr24};
    readBack_.clear();
    if (!renderer_.BeginOffscreen(frame_)) {
        errorDetail_ = QStringLiteral("no off-screen frame of %1 x %2")
                           .arg(frame_.width())
                           .arg(frame_.height());
        return msg::kNotEnoughMemory;
    }
    offscreen_ = true;
    const std::size_t samples = static_cast<std::size_t>(std::max(0, sound_.BytesPerFrame())) / 2;
    columnSamples_.assign(samples, 0);
    mix_.assign(samples, 0);
    reloaded_.clear();

    // The movie grows under a hidden name beside its own and takes that name
    // once complete: a failure or a kill never cuts or removes an old movie.
    // What a killed export left there goes now; a running one's stays.
    RemoveAbandonedTemporaries(QFileInfo(path).path());
    if (const Result created = output_.Open(path); created != kOk) {
        errorDetail_ =
            QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(created)));
        CloseMovie(false);
        return msg::kCannotSaveMovie;
    }
    const Result result = pipeline_.Open(output_.TemporaryPath(), *container, codecName, video,
                                         sound_.Format(), pages_);
    if (result != kOk) {
        errorDetail_ = pipeline_.ErrorDetail();
        CloseMovie(false);
        return result;
    }
    frameCounter_ = 0;
    return kOk;
}

bool CMovieWriter::NeedsReload(const CNode& item) {
    return !HasFullSizeTexture(item);
}

void CMovieWriter::SetPicturesAhead(std::span<const CNode* const> plan, std::size_t columns) {
    ahead_.clear();
    plan_ = columns > 0 ? plan : std::span<const CNode* const>();
    planColumns_ = columns;
    scanFrame_ = frameCounter_;
    scanHeld_ = {};
    scanHeld_.resize(columns);
    for (std::size_t c = 0; c < reloaded_.size() && c < columns; ++c)
        scanHeld_[c] = reloaded_[c].item;
}

// Starts the decodes of the pictures that the frames to come will reload, as
// Drawable will ask for them: a column's picture once when it changes.
void CMovieWriter::ReadAhead() {
    const int frame = frameCounter_;
    while (!ahead_.empty() && ahead_.front().frame < frame)
        ahead_.pop_front();
    if (planColumns_ == 0) return;
    const auto frames = static_cast<int>(plan_.size() / planColumns_);
    while (scanFrame_ < frames && (scanFrame_ <= frame || (ahead_.size() < kPicturesAhead &&
                                                           scanFrame_ <= frame + kFramesAhead))) {
        const std::span<const CNode* const> pictures =
            plan_.subspan(static_cast<std::size_t>(scanFrame_) * planColumns_, planColumns_);
        if (const CNode* single = DirectPicture(pictures)) {
            // Repeats go again as they are; a new picture is decoded into a
            // frame of its own.
            const bool repeat =
                scanFrame_ > 0 &&
                std::equal(
                    pictures.begin(), pictures.end(),
                    plan_.begin() + static_cast<std::ptrdiff_t>(
                                        static_cast<std::size_t>(scanFrame_ - 1) * planColumns_));
            if (!repeat) {
                ahead_.push_back(AheadPicture{
                    scanFrame_,
                    0,
                    single,
                    single->imageInfo->path,
                    {},
                    std::make_unique<CDirectFrame>(pipeline_.Source().NewVideoFrame(), renderer_,
                                                   *single, frame_.width(), frame_.height())});
            }
            ++scanFrame_;
            continue;
        }
        for (std::size_t c = 0; c < planColumns_; ++c) {
            const CNode* item = plan_[static_cast<std::size_t>(scanFrame_) * planColumns_ + c];
            if (item == nullptr || item->imageInfo == nullptr || !NeedsReload(*item) ||
                scanHeld_[c] == item) {
                continue;
            }
            scanHeld_[c] = item;
            ahead_.push_back(AheadPicture{scanFrame_, c, item, item->imageInfo->path,
                                          renderer_.DecodeImage(*item), nullptr});
        }
        ++scanFrame_;
    }
}

// The decode started for this frame's `item` in `column`, or one started now.
std::shared_future<DecodedImage> CMovieWriter::TakeAhead(const CNode& item, std::size_t column) {
    for (auto it = ahead_.begin(); it != ahead_.end() && it->frame <= frameCounter_; ++it) {
        if (it->frame != frameCounter_ || it->column != column || it->item != &item ||
            it->direct != nullptr) {
            continue;
        }
        // A picture whose file changed since is read again.
        const bool current = it->path == item.imageInfo->path;
        std::shared_future<DecodedImage> picture = std::move(it->picture);
        ahead_.erase(it);
        if (current) return picture;
        break;
    }
    return renderer_.DecodeImage(item);
}

// The one picture of a frame that goes into the movie without drawing: a
// JPEG at exactly the frame's size, alone, no counter over it, I420 wanted.
const CNode* CMovieWriter::DirectPicture(std::span<const CNode* const> pictures) const {
    if (!direct_ || !encoded_ || settings_.Get(Overlay) == kOverlayCounter) return nullptr;
    const CNode* single = nullptr;
    for (const CNode* picture : pictures) {
        if (picture == nullptr) continue;
        if (single != nullptr) return nullptr;
        single = picture;
    }
    if (single == nullptr || single->imageInfo == nullptr || !NeedsReload(*single) ||
        single->imageInfo->imageWidth != frame_.width() ||
        single->imageInfo->imageHeight != frame_.height()) {
        return nullptr;
    }
    const QString suffix = QFileInfo(single->imageInfo->path).suffix().toLower();
    return suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg") ? single : nullptr;
}

// This frame's directly decoded picture, decoding it now if it was not read
// ahead; none when it cannot be decoded so.
GstBuffer* CMovieWriter::TakeDirect(const CNode& item) {
    for (auto it = ahead_.begin(); it != ahead_.end() && it->frame <= frameCounter_; ++it) {
        if (it->frame != frameCounter_ || it->item != &item || it->direct == nullptr) continue;
        std::unique_ptr<CDirectFrame> direct = std::move(it->direct);
        const bool current = it->path == item.imageInfo->path;
        ahead_.erase(it);
        if (current) return direct->Take();
        break;
    }
    CDirectFrame now(pipeline_.Source().NewVideoFrame(), renderer_, item, frame_.width(),
                     frame_.height());
    return now.Take();
}

CMovieWriter::CDirectFrame::CDirectFrame(GstBuffer* buffer, IMovieRenderer& renderer,
                                         const CNode& item, int width, int height)
    : buffer_(buffer) {
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, static_cast<guint>(width),
                              static_cast<guint>(height));
    mapped_ = buffer_ != nullptr && gst_buffer_map(buffer_, &map_, GST_MAP_WRITE);
    if (!mapped_ || map_.size < GST_VIDEO_INFO_SIZE(&info)) return;
    I420Planes planes;
    for (int p = 0; p < 3; ++p) {
        planes.data[p] = map_.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, p);
        planes.stride[p] = GST_VIDEO_INFO_PLANE_STRIDE(&info, p);
    }
    done_ = renderer.DecodeI420(item, planes);
}

CMovieWriter::CDirectFrame::~CDirectFrame() {
    Unmap();
    if (buffer_ != nullptr) gst_buffer_unref(buffer_);
}

void CMovieWriter::CDirectFrame::Unmap() {
    // The decode writes into the mapped frame until it is done.
    if (done_.valid()) done_.wait();
    if (mapped_) gst_buffer_unmap(buffer_, &map_);
    mapped_ = false;
}

GstBuffer* CMovieWriter::CDirectFrame::Take() {
    const bool decoded = done_.valid() && done_.get();
    Unmap();
    if (!decoded) return nullptr;
    GstBuffer* buffer = buffer_;
    buffer_ = nullptr;
    return buffer;
}

const CNode* CMovieWriter::Drawable(const CNode& item, std::size_t column, Result* result) {
    if (!NeedsReload(item)) return &item;
    if (reloaded_.size() <= column) reloaded_.resize(column + 1);
    ReloadedPicture& reloaded = reloaded_[column];
    if (reloaded.item == &item && reloaded.texture != nullptr) return reloaded.texture.get();
    const QString path = item.imageInfo != nullptr ? item.imageInfo->path : QString();
    DecodedImage decoded;
    if (item.imageInfo != nullptr) decoded = TakeAhead(item, column).get();
    if (decoded.result != kOk || decoded.texture.isNull()) {
        *result = decoded.result != kOk ? decoded.result : kFail;
        errorDetail_ = QStringLiteral("the picture %1 cannot be loaded").arg(path);
        return nullptr;
    }
    auto texture = std::make_unique<CNode>(kTypeImageItem, item.name);
    texture->imageInfo = std::make_unique<CImageInfo>(path);
    texture->imageInfo->imageWidth = decoded.imageSize.width();
    texture->imageInfo->imageHeight = decoded.imageSize.height();
    texture->imageInfo->textureWidth = decoded.texture.width();
    texture->imageInfo->textureHeight = decoded.texture.height();
    texture->texture = std::move(decoded.texture);
    reloaded.item = &item;
    reloaded.texture = std::move(texture);
    return reloaded.texture.get();
}

bool CMovieWriter::NextFrameRepeats() const {
    if (planColumns_ == 0) return true;  // nothing known of it: be ready
    const std::size_t next = static_cast<std::size_t>(frameCounter_ + 1) * planColumns_;
    if (next + planColumns_ > plan_.size()) return false;
    return std::equal(plan_.begin() + static_cast<std::ptrdiff_t>(next - planColumns_),
                      plan_.begin() + static_cast<std::ptrdiff_t>(next),
                      plan_.begin() + static_cast<std::ptrdiff_t>(next));
}

Result CMovieWriter::WriteFramePicture(std::span<const CNode* const> pictures) {
    ReadAhead();
    if (const CNode* single = DirectPicture(pictures)) {
        layers_.assign(1, DrawnLayer(single, kDirectKey));
        if (lastKnown_ && layers_ == lastLayers_ && lastFrame_ != nullptr) return PutRepeat();
        if (GstBuffer* frame = TakeDirect(*single)) {
            lastLayers_.swap(layers_);
            lastKnown_ = true;
            frameHolds_ = false;
            if (lastFrame_ != nullptr) gst_buffer_unref(lastFrame_);
            lastFrame_ = NextFrameRepeats() ? gst_buffer_copy(frame) : nullptr;
            return PutFrame(frame);
        }
        // Drawn from here on: this file, and likely the others, are not
        // what the direct path takes.
        direct_ = false;
    }
    layers_.clear();
    for (std::size_t c = 0; c < pictures.size(); ++c) {
        if (pictures[c] == nullptr) {
            layers_.emplace_back(nullptr, 0);
            continue;
        }
        Result result = kOk;
        const CNode* drawable = Drawable(*pictures[c], c, &result);
        if (drawable == nullptr) return result;
        layers_.emplace_back(drawable, drawable->texture.cacheKey());
    }
    const bool counter = settings_.Get(Overlay) == kOverlayCounter;
    const bool sameLayers = lastKnown_ && layers_ == lastLayers_;
    // Without the counter the frame is the last one again: its buffer goes
    // once more, nothing is drawn, read or converted.
    if (sameLayers && !counter && lastFrame_ != nullptr) return PutRepeat();

    // The layers are drawn again unless the frame still holds them (nobody
    // else drew into it since).
    if (!sameLayers || !frameHolds_ || renderer_.DrawCount() != lastDrawCount_) {
        renderer_.Clear(std::nullopt, kBlack);
        bool drawn = false;
        for (const DrawnLayer& layer : layers_) {
            if (layer.first == nullptr) continue;
            renderer_.DrawImage(frame_, *layer.first, drawn, drawingMode_);
            drawn = true;
        }
        if (!drawn) renderer_.Clear(std::nullopt, kWhite);
    }
    if (counter) DrawCounter();
    lastLayers_.swap(layers_);
    lastDrawCount_ = renderer_.DrawCount();
    lastKnown_ = frameHolds_ = true;

    IFeddick& source = pipeline_.Source();
    GstBuffer* buffer = source.NewVideoFrame();
    Result read = kFail;
    {
        CMappedBuffer mapped(buffer);
        if (mapped.IsMapped())
            read = encoded_ ? ReadI420(mapped.Bytes()) : renderer_.ReadFrame(mapped.Bytes(), true);
    }
    if (read != kOk) {
        gst_buffer_unref(buffer);
        errorDetail_ = QStringLiteral("the frame cannot be read back");
        return read;
    }
    if (lastFrame_ != nullptr) {
        gst_buffer_unref(lastFrame_);
        lastFrame_ = nullptr;
    }
    // A frame to be shown again is kept: a copy that shares its pixels.
    // Raw frames may be turned upright in place downstream, which would
    // then copy them: those are read again instead. Only kept when the
    // next frame repeats, so that the pool gets its buffers back.
    if (encoded_ && !counter && NextFrameRepeats()) lastFrame_ = gst_buffer_copy(buffer);
    return PutFrame(buffer);
}

Result CMovieWriter::PutRepeat() {
    GstBuffer* repeat = gst_buffer_copy(lastFrame_);
    if (!NextFrameRepeats()) {
        gst_buffer_unref(lastFrame_);
        lastFrame_ = nullptr;
    }
    return PutFrame(repeat);
}

Result CMovieWriter::PutFrame(GstBuffer* buffer) {
    // The buffer is handed over, not copied.
    if (pipeline_.Source().PutVideoFrame(buffer) != kOk) {
        pipeline_.Failed(GST_SECOND);
        errorDetail_ = pipeline_.ErrorDetail();
        return msg::kCannotSaveMovie;
    }
    ++frameCounter_;
    return kOk;
}

void CMovieWriter::ForgetFrames() {
    ahead_.clear();
    plan_ = {};
    planColumns_ = 0;
    scanFrame_ = 0;
    scanHeld_.clear();
    if (lastFrame_ != nullptr) {
        gst_buffer_unref(lastFrame_);
        lastFrame_ = nullptr;
    }
    lastLayers_.clear();
    layers_.clear();
    lastKnown_ = frameHolds_ = false;
    direct_ = true;
}

Result CMovieWriter::ReadI420(std::span<std::uint8_t> frame) {
    const int width = frame_.width();
    const int height = frame_.height();
    // The planes where the movie source expects them.
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, static_cast<guint>(width),
                              static_cast<guint>(height));
    if (frame.size() < GST_VIDEO_INFO_SIZE(&info)) return kFail;
    std::uint8_t* planes[3];
    for (int p = 0; p < 3; ++p)
        planes[p] = frame.data() + GST_VIDEO_INFO_PLANE_OFFSET(&info, p);
    // Read and converted in one step from the frame itself where it can be;
    // else from a copy read back bottom up (start at the last row, step back).
    const std::uint8_t* top = nullptr;
    int rowBytes = width * 4;
    const QImage* image = renderer_.Frame();
    if (image != nullptr && image->size() == frame_.size() &&
        image->format() == QImage::Format_RGB32) {
        top = image->constBits();
        rowBytes = static_cast<int>(image->bytesPerLine());
    } else {
        readBack_.resize(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height));
        const Result read = renderer_.ReadFrame(readBack_, false);
        if (read != kOk) return read;
        top = readBack_.data() + static_cast<std::size_t>(rowBytes) * (height - 1);
        rowBytes = -rowBytes;
    }
    const int converted =
        libyuv::ARGBToI420(top, rowBytes, planes[0], GST_VIDEO_INFO_PLANE_STRIDE(&info, 0),
                           planes[1], GST_VIDEO_INFO_PLANE_STRIDE(&info, 1), planes[2],
                           GST_VIDEO_INFO_PLANE_STRIDE(&info, 2), width, height);
    return converted == 0 ? kOk : kFail;
}

void CMovieWriter::DrawCounter() {
    const int line = counterLine_;
    const QRect box(frame_.width() - line / 2 - 2 * line, frame_.height() - line / 2 - line,
                    2 * line, line);
    renderer_.Clear(box, kWhite);
    renderer_.DrawText(box, kBlack, QString::number(settings_.Get(FrameStart) + frameCounter_));
}

Result CMovieWriter::WriteFrameSound(std::span<CNode* const> columns,
                                     std::span<const CNode* const> cells) {
    std::fill(mix_.begin(), mix_.end(), 0);
    int contributing = 0;
    for (std::size_t c = 0; c < cells.size() && c < columns.size(); ++c) {
        if (cells[c] == nullptr) continue;
        // A clip that cannot be read is silence in the mix, not an old frame.
        ++contributing;
        if (sound_.WriteFrame(*columns[c], *cells[c], columnSamples_) != kOk) continue;
        for (std::size_t i = 0; i < mix_.size(); ++i)
            mix_[i] += columnSamples_[i];
    }
    for (std::size_t i = 0; i < mix_.size(); ++i) {
        columnSamples_[i] =
            contributing > 0 ? static_cast<std::int16_t>(mix_[i] / contributing) : std::int16_t{0};
    }

    IFeddick& source = pipeline_.Source();
    GstBuffer* buffer = source.NewAudioFrame();
    {
        CMappedBuffer mapped(buffer);
        if (mapped.IsMapped()) {
            std::span<std::uint8_t> bytes = mapped.Bytes();
            const std::size_t copied = std::min(bytes.size(), columnSamples_.size() * 2);
            std::memcpy(bytes.data(), columnSamples_.data(), copied);
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(copied), bytes.end(), 0);
        }
    }
    if (source.PutAudioFrame(buffer) != kOk) {
        pipeline_.Failed(GST_SECOND);
        errorDetail_ = pipeline_.ErrorDetail();
        return msg::kCannotSaveMovie;
    }
    return kOk;
}

Result CMovieWriter::CloseMovie(bool complete) {
    Result result = kOk;
    if (pipeline_.IsOpen()) {
        if (complete) {
            result = pipeline_.Finish();
        } else {
            pipeline_.Stop();
        }
        if (result != kOk && errorDetail_.isEmpty()) errorDetail_ = pipeline_.ErrorDetail();
    }
    if (!complete) output_.Discard();
    ForgetFrames();
    reloaded_.clear();
    if (offscreen_) {
        renderer_.EndOffscreen();
        offscreen_ = false;
    }
    return result;
}

}  // namespace kolvane
