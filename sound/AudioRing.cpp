#include "sound/AudioRing.h"

#include <algorithm>
#include <cstring>

namespace kolvane {
namespace {

constexpr std::uint64_t kWrap = static_cast<std::uint64_t>(CAudioRing::kPairs) << 16;

}  // namespace

CAudioRing::CAudioRing(std::shared_ptr<CAudioMixer> mixer)
    : mixer_(std::move(mixer)), samples_(2 * kPairs, 0) {
    std::lock_guard lock(mixer_->mutex_);
    mixer_->rings_.push_back(this);
}

CAudioRing::~CAudioRing() {
    std::lock_guard lock(mixer_->mutex_);
    std::erase(mixer_->rings_, this);
}

std::int16_t* CAudioRing::Stage(int pairs) {
    const auto values = static_cast<std::size_t>(2 * std::max(pairs, 0));
    if (staging_.size() < values) staging_.resize(values);
    return staging_.data();
}

void CAudioRing::Commit(std::uint32_t offset, int pairs) {
    pairs = std::min<int>(pairs, static_cast<int>(staging_.size() / 2));
    std::uint32_t pair = (offset / 4) % kPairs;
    std::lock_guard lock(mixer_->mutex_);
    const std::int16_t* from = staging_.data();
    while (pairs > 0) {
        const int run = std::min<int>(pairs, static_cast<int>(kPairs - pair));
        std::memcpy(samples_.data() + 2 * pair, from, static_cast<std::size_t>(run) * 4);
        from += 2 * run;
        pairs -= run;
        pair = 0;
    }
}

void CAudioRing::CopyOut(std::uint32_t offset, std::int16_t* out, int pairs) const {
    std::uint32_t pair = (offset / 4) % kPairs;
    std::lock_guard lock(mixer_->mutex_);
    while (pairs > 0) {
        const int run = std::min<int>(pairs, static_cast<int>(kPairs - pair));
        std::memcpy(out, samples_.data() + 2 * pair, static_cast<std::size_t>(run) * 4);
        out += 2 * run;
        pairs -= run;
        pair = 0;
    }
}

std::uint32_t CAudioRing::PlayPosition() const {
    std::lock_guard lock(mixer_->mutex_);
    return static_cast<std::uint32_t>(position_ >> 16) * 4;
}

void CAudioRing::SetPlayPosition(std::uint32_t offset) {
    std::lock_guard lock(mixer_->mutex_);
    position_ = static_cast<std::uint64_t>((offset / 4) % kPairs) << 16;
}

void CAudioRing::SetPlaying(bool playing) {
    std::lock_guard lock(mixer_->mutex_);
    playing_ = playing;
}

bool CAudioRing::IsPlaying() const {
    std::lock_guard lock(mixer_->mutex_);
    return playing_;
}

void CAudioRing::SetFrequency(int hz) {
    hz = std::clamp(hz, 100, 4 * 48000);
    std::lock_guard lock(mixer_->mutex_);
    step_ = static_cast<std::uint32_t>((static_cast<std::uint64_t>(hz) << 16) / 48000);
}

void CAudioMixer::Mix(std::int16_t* out, int pairs) {
    if (pairs <= 0) return;
    const auto values = static_cast<std::size_t>(2 * pairs);
    std::lock_guard lock(mutex_);
    sum_.assign(values, 0);
    for (CAudioRing* ring : rings_) {
        if (!ring->playing_) continue;
        const std::int16_t* x = ring->samples_.data();
        std::uint64_t position = ring->position_;
        for (std::size_t k = 0; k < values; k += 2) {
            const auto pair = static_cast<std::uint32_t>(position >> 16);
            const auto fraction = static_cast<std::int32_t>(position & 0xFFFF);
            const std::uint32_t next = pair + 1 == CAudioRing::kPairs ? 0 : pair + 1;
            const std::int32_t l0 = x[2 * pair];
            const std::int32_t r0 = x[2 * pair + 1];
            sum_[k] += l0 + static_cast<std::int32_t>(
                                (static_cast<std::int64_t>(x[2 * next] - l0) * fraction) >> 16);
            sum_[k + 1] +=
                r0 + static_cast<std::int32_t>(
                         (static_cast<std::int64_t>(x[2 * next + 1] - r0) * fraction) >> 16);
            position += ring->step_;
            if (position >= kWrap) position -= kWrap;
        }
        ring->position_ = position;
    }
    const std::size_t cueValues = std::min(values, cue_.size() - cuePlayed_);
    for (std::size_t i = 0; i < cueValues; ++i)
        sum_[i] += cue_[cuePlayed_ + i];
    cuePlayed_ += cueValues;
    for (std::size_t i = 0; i < values; ++i)
        out[i] = static_cast<std::int16_t>(std::clamp(sum_[i], -32768, 32767));
}

void CAudioMixer::PlayCue(std::vector<std::int16_t> pairs) {
    if (pairs.size() % 2 != 0) pairs.pop_back();
    std::lock_guard lock(mutex_);
    cue_ = std::move(pairs);
    cuePlayed_ = 0;
}

bool CAudioMixer::CuePlaying() const {
    std::lock_guard lock(mutex_);
    return cuePlayed_ < cue_.size();
}

}  // namespace kolvane
