#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <QFile>

#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/Node.h"
#include "settings/Settings.h"
#include "sound/ClipDecoder.h"
#include "sound/DirectSound.h"
#include "sound/SoundClip.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using test::MakeTempDir;

// A sound item with its clip, a track with a ring, and the output that owns
// the rings: what the player has when it writes a sound column frame by frame.
class SoundTrack {
  public:
    SoundTrack(const QString& path, int frameRate) : output(settings) {
        settings.Set(FrameRate, frameRate);
        item.soundInfo = std::make_unique<CSoundInfo>(path);
        item.name = ItemNameFromPath(path);
        track.ring = output.CreateTrackBuffer();
    }

    Result Open() { return OpenSoundClip(*item.soundInfo, settings.Get(FrameRate)); }

    // Writes the frame of cell `number` and returns what went into the ring.
    std::vector<std::int16_t> Frame(int number, bool backwards = false, Result* result = nullptr) {
        cell = std::make_unique<CNode>(kTypeSoundCell, SoundCellName(item.name, number));
        cell->item = &item;
        return FrameOfCell(*cell, backwards, result);
    }

    std::vector<std::int16_t> FrameOfCell(const CNode& shown, bool backwards,
                                          Result* result = nullptr) {
        track.currentSoundCell = &shown;
        const Result written = WriteSoundFrame(track, backwards, output);
        if (result != nullptr) *result = written;
        std::vector<std::int16_t> frame(static_cast<std::size_t>(output.BytesPerFrame() / 2));
        output.ReadLastFrame(track, frame.data());
        return frame;
    }

    CSoundInfo& Clip() { return *item.soundInfo; }

    CSettings settings;
    CDirectSound output;
    CNode item{kTypeSoundItem, QString()};
    std::unique_ptr<CNode> cell;
    CListInfo track;
};

int Peak(const std::vector<std::int16_t>& values) {
    int peak = 0;
    for (std::int16_t v : values)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    return peak;
}

bool Silent(const std::vector<std::int16_t>& values) {
    return Peak(values) == 0;
}

TEST(SoundClip, MeasuresTheClipInSceneFrames) {
    struct Case {
        int rate;
        int channels;
        int frameRate;
        std::int64_t frames;
        float samplesPerFrame;  // values per scene frame
        float lengthInFrames;
        std::size_t minBuffer;
    };
    const Case cases[] = {
        {44100, 2, 25, 44100, 3528.0f, 25.0f, 3528},
        {22050, 1, 24, 22050 * 2, 918.75f, 48.0f, 919},
        {48000, 2, 30, 4800, 3200.0f, 3.0f, 3200},
        {44100, 2, 24, 44100, 3675.0f, 24.0f, 3676},  // 1837.5 frames: 1838 whole ones
    };
    const QString dir = MakeTempDir(QStringLiteral("measure"));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.rate << " Hz, " << c.channels << " ch, " << c.frameRate << " fps");
        const QString path = dir + QStringLiteral("/clip %1 %2.wav").arg(c.rate).arg(c.frameRate);
        test::WritePcmClip(path, c.rate, c.channels, c.frames);
        SoundTrack sound(path, c.frameRate);
        ASSERT_EQ(sound.Open(), kOk);
        const CSoundInfo& clip = sound.Clip();
        EXPECT_EQ(clip.channels, c.channels);
        EXPECT_EQ(clip.sampleRate, c.rate);
        EXPECT_EQ(clip.length, c.frames);
        EXPECT_FLOAT_EQ(clip.samplesPerFrame, c.samplesPerFrame);
        EXPECT_FLOAT_EQ(clip.lengthInFrames, c.lengthInFrames);
        EXPECT_EQ(clip.buffer.size(), c.minBuffer);
        EXPECT_EQ(sound.output.BytesPerFrame(), 48000 / c.frameRate * 4);
    }
}

