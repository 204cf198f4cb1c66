#include "sound/GrabSounds.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "sound/Resample.h"

namespace kolvane {
namespace {

constexpr int kFadePairs = 96;  // 2 ms

// espeak-ng keeps one global synthesiser: every call goes under this lock.
std::mutex& EspeakLock() {
    static std::mutex lock;
    return lock;
}

int CollectSamples(short* wav, int count, espeak_EVENT* events) {
    if (wav != nullptr && count > 0 && events != nullptr && events->user_data != nullptr) {
        auto* samples = static_cast<std::vector<std::int16_t>*>(events->user_data);
        samples->insert(samples->end(), wav, wav + count);
    }
    return 0;  // go on
}

void Fade(std::vector<std::int16_t>& pairs) {
    const std::size_t count = pairs.size() / 2;
    const std::size_t fade = std::min<std::size_t>(kFadePairs, count / 2);
    for (std::size_t k = 0; k < fade; ++k) {
        const double gain = static_cast<double>(k) / static_cast<double>(fade);
        for (std::size_t side = 0; side < 2; ++side) {
            pairs[2 * k + side] = static_cast<std::int16_t>(pairs[2 * k + side] * gain);
            const std::size_t end = 2 * (count - 1 - k) + side;
            pairs[end] = static_cast<std::int16_t>(pairs[end] * gain);
        }
    }
}

}  // namespace

std::vector<std::int16_t> TonePairs(int hz, int milliseconds) {
    const int count = kOutputRate * std::max(0, milliseconds) / 1000;
    std::vector<std::int16_t> pairs(static_cast<std::size_t>(2 * count));
    for (int k = 0; k < count; ++k) {
        const double phase = 2.0 * std::numbers::pi * hz * k / kOutputRate;
        const auto value = static_cast<std::int16_t>(std::lround(12000.0 * std::sin(phase)));
        pairs[2 * k] = value;
        pairs[2 * k + 1] = value;
    }
    Fade(pairs);
    return pairs;
}

std::vector<std::int16_t> ShutterClipPairs() {
    // Two bursts of filtered noise with a quick decay, 70 ms apart: the
    // shutter opening and closing. A fixed seed keeps it the same sound.
    constexpr int kLength = kOutputRate * 140 / 1000;
    std::vector<std::int16_t> pairs(2 * kLength);
    std::minstd_rand noise(1977);
    std::uniform_real_distribution<double> spread(-1.0, 1.0);
    double low = 0.0;
    for (int k = 0; k < kLength; ++k) {
        const int sinceClick = k < kOutputRate * 70 / 1000 ? k : k - kOutputRate * 70 / 1000;
        const double decay = std::exp(-sinceClick / (0.006 * kOutputRate));
        low += 0.35 * (spread(noise) - low);
        const double body = std::sin(2.0 * std::numbers::pi * 1800.0 * k / kOutputRate);
        const double value = (0.7 * low + 0.3 * body) * decay * (k < kLength / 2 ? 14000 : 11000);
        const auto sample = static_cast<std::int16_t>(std::clamp(value, -32767.0, 32767.0));
        pairs[2 * k] = sample;
        pairs[2 * k + 1] = sample;
    }
    Fade(pairs);
    return pairs;
}

std::vector<std::int16_t> MonoToOutputPairs(const std::vector<std::int16_t>& mono, int rate) {
    if (mono.empty() || rate <= 0) return {};
    const auto frames = static_cast<int>(std::min<std::size_t>(mono.size(), 1u << 26));
    const auto pairs = static_cast<int>(static_cast<std::int64_t>(frames) * kOutputRate / rate);
    std::vector<std::int16_t> out(static_cast<std::size_t>(2 * pairs));
    ResampleFrame(mono.data(), frames, 1, rate, out.data(), pairs, false);
    return out;
}

// ---- CSpeechVoice

std::unique_ptr<CSpeechVoice> CSpeechVoice::Create(CueSink sink, const QString& dataPath) {
    // The synthesiser is set up once for the process and never torn down:
    // espeak_Terminate of this library version can wait forever on its own
    // thread.
    static int rate = 0;
    static bool tried = false;
    {
        std::lock_guard lock(EspeakLock());
        if (!tried) {
            tried = true;
            const QByteArray path = dataPath.toLocal8Bit();
            // Without DONT_EXIT the library ends the process when its data is missing.
            rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0,
                                     dataPath.isEmpty() ? nullptr : path.constData(),
                                     espeakINITIALIZE_DONT_EXIT);
            if (rate > 0 && espeak_SetVoiceByName("en") != EE_OK) rate = 0;
            if (rate > 0) espeak_SetSynthCallback(&CollectSamples);
        }
        if (rate <= 0) return nullptr;
    }
    return std::unique_ptr<CSpeechVoice>(new CSpeechVoice(std::move(sink), rate));
}

CSpeechVoice::CSpeechVoice(CueSink sink, int rate)
    : sink_(std::move(sink)), rate_(rate), worker_([this] { Run(); }) {}

CSpeechVoice::~CSpeechVoice() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void CSpeechVoice::Speak(const QString& text) {
    {
        std::lock_guard lock(mutex_);
        pending_ = text;  // purges a text still waiting
        hasPending_ = true;
    }
    wake_.notify_all();
}

void CSpeechVoice::WaitUntilIdle() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !hasPending_ && !busy_; });
}

void CSpeechVoice::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || hasPending_; });
        if (stopping_) return;
        const QByteArray text = pending_.toUtf8();
        hasPending_ = false;
        busy_ = true;
        lock.unlock();

        std::vector<std::int16_t> samples;
        {
            std::lock_guard speech(EspeakLock());
            espeak_Synth(text.constData(), static_cast<std::size_t>(text.size()) + 1, 0,
                         POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &samples);
        }
        std::vector<std::int16_t> pairs = MonoToOutputPairs(samples, rate_);

        lock.lock();
        // A newer text makes this one stale: it is never heard.
        const bool stale = hasPending_;
        lock.unlock();
        if (!stale && !pairs.empty() && sink_) sink_(std::move(pairs));
        lock.lock();
        busy_ = false;
        wake_.notify_all();
    }
}

// ---- CGrabSounds

CGrabSounds::CGrabSounds(CueSink sink, std::unique_ptr<CSpeechVoice> voice)
    : sink_(std::move(sink)),
      voice_(std::move(voice)),
      beep_(TonePairs(440, 50)),
      clip_(ShutterClipPairs()) {}

std::unique_ptr<CGrabSounds> CGrabSounds::WithSystemVoice(CueSink sink) {
    return std::make_unique<CGrabSounds>(sink, CSpeechVoice::Create(sink));
}

void CGrabSounds::PlayGrabSound(int kind, const QString& imageName) {
    if (!sink_) return;
    switch (kind) {
        case kGrabSoundBeep:
            sink_(beep_);
            break;
        case kGrabSoundClip:
            sink_(clip_);
            break;
        case kGrabSoundVoice:
            if (voice_) {
                voice_->Speak(imageName);
            } else {
                sink_(beep_);
            }
            break;
        default:
            break;
    }
}

}  // namespace kolvane
