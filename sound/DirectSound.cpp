#include "sound/DirectSound.h"

#include "settings/Settings.h"
#include "sound/AudioOutput.h"
#include "sound/AudioRing.h"
#include "sound/Resample.h"

namespace kolvane {

CDirectSound::CDirectSound(const CSettings& settings)
    : settings_(settings), mixer_(std::make_shared<CAudioMixer>()) {}

CDirectSound::~CDirectSound() = default;

void CDirectSound::Initialize() {
    Initialize(CAudioOutput::DefaultSinkName());
}

void CDirectSound::Initialize(const QString& sinkName) {
    output_.reset();
    output_ = CAudioOutput::Open(
        [mixer = mixer_.get()](std::int16_t* out, int pairs) { mixer->Mix(out, pairs); }, sinkName);
}

std::unique_ptr<IAudioRing> CDirectSound::CreateTrackBuffer() {
    return std::make_unique<CAudioRing>(mixer_);
}

int CDirectSound::BytesPerFrame() const {
    const int rate = std::max(1, settings_.Get(FrameRate));
    return kOutputRate / rate * kOutputBytesPerPair;
}

CAudioRing* CDirectSound::RingOf(const CListInfo& track) {
    return dynamic_cast<CAudioRing*>(track.ring.get());
}

void CDirectSound::AlignTrack(CListInfo& track) {
    CAudioRing* ring = RingOf(track);
    if (ring == nullptr) return;
    const auto frame = static_cast<std::uint32_t>(BytesPerFrame());
    const std::uint32_t aligned = ring->PlayPosition() / frame * frame;
    ring->SetPlayPosition(aligned);
    track.writeCursor = aligned;
}

std::int16_t* CDirectSound::LockFrame(CListInfo& track) {
    CAudioRing* ring = RingOf(track);
    if (ring == nullptr) return nullptr;
    if (track.writeCursor >= CAudioRing::kBytes) track.writeCursor = 0;
    return ring->Stage(BytesPerFrame() / kOutputBytesPerPair);
}

void CDirectSound::UnlockFrame(CListInfo& track, std::int16_t* frame) {
    CAudioRing* ring = RingOf(track);
    if (ring == nullptr || frame == nullptr) return;
    const int bytes = BytesPerFrame();
    ring->Commit(track.writeCursor, bytes / kOutputBytesPerPair);
    track.writeCursor =
        (track.writeCursor + static_cast<std::uint32_t>(bytes)) % CAudioRing::kBytes;
}

void CDirectSound::PlayTrack(CListInfo& track) {
    CAudioRing* ring = RingOf(track);
    if (ring == nullptr) return;
    ring->SetPlaying(true);
    DropBrokenOutput();
    if (output_) output_->Start();
}

void CDirectSound::StopTrack(CListInfo& track) {
    CAudioRing* ring = RingOf(track);
    if (ring != nullptr) ring->SetPlaying(false);
    DropBrokenOutput();
}

void CDirectSound::SetTrackFrequency(CListInfo& track, int hz) {
    if (CAudioRing* ring = RingOf(track)) ring->SetFrequency(hz);
}

bool CDirectSound::ReadLastFrame(const CListInfo& track, std::int16_t* out) const {
    const CAudioRing* ring = RingOf(track);
    if (ring == nullptr || out == nullptr) return false;
    const auto bytes = static_cast<std::uint32_t>(BytesPerFrame());
    const std::uint32_t cursor = track.writeCursor % CAudioRing::kBytes;
    const std::uint32_t from =
        cursor >= bytes ? cursor - bytes : CAudioRing::kBytes + cursor - bytes;
    ring->CopyOut(from, out, static_cast<int>(bytes / kOutputBytesPerPair));
    return true;
}

std::uint32_t CDirectSound::PlayPosition(const CListInfo& track) const {
    const CAudioRing* ring = RingOf(track);
    return ring == nullptr ? 0 : ring->PlayPosition();
}

void CDirectSound::PlayCue(std::vector<std::int16_t> pairs) {
    mixer_->PlayCue(std::move(pairs));
    DropBrokenOutput();
    if (output_) output_->Start();
}

std::uint64_t CDirectSound::PairsPlayed() const {
    return output_ ? output_->PairsDelivered() : 0;
}

void CDirectSound::DropBrokenOutput() {
    if (output_ && !output_->Healthy()) output_.reset();
}

}  // namespace kolvane