TEST(SoundClip, CellsReadTheirOwnShareOfTheClip) {
    // A 48 kHz clip plays one to one: output pair k of cell n is sample frame
    // (n - 1) × 1920 + k at 25 fps.
    const QString path = MakeTempDir(QStringLiteral("share")) + QStringLiteral("/ramp.wav");
    test::WritePcmClip(path, 48000, 2, 48000);
    SoundTrack sound(path, 25);
    ASSERT_EQ(sound.Open(), kOk);
    const auto first = sound.Frame(1);
    ASSERT_EQ(first.size(), 2u * 1920);
    EXPECT_EQ(first[0], 0);
    EXPECT_EQ(first[2 * 1919], 1919);
    const auto second = sound.Frame(2);
    EXPECT_EQ(second[0], 1920);
    EXPECT_EQ(second[1], -1920);
    EXPECT_EQ(second[2 * 1919], 3839);
    // Backwards the same share is played last sample first.
    const auto reversed = sound.Frame(2, true);
    EXPECT_EQ(reversed[0], 3839);
    EXPECT_EQ(reversed[1], -3839);
    EXPECT_EQ(reversed[2 * 1919], 1920);
}

TEST(SoundClip, MonoGoesToBothSidesAndFractionalFramesReadOnlyFilledValues) {
    // 22050 Hz mono at 24 fps: 918.75 values per frame. The last output pairs
    // lie past value 918 and must come from the clip, not from a stale slot.
    const QString path = MakeTempDir(QStringLiteral("mono")) + QStringLiteral("/mono.wav");
    test::WritePcmClip(path, 22050, 1, 22050, [](std::int64_t frame, int) {
        return static_cast<std::int16_t>(1000 + frame % 20000);
    });
    SoundTrack sound(path, 24);
    ASSERT_EQ(sound.Open(), kOk);
    sound.Clip().buffer.back() = 32000;  // what an unfilled slot would still hold
    for (int number : {1, 2, 3, 7}) {
        SCOPED_TRACE(number);
        const auto frame = sound.Frame(number);
        ASSERT_EQ(frame.size(), 2u * 2000);
        const std::int64_t start = (number - 1) * 22050 / 24;
        for (std::size_t k = 0; k < 2000; ++k) {
            ASSERT_EQ(frame[2 * k], frame[2 * k + 1]) << k;
            const double p = k * 22050.0 / 48000.0;
            const auto near = static_cast<std::int16_t>(1000 + (start + static_cast<int>(p)));
            ASSERT_GE(frame[2 * k], near) << k;
            ASSERT_LE(frame[2 * k], near + 1) << k;
        }
    }
}

TEST(SoundClip, StereoClipAt24FpsPlaysOnEveryFrame) {
    // 44.1 kHz stereo at 24 fps is 3675 values per frame, an odd count: item
    // reads would ask for half a sample frame and get nothing.
    const QString path = MakeTempDir(QStringLiteral("odd")) + QStringLiteral("/tone.wav");
    test::WritePcmClip(path, 44100, 2, 44100 * 2, [](std::int64_t, int channel) {
        return static_cast<std::int16_t>(channel == 0 ? 8000 : -8000);
    });
    SoundTrack sound(path, 24);
    ASSERT_EQ(sound.Open(), kOk);
    for (int number = 1; number <= 48; ++number) {
        Result result = kFail;
        const auto frame = sound.Frame(number, false, &result);
        EXPECT_EQ(result, kOk);
        ASSERT_EQ(frame.front(), 8000) << number;
        ASSERT_EQ(frame.back(), -8000) << number;
    }
}

TEST(SoundClip, PlayingOnGivesTheSameFramesAsReadingEachCellAlone) {
    // Frames played in order reuse what the previous frame decoded; that must
    // give exactly what a fresh reader gives for each cell.
    const QString dir = MakeTempDir(QStringLiteral("continuity"));
    const QString wav = dir + QStringLiteral("/ramp.wav");
    const QString mp3 = dir + QStringLiteral("/tone.mp3");
    test::WritePcmClip(wav, 44100, 2, 44100);
    test::WriteMp3(mp3, 44100, 2, 1.0);
    for (const QString& path : {wav, mp3}) {
        SCOPED_TRACE(path.toStdString());
        SoundTrack playing(path, 24);
        ASSERT_EQ(playing.Open(), kOk);
        for (int number = 1; number <= 20; ++number) {
            SoundTrack alone(path, 24);
            ASSERT_EQ(alone.Open(), kOk);
            ASSERT_EQ(playing.Frame(number), alone.Frame(number)) << number;
        }
        // Backwards play seeks every frame and must land on the same shares.
        for (int number = 20; number >= 1; --number) {
            SoundTrack alone(path, 24);
            ASSERT_EQ(alone.Open(), kOk);
            ASSERT_EQ(playing.Frame(number, true), alone.Frame(number, true)) << number;
        }
    }
}

