#include "movie/SceneMovie.h"

#include "display/Direct3D.h"
#include "model/ListInfo.h"
#include "model/Node.h"
#include "sound/DirectSound.h"
#include "storage/Storage.h"

namespace kolvane {

bool CDisplayMovieRenderer::BeginOffscreen(const QRect& rect) {
    return display_.BeginOffscreen(rect);
}

void CDisplayMovieRenderer::Clear(std::optional<QRect> rect, QRgb colour) {
    display_.Clear(rect, colour);
}

void CDisplayMovieRenderer::DrawImage(const QRect& rect, const CNode& item, bool layered,
                                      int fitMode) {
    display_.DrawImage(rect, item, layered, fitMode);
}

void CDisplayMovieRenderer::DrawText(const QRect& rect, QRgb colour, const QString& text) {
    display_.DrawText(rect, colour, text);
}

std::shared_future<DecodedImage> CDisplayMovieRenderer::DecodeImage(const CNode& item) {
    return display_.DecodeAside(item);
}

Result CDisplayMovieRenderer::ReadFrame(std::span<std::uint8_t> buffer, bool bits24) {
    return display_.ReadFrame(buffer, bits24);
}

std::shared_future<bool> CDisplayMovieRenderer::DecodeI420(const CNode& item,
                                                           const I420Planes& planes) {
    return display_.DecodeAsideI420(item, planes);
}

const QImage* CDisplayMovieRenderer::Frame() const {
    const QImage* target = display_.TargetImage();
    return target != nullptr && target->format() == QImage::Format_RGB32 ? target : nullptr;
}

std::uint64_t CDisplayMovieRenderer::DrawCount() const {
    return display_.DrawCount();
}

void CDisplayMovieRenderer::EndOffscreen() {
    display_.EndOffscreen();
}

FeddickAudioFormat CStorageMovieSound::Format() const {
    const WaveFormat format = CDirectSound::GetFormat();
    return {format.channels, static_cast<int>(format.samplesPerSec), format.bitsPerSample};
}

int CStorageMovieSound::BytesPerFrame() const {
    return output_.BytesPerFrame();
}

Result CStorageMovieSound::WriteFrame(CNode& column, const CNode& cell,
                                      std::span<std::int16_t> samples) {
    if (column.summary == nullptr ||
        samples.size() * sizeof(std::int16_t) < static_cast<std::size_t>(BytesPerFrame())) {
        return kFail;
    }
    CListInfo& track = *column.summary;
    track.currentSoundCell = &cell;
    const Result written = storage_.WriteSoundFrame(track, false);
    if (written != kOk) return written;
    return output_.ReadLastFrame(track, samples.data()) ? kOk : kFail;
}

CSceneMovie::CSceneMovie(const CSettings& settings, CXshtList& sheet, CDirect3D& display,
                         CStorage& storage, CDirectSound& output)
    : renderer_(display), sound_(storage, output), writer_(settings, sheet, renderer_, sound_) {}

}  // namespace kolvane
