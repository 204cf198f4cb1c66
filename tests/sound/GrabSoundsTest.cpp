#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <vector>

#include "sound/AudioRing.h"
#include "sound/GrabSounds.h"

namespace kolvane {
namespace {

// Collects the cues handed to the audio output.
struct CueLog {
    std::mutex mutex;
    std::vector<std::vector<std::int16_t>> cues;

    CueSink Sink() {
        return [this](std::vector<std::int16_t> pairs) {
            std::lock_guard lock(mutex);
            cues.push_back(std::move(pairs));
        };
    }
};

// Zero crossings of the left channel going upwards.
int RisingCrossings(const std::vector<std::int16_t>& pairs) {
    int crossings = 0;
    for (std::size_t k = 2; k < pairs.size(); k += 2) {
        if (pairs[k - 2] < 0 && pairs[k] >= 0) ++crossings;
    }
    return crossings;
}

TEST(GrabSounds, TheBeepIs50MillisecondsOf440HertzOnBothSides) {
    const std::vector<std::int16_t> beep = TonePairs(440, 50);
    ASSERT_EQ(beep.size(), 2u * 2400u);
    // 22 periods in 50 ms; the fade may hide the first crossing.
    EXPECT_NEAR(RisingCrossings(beep), 22, 1);
    std::int16_t peak = 0;
    for (std::size_t k = 0; k < beep.size(); k += 2) {
        EXPECT_EQ(beep[k], beep[k + 1]);
        peak = std::max<std::int16_t>(peak, static_cast<std::int16_t>(std::abs(beep[k])));
    }
    EXPECT_GT(peak, 8000);
    EXPECT_LT(std::abs(beep.front()) + std::abs(beep[beep.size() - 2]), 400) << "no click";
}

TEST(GrabSounds, EachKindGoesToTheOutputAndVoiceWithoutSpeechBeeps) {
    CueLog log;
    CGrabSounds sounds(log.Sink(), nullptr);
    sounds.PlayGrabSound(kGrabSoundNone, "A 0001");
    EXPECT_TRUE(log.cues.empty());
    sounds.PlayGrabSound(kGrabSoundBeep, "A 0001");
    sounds.PlayGrabSound(kGrabSoundClip, "A 0001");
    sounds.PlayGrabSound(kGrabSoundVoice, "A 0001");
    ASSERT_EQ(log.cues.size(), 3u);
    EXPECT_EQ(log.cues[0], TonePairs(440, 50));
    EXPECT_EQ(log.cues[1], ShutterClipPairs());
    EXPECT_NE(log.cues[1], log.cues[0]);
    EXPECT_EQ(log.cues[2], TonePairs(440, 50)) << "no voice installed: the beep";
}

TEST(GrabSounds, TheVoiceSpeaksTheNameAndTheLatestNamePurgesOnesNotYetSpoken) {
    CueLog log;
    auto voice = CSpeechVoice::Create(log.Sink());
    if (!voice) GTEST_SKIP() << "espeak-ng is not installed";
    voice->Speak("A 0001");
    voice->WaitUntilIdle();
    ASSERT_EQ(log.cues.size(), 1u);
    // A spoken name lasts a good part of a second.
    EXPECT_GT(log.cues[0].size() / 2, 48000u / 4);

    log.cues.clear();
    for (int i = 2; i <= 6; ++i)
        voice->Speak(QStringLiteral("A %1").arg(i, 4, 10, QLatin1Char('0')));
    voice->WaitUntilIdle();
    // The first may already be under way; the others are never heard but the last.
    EXPECT_GE(log.cues.size(), 1u);
    EXPECT_LE(log.cues.size(), 2u);
}

TEST(GrabSounds, ACueIsMixedOnceOverTheRingsAndANewOneCutsTheOldOff) {
    CAudioMixer mixer;
    std::vector<std::int16_t> out(2 * 100);
    mixer.PlayCue(std::vector<std::int16_t>(2 * 150, 1000));
    mixer.Mix(out.data(), 100);
    EXPECT_EQ(out.front(), 1000);
    EXPECT_EQ(out.back(), 1000);
    EXPECT_TRUE(mixer.CuePlaying());
    mixer.Mix(out.data(), 100);
    EXPECT_EQ(out[2 * 49 + 1], 1000);
    EXPECT_EQ(out[2 * 50], 0) << "the cue ends after its 150 pairs";
    EXPECT_FALSE(mixer.CuePlaying());

    mixer.PlayCue(std::vector<std::int16_t>(2 * 150, 1000));
    mixer.Mix(out.data(), 100);
    mixer.PlayCue(std::vector<std::int16_t>(2 * 10, -500));
    mixer.Mix(out.data(), 100);
    EXPECT_EQ(out[0], -500);
    EXPECT_EQ(out[2 * 10], 0) << "the rest of the first cue is gone";
}

}  // namespace
}  // namespace kolvane