TEST(SoundClip, FloatWavPlaysAtTheLoudnessOfItsValues) {
    // Amplitude 0.5 is half of full scale: about 16384, not stretched to the
    // file's peak and not truncated to silence.
    const QString path = MakeTempDir(QStringLiteral("float")) + QStringLiteral("/float.wav");
    test::WriteFloatWav(path, 48000, 2, 48000, 0.5f);
    SoundTrack sound(path, 25);
    ASSERT_EQ(sound.Open(), kOk);
    const int peak = Peak(sound.Frame(3));
    EXPECT_GE(peak, 16200);
    EXPECT_LE(peak, 16400);
}

TEST(SoundClip, Mp3AndAiffAreRead) {
    const QString dir = MakeTempDir(QStringLiteral("kinds"));
    test::WriteMp3(dir + QStringLiteral("/tone.mp3"), 22050, 1, 2.0);
    test::WritePcmClip(dir + QStringLiteral("/ramp.aif"), 32000, 2, 64000);
    test::WriteMp3(dir + QStringLiteral("/LOUD.MP3"), 44100, 2, 1.0);
    struct Case {
        const char* name;
        int rate;
        int channels;
        float minFrames;  // MP3s carry the encoder's padding
        float maxFrames;
    };
    const Case cases[] = {
        {"tone.mp3", 22050, 1, 49.0f, 54.0f},
        {"ramp.aif", 32000, 2, 50.0f, 50.0f},
        {"LOUD.MP3", 44100, 2, 24.0f, 28.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundTrack sound(dir + QLatin1Char('/') + QLatin1String(c.name), 25);
        ASSERT_EQ(sound.Open(), kOk);
        EXPECT_EQ(sound.Clip().sampleRate, c.rate);
        EXPECT_EQ(sound.Clip().channels, c.channels);
        EXPECT_GE(sound.Clip().lengthInFrames, c.minFrames);
        EXPECT_LE(sound.Clip().lengthInFrames, c.maxFrames);
        EXPECT_FALSE(Silent(sound.Frame(10)));
    }
}

TEST(SoundClip, CellsWithoutSoundPlaySilence) {
    const QString path = MakeTempDir(QStringLiteral("silence")) + QStringLiteral("/one.wav");
    test::WritePcmClip(path, 48000, 2, 48000, [](std::int64_t, int) { return std::int16_t{5000}; });
    SoundTrack sound(path, 25);
    ASSERT_EQ(sound.Open(), kOk);

    // Cell 25 is the last of a one-second clip; 26 and far beyond are past it.
    EXPECT_FALSE(Silent(sound.Frame(25)));
    EXPECT_TRUE(Silent(sound.Frame(26)));
    EXPECT_TRUE(Silent(sound.Frame(100000)));

    // A sound cell whose name carries no number, a blank cell and no cell.
    CNode numberless(kTypeSoundCell, QStringLiteral("one"));
    numberless.item = &sound.item;
    Result result = kFail;
    EXPECT_TRUE(Silent(sound.FrameOfCell(numberless, false, &result)));
    EXPECT_EQ(result, kOk);
    CNode blank(kTypeBlank, QString());
    EXPECT_TRUE(Silent(sound.FrameOfCell(blank, false)));
    sound.track.currentSoundCell = nullptr;
    EXPECT_EQ(WriteSoundFrame(sound.track, false, sound.output), kOk);
}

TEST(SoundClip, AClipThatIsNotOpenWritesNothing) {
    const QString path = MakeTempDir(QStringLiteral("closed")) + QStringLiteral("/c.wav");
    test::WritePcmClip(path, 48000, 2, 4800);
    SoundTrack sound(path, 25);
    ASSERT_EQ(sound.Open(), kOk);
    sound.Frame(1);
    const std::uint32_t cursor = sound.track.writeCursor;
    CloseSoundClip(sound.Clip());
    EXPECT_TRUE(sound.Clip().buffer.empty());
    Result result = kOk;
    sound.Frame(1, false, &result);
    EXPECT_EQ(result, kFail);
    EXPECT_EQ(sound.track.writeCursor, cursor);
}

TEST(SoundClip, UnreadableFilesAreReportedAndNeverCrash) {
    const QString dir = MakeTempDir(QStringLiteral("broken"));
    test::WritePcmClip(dir + QStringLiteral("/whole.wav"), 44100, 2, 44100);
    test::WriteMp3(dir + QStringLiteral("/whole.mp3"), 44100, 2, 1.0);
    QFile wav(dir + QStringLiteral("/whole.wav"));
    ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
    const QByteArray wavBytes = wav.readAll();
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919) % 251);

    const struct {
        const char* name;
        QByteArray bytes;
    } broken[] = {
        {"empty.wav", QByteArray()},
        {"header cut.wav", wavBytes.left(20)},
        {"text.wav", QByteArray("this is not a sound file at all\n")},
        {"noise.aif", garbage},
        {"empty.mp3", QByteArray()},
        {"text.mp3", QByteArray("neither is this one, though it is called mp3\n")},
    };
    for (const auto& file : broken) {
        SCOPED_TRACE(file.name);
        const QString path = dir + QLatin1Char('/') + QLatin1String(file.name);
        test::WriteBytes(path, file.bytes);
        SoundTrack sound(path, 25);
        EXPECT_EQ(sound.Open(), msg::kCannotReadSound);
        EXPECT_EQ(sound.Clip().decoder, nullptr);
        Result result = kOk;
        sound.Frame(1, false, &result);
        EXPECT_EQ(result, kFail);
        EXPECT_EQ(BuildWaveform(sound.Clip(), 20), kFail);
    }
    SoundTrack missing(dir + QStringLiteral("/missing.wav"), 25);
    EXPECT_EQ(missing.Open(), msg::kCannotReadSound);

    // Cut in the middle of the data: what is there plays, the rest is silent.
    test::WriteBytes(dir + QStringLiteral("/half.wav"), wavBytes.left(wavBytes.size() / 2));
    SoundTrack half(dir + QStringLiteral("/half.wav"), 25);
    ASSERT_EQ(half.Open(), kOk);
    EXPECT_LE(half.Clip().lengthInFrames, 13.0f);
    EXPECT_FALSE(Silent(half.Frame(5)));
    EXPECT_TRUE(Silent(half.Frame(20)));
    EXPECT_EQ(BuildWaveform(half.Clip(), 20), kOk);

    QFile mp3(dir + QStringLiteral("/whole.mp3"));
    ASSERT_TRUE(mp3.open(QIODevice::ReadOnly));
    test::WriteBytes(dir + QStringLiteral("/half.mp3"), mp3.readAll().left(mp3.size() / 2));
    SoundTrack halfMp3(dir + QStringLiteral("/half.mp3"), 25);
    ASSERT_EQ(halfMp3.Open(), kOk);
    EXPECT_LE(halfMp3.Clip().lengthInFrames, 14.0f);
    EXPECT_FALSE(Silent(halfMp3.Frame(5)));
    EXPECT_TRUE(Silent(halfMp3.Frame(20)));
}

