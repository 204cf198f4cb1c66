#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "settings/Settings.h"
#include "sound/AudioRing.h"
#include "sound/DirectSound.h"

namespace kolvane {
namespace {

// Writes one frame whose every pair is (value, -value) through lock/unlock.
void WriteConstantFrame(CDirectSound& output, CListInfo& track, std::int16_t value) {
    std::int16_t* frame = output.LockFrame(track);
    ASSERT_NE(frame, nullptr);
    const int pairs = output.BytesPerFrame() / 4;
    for (int k = 0; k < pairs; ++k) {
        frame[2 * k] = value;
        frame[2 * k + 1] = static_cast<std::int16_t>(-value);
    }
    output.UnlockFrame(track, frame);
}

std::vector<std::int16_t> LastFrame(const CDirectSound& output, const CListInfo& track) {
    std::vector<std::int16_t> frame(static_cast<std::size_t>(output.BytesPerFrame() / 2));
    EXPECT_TRUE(output.ReadLastFrame(track, frame.data()));
    return frame;
}

// Waits for a condition of the output's own thread, for at most a few seconds.
template <typename Condition>
bool WaitFor(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(DirectSound, FramesDivideTheRingAtEveryRate) {
    CSettings settings;
    CDirectSound output(settings);
    const struct {
        int rate;
        int bytes;
    } rates[] = {{15, 12800}, {24, 8000}, {25, 7680}, {30, 6400}};
    for (const auto& r : rates) {
        settings.Set(FrameRate, r.rate);
        EXPECT_EQ(output.BytesPerFrame(), r.bytes) << r.rate;
        EXPECT_EQ(384000 % output.BytesPerFrame(), 0) << r.rate;
    }
    const WaveFormat format = CDirectSound::GetFormat();
    EXPECT_EQ(format.samplesPerSec, 48000u);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.blockAlign, 4);
    EXPECT_EQ(format.avgBytesPerSec, 192000u);
}

TEST(DirectSound, RingsExistWithoutAnyOutput) {
    CSettings settings;
    settings.Set(FrameRate, 25);
    CDirectSound output(settings);
    output.Initialize(QStringLiteral("no-such-audio-sink"));
    EXPECT_FALSE(output.HasOutput());

    CListInfo track;
    track.ring = output.CreateTrackBuffer();
    ASSERT_TRUE(track.ring);
    // 50 frames of 7680 bytes fill the ring and bring the cursor round to 0.
    for (int i = 1; i <= 50; ++i)
        WriteConstantFrame(output, track, static_cast<std::int16_t>(i));
    EXPECT_EQ(track.writeCursor, 0u);
    EXPECT_EQ(LastFrame(output, track).front(), 50);
    WriteConstantFrame(output, track, 51);
    EXPECT_EQ(track.writeCursor, 7680u);
    EXPECT_EQ(LastFrame(output, track).back(), -51);

    // Playing without an output does nothing and never waits.
    output.PlayTrack(track);
    output.StopTrack(track);
    EXPECT_EQ(output.PairsPlayed(), 0u);

    // A cursor left off the frame grid by a rate change still writes whole
    // frames, wrapping round the end of the ring.
    track.writeCursor = 380000;
    WriteConstantFrame(output, track, 77);
    EXPECT_EQ(track.writeCursor, (380000u + 7680u) % 384000u);
    const auto wrapped = LastFrame(output, track);
    EXPECT_EQ(wrapped.front(), 77);
    EXPECT_EQ(wrapped.back(), -77);

    CDirectSound::ReleaseTrackBuffer(track);
    EXPECT_FALSE(track.ring);
    EXPECT_EQ(track.writeCursor, 0u);
    EXPECT_EQ(output.LockFrame(track), nullptr);
    std::vector<std::int16_t> none(16);
    EXPECT_FALSE(output.ReadLastFrame(track, none.data()));
}

TEST(DirectSound, AligningPutsPlayAndWriteOnAFrameBoundary) {
    CSettings settings;
    settings.Set(FrameRate, 24);
    CDirectSound output(settings);
    CListInfo track;
    track.ring = output.CreateTrackBuffer();
    auto* ring = dynamic_cast<CAudioRing*>(track.ring.get());
    ASSERT_NE(ring, nullptr);
    ring->SetPlayPosition(8000 * 7 + 1234);
    output.AlignTrack(track);
    EXPECT_EQ(output.PlayPosition(track), 8000u * 7);
    EXPECT_EQ(track.writeCursor, 8000u * 7);
}

TEST(AudioMixer, SumsThePlayingRingsAndClips) {
    auto mixer = std::make_shared<CAudioMixer>();
    CAudioRing a(mixer);
    CAudioRing b(mixer);
    CAudioRing idle(mixer);
    auto fill = [](CAudioRing& ring, std::int16_t left, std::int16_t right) {
        std::int16_t* staged = ring.Stage(100);
        for (int k = 0; k < 100; ++k) {
            staged[2 * k] = left;
            staged[2 * k + 1] = right;
        }
        ring.Commit(0, 100);
    };
    fill(a, 1000, 30000);
    fill(b, 2000, 10000);
    fill(idle, 5000, 5000);
    a.SetPlaying(true);
    b.SetPlaying(true);

    std::vector<std::int16_t> out(2 * 10);
    mixer->Mix(out.data(), 10);
    EXPECT_EQ(out[0], 3000);
    EXPECT_EQ(out[1], 32767);
    EXPECT_EQ(a.PlayPosition(), 40u);

    b.SetPlaying(false);
    mixer->Mix(out.data(), 10);
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(b.PlayPosition(), 40u);  // a stopped ring keeps its place

    a.SetPlaying(false);
    mixer->Mix(out.data(), 10);
    EXPECT_EQ(out, std::vector<std::int16_t>(20, 0));
}

TEST(AudioMixer, HalfSpeedPlaysEachFrameForTwiceAsLongAndLoopsRoundTheRing) {
    auto mixer = std::make_shared<CAudioMixer>();
    CAudioRing ring(mixer);
    // The last two pairs of the ring and the first two, as a ramp.
    const std::uint32_t tail = CAudioRing::kBytes - 8;
    std::int16_t* staged = ring.Stage(4);
    const std::int16_t ramp[] = {100, -100, 200, -200, 300, -300, 400, -400};
    std::copy(std::begin(ramp), std::end(ramp), staged);
    ring.Commit(tail, 4);
    ring.SetPlayPosition(tail);
    ring.SetFrequency(24000);
    ring.SetPlaying(true);

    std::vector<std::int16_t> out(2 * 8);
    mixer->Mix(out.data(), 8);
    const std::int16_t expectedLeft[] = {100, 150, 200, 250, 300, 350, 400, 200};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(out[2 * k], expectedLeft[k]) << k;
    EXPECT_EQ(out[1], -100);
    EXPECT_EQ(ring.PlayPosition(), 8u);  // four pairs on, past the end
}

TEST(DirectSound, PlaysThroughASinkAndStopsWithoutWaiting) {
    CSettings settings;
    settings.Set(FrameRate, 25);
    auto output = std::make_unique<CDirectSound>(settings);
    output->Initialize();  // KOLVANE_AUDIO_SINK=fakesink in tests
    ASSERT_TRUE(output->HasOutput());
    CListInfo track;
    track.ring = output->CreateTrackBuffer();
    for (int i = 0; i < 25; ++i)
        WriteConstantFrame(*output, track, 1000);
    output->AlignTrack(track);
    output->PlayTrack(track);
    EXPECT_TRUE(WaitFor([&] { return output->PlayPosition(track) >= 4 * 4800u; }));
    EXPECT_GT(output->PairsPlayed(), 0u);

    output->StopTrack(track);
    const std::uint32_t stoppedAt = output->PlayPosition(track);
    const std::uint64_t played = output->PairsPlayed();
    EXPECT_TRUE(WaitFor([&] { return output->PairsPlayed() > played + 4800; }));
    EXPECT_EQ(output->PlayPosition(track), stoppedAt);  // silence goes on, the ring rests

    output->PlayTrack(track);
    output.reset();                       // while playing
    EXPECT_FALSE(track.ring == nullptr);  // the level keeps its ring
}

TEST(DirectSound, ASinkThatCannotStartLeavesTheProgramSilent) {
    CSettings settings;
    CDirectSound output(settings);
    // A file sink without a file refuses to get ready.
    output.Initialize(QStringLiteral("filesink"));
    EXPECT_FALSE(output.HasOutput());
    CListInfo track;
    track.ring = output.CreateTrackBuffer();
    output.PlayTrack(track);
    WriteConstantFrame(output, track, 5);
    EXPECT_EQ(LastFrame(output, track).front(), 5);
}

}  // namespace
}  // namespace kolvane
