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
        std::vector<const CNode*> pictures(columns.size());
        std::vector<const CNode*> sounds(columns.size());
        // The trailing blank row is not written.
        for (int f = 0; f + 1 < length; ++f) {
            for (std::size_t c = 0; c < columns.size(); ++c) {
                pictures[c] = sounds[c] = nullptr;
                const CNodeList& cells = *columns[c]->children;
                if ((columns[c]->flags & kFlagOn) == 0 || f >= cells.size()) continue;
                const CNode* cell = cells.at(f);
                if (cell->Is(kTypeImageCell) && cell->item != nullptr) {
                    pictures[c] = cell->item;
                } else if (cell->Is(kTypeSoundCell)) {
                    sounds[c] = cell;
                }
            }
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

const CNode* CMovieWriter::Drawable(const CNode& item, std::size_t column, Result* result) {
    if (HasFullSizeTexture(item)) return &item;
    if (reloaded_.size() <= column) reloaded_.resize(column + 1);
    ReloadedPicture& reloaded = reloaded_[column];
    if (reloaded.item == &item && reloaded.texture != nullptr) return reloaded.texture.get();
    auto texture = std::make_unique<CNode>(kTypeImageItem, item.name);
    texture->imageInfo =
        std::make_unique<CImageInfo>(item.imageInfo != nullptr ? item.imageInfo->path : QString());
    const Result loaded = renderer_.LoadImage(*texture);
    if (loaded != kOk || texture->texture.isNull()) {
        *result = loaded != kOk ? loaded : kFail;
        errorDetail_ =
            QStringLiteral("the picture %1 cannot be loaded").arg(texture->imageInfo->path);
        return nullptr;
    }
    reloaded.item = &item;
    reloaded.texture = std::move(texture);
    return reloaded.texture.get();
}

Result CMovieWriter::WriteFramePicture(std::span<const CNode* const> pictures) {
    renderer_.Clear(std::nullopt, kBlack);
    bool drawn = false;
    for (std::size_t c = 0; c < pictures.size(); ++c) {
        if (pictures[c] == nullptr) continue;
        Result result = kOk;
        const CNode* drawable = Drawable(*pictures[c], c, &result);
        if (drawable == nullptr) return result;
        renderer_.DrawImage(frame_, *drawable, drawn, drawingMode_);
        drawn = true;
    }
    if (!drawn) renderer_.Clear(std::nullopt, kWhite);
    if (settings_.Get(Overlay) == kOverlayCounter) DrawCounter();

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
    // The buffer is handed over, not copied.
    if (source.PutVideoFrame(buffer) != kOk) {
        pipeline_.Failed(GST_SECOND);
        errorDetail_ = pipeline_.ErrorDetail();
        return msg::kCannotSaveMovie;
    }
    ++frameCounter_;
    return kOk;
}

Result CMovieWriter::ReadI420(std::span<std::uint8_t> frame) {
    const int width = frame_.width();
    const int height = frame_.height();
    const int rowBytes = width * 4;
    readBack_.resize(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height));
    const Result read = renderer_.ReadFrame(readBack_, false);
    if (read != kOk) return read;
    // The planes where the movie source expects them.
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_I420, static_cast<guint>(width),
                              static_cast<guint>(height));
    if (frame.size() < GST_VIDEO_INFO_SIZE(&info)) return kFail;
    std::uint8_t* planes[3];
    for (int p = 0; p < 3; ++p)
        planes[p] = frame.data() + GST_VIDEO_INFO_PLANE_OFFSET(&info, p);
    // Bottom-up rows: start at the last one and step back.
    const std::uint8_t* top = readBack_.data() + static_cast<std::size_t>(rowBytes) * (height - 1);
    const int converted =
        libyuv::ARGBToI420(top, -rowBytes, planes[0], GST_VIDEO_INFO_PLANE_STRIDE(&info, 0),
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
    reloaded_.clear();
    if (offscreen_) {
        renderer_.EndOffscreen();
        offscreen_ = false;
    }
    return result;
}

}  // namespace kolvane