// A header may claim anything: buffers are sized from it, so a clip beyond
// sane limits is refused before anything is allocated, and plain but large
// formats still open.
TEST(SoundClip, HeadersClaimingAbsurdFormatsAreRefusedBeforeAllocating) {
    const QString dir = MakeTempDir(QStringLiteral("hostile"));
    const struct {
        const char* name;
        int channels;
        std::uint32_t rate;
        bool opens;
    } clips[] = {
        {"256 channels at 2^31-1 Hz", 256, 2147483647u, false},
        {"64 channels at 2^31-1 Hz", 64, 2147483647u, false},
        {"stereo at 2^31-1 Hz", 2, 2147483647u, false},
        {"64 channels at 48 kHz", 64, 48000, false},
        {"stereo at 1 Hz", 2, 1, false},
        {"8 channels at 96 kHz", 8, 96000, true},
        {"stereo at 192 kHz", 2, 192000, true},
        {"mono at 8 kHz", 1, 8000, true},
    };
    for (const auto& clip : clips) {
        SCOPED_TRACE(clip.name);
        const QString path = dir + QStringLiteral("/clip.wav");
        test::WriteRawWav(path, clip.channels, clip.rate, 16, 4000);
        SoundTrack sound(path, 15);
        EXPECT_EQ(sound.Open(), clip.opens ? kOk : msg::kCannotReadSound);
        EXPECT_EQ(sound.Clip().decoder != nullptr, clip.opens);
        if (clip.opens) {
            EXPECT_TRUE(Silent(sound.Frame(1)));
        }
    }
}

