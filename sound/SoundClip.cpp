#include "sound/SoundClip.h"

#include <algorithm>

#include "model/MediaNames.h"
#include "model/Node.h"
#include "sound/ClipDecoder.h"
#include "sound/DirectSound.h"
#include "sound/Resample.h"

namespace kolvane {
namespace {

CClipDecoder* DecoderOf(const CSoundInfo& clip) {
    return dynamic_cast<CClipDecoder*>(clip.decoder.get());
}

// Whole sample frames that one scene frame's output may touch: the resampler
// reads frames below s = rate / f, so ceil(s) of them.
std::int64_t WindowFrames(const CSoundInfo& clip) {
    return (static_cast<std::int64_t>(clip.sampleRate) + clip.frameRate - 1) / clip.frameRate;
}

// The clip a track's current cell plays, and the cell's number (0 when the
// cell is not a sound cell or its name carries no number).
CSoundInfo* ClipOfCell(const CNode* cell, int* number) {
    *number = 0;
    if (cell == nullptr || !cell->Is(kTypeSoundCell) || cell->item == nullptr) return nullptr;
    CSoundInfo* clip = cell->item->soundInfo.get();
    if (clip == nullptr) return nullptr;
    if (const auto parts = ParseSoundCellName(cell->name)) *number = parts->index;
    return clip;
}

}  // namespace

Result OpenSoundClip(CSoundInfo& clip, int frameRate) {
    if (clip.decoder) return kOk;
    std::unique_ptr<CClipDecoder> decoder;
    if (const Result result = CClipDecoder::Open(clip.path, decoder); result != kOk) return result;
    const ClipFormat& format = decoder->Format();
    clip.channels = format.channels;
    clip.sampleRate = format.sampleRate;
    clip.length = format.length;
    clip.frameRate = std::max(1, frameRate);
    const float samplesPerFrame = static_cast<float>(clip.sampleRate) / clip.frameRate;
    clip.lengthInFrames = static_cast<float>(clip.length) / samplesPerFrame;
    clip.samplesPerFrame = samplesPerFrame * clip.channels;
    clip.buffer.assign(static_cast<std::size_t>(WindowFrames(clip) * clip.channels), 0);
    clip.waveform.clear();
    clip.decoder = std::move(decoder);
    return kOk;
}

void CloseSoundClip(CSoundInfo& clip) {
    clip.decoder.reset();
    clip.buffer.clear();
    clip.buffer.shrink_to_fit();
    clip.waveform.clear();
    clip.waveform.shrink_to_fit();
}

Result WriteSoundFrame(CListInfo& track, bool backwards, CDirectSound& output) {
    int number = 0;
    CSoundInfo* clip = ClipOfCell(track.currentSoundCell, &number);
    CClipDecoder* decoder = clip != nullptr ? DecoderOf(*clip) : nullptr;
    if (clip != nullptr && decoder == nullptr) return kFail;

    std::int16_t* frame = output.LockFrame(track);
    if (frame == nullptr) return kOk;  // a level without a ring is silent
    const int pairs = output.BytesPerFrame() / kOutputBytesPerPair;

    Result result = kOk;
    if (decoder != nullptr && number > 0) {
        // The cell's share of the clip starts at trunc((n - 1) × s) sample
        // frames, computed exactly so that long clips do not drift.
        const std::int64_t start =
            static_cast<std::int64_t>(number - 1) * clip->sampleRate / clip->frameRate;
        const std::int64_t frames = WindowFrames(*clip);
        if (decoder->ReadWindow(start, clip->buffer.data(), frames) < 0)
            result = msg::kCannotReadSound;
        ResampleFrame(clip->buffer.data(), static_cast<int>(frames), clip->channels,
                      clip->sampleRate, frame, pairs, backwards);
    } else {
        std::fill(frame, frame + 2 * pairs, std::int16_t{0});
    }
    output.UnlockFrame(track, frame);
    return result;
}

Result BuildWaveform(CSoundInfo& clip, int rowHeight) {
    CClipDecoder* decoder = DecoderOf(clip);
    if (decoder == nullptr) return kFail;
    clip.waveform.clear();
    const double rows = static_cast<double>(clip.lengthInFrames) * std::max(rowHeight, 0);
    const auto rowCount = static_cast<std::int64_t>(rows);
    if (rowCount <= 0) return kOk;
    // Row r sums up trunc(perRow) sample frames from trunc(r × perRow) on.
    const double perRow = static_cast<double>(clip.length) / rows;
    const auto take = static_cast<std::int64_t>(perRow);
    clip.waveform.assign(static_cast<std::size_t>(rowCount), {0, 0});

    constexpr std::int64_t kChunkFrames = 16384;
    std::vector<std::int16_t> chunk(static_cast<std::size_t>(kChunkFrames * clip.channels));
    const int channels = clip.channels;
    std::int64_t row = 0;
    std::int64_t chunkStart = 0;
    const bool read = decoder->Stream(
        0, chunk.data(), kChunkFrames, [&](const std::int16_t* values, std::int64_t frames) {
            const std::int64_t chunkEnd = chunkStart + frames;
            while (row < rowCount) {
                const auto first = static_cast<std::int64_t>(row * perRow);
                const std::int64_t end = first + take;
                if (first >= chunkEnd) break;
                auto& [low, high] = clip.waveform[static_cast<std::size_t>(row)];
                for (std::int64_t i = std::max(first, chunkStart); i < std::min(end, chunkEnd);
                     ++i) {
                    const std::int16_t v = values[(i - chunkStart) * channels];
                    low = std::min(low, v);
                    high = std::max(high, v);
                }
                if (end > chunkEnd) break;
                ++row;
            }
            chunkStart = chunkEnd;
            return row < rowCount;
        });
    if (!read) {
        clip.waveform.clear();
        return kFail;
    }
    return kOk;
}

}  // namespace kolvane