TEST(SoundClip, WaveformHoldsTheExtremesOfEachRow) {
    // 48 kHz mono at 25 fps with rows of 4 pixels: 1920 / 4 = 480 samples per
    // row. Each row holds one spike whose height tells the row apart.
    const QString path = MakeTempDir(QStringLiteral("wave")) + QStringLiteral("/spikes.wav");
    const std::int64_t frames = 48000 * 2;
    test::WritePcmClip(path, 48000, 1, frames, [](std::int64_t frame, int) {
        const std::int64_t row = frame / 480;
        if (frame % 480 == 100) return static_cast<std::int16_t>(row % 1000 + 1);
        if (frame % 480 == 300) return static_cast<std::int16_t>(-(row % 1000) - 1);
        return std::int16_t{0};
    });
    SoundTrack sound(path, 25);
    ASSERT_EQ(sound.Open(), kOk);
    ASSERT_EQ(BuildWaveform(sound.Clip(), 4), kOk);
    const auto& waveform = sound.Clip().waveform;
    ASSERT_EQ(waveform.size(), static_cast<std::size_t>(50 * 4));
    for (std::size_t row = 0; row < waveform.size(); ++row) {
        const auto expected = static_cast<std::int16_t>(row % 1000 + 1);
        ASSERT_EQ(waveform[row].first, -expected) << row;
        ASSERT_EQ(waveform[row].second, expected) << row;
    }
    // The waveform does not disturb playing on.
    SoundTrack fresh(path, 25);
    ASSERT_EQ(fresh.Open(), kOk);
    EXPECT_EQ(sound.Frame(7), fresh.Frame(7));
}

TEST(SoundClip, ReopeningAtAnotherFrameRateMeasuresAgain) {
    const QString path = MakeTempDir(QStringLiteral("reopen")) + QStringLiteral("/r.wav");
    test::WritePcmClip(path, 48000, 2, 48000);
    SoundTrack sound(path, 25);
    ASSERT_EQ(sound.Open(), kOk);
    ASSERT_EQ(BuildWaveform(sound.Clip(), 10), kOk);
    EXPECT_FLOAT_EQ(sound.Clip().lengthInFrames, 25.0f);
    // Opening an open clip changes nothing; closing and opening measures anew.
    EXPECT_EQ(OpenSoundClip(sound.Clip(), 30), kOk);
    EXPECT_FLOAT_EQ(sound.Clip().lengthInFrames, 25.0f);
    CloseSoundClip(sound.Clip());
    EXPECT_TRUE(sound.Clip().waveform.empty());
    EXPECT_EQ(OpenSoundClip(sound.Clip(), 30), kOk);
    EXPECT_FLOAT_EQ(sound.Clip().lengthInFrames, 30.0f);
    EXPECT_FLOAT_EQ(sound.Clip().samplesPerFrame, 3200.0f);
}

}  // namespace
}  // namespace kolvane
