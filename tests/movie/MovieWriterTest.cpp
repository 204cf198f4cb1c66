#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <numeric>
#include <span>

#include <string>

#include <turbojpeg.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "model/MediaInfo.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "movie/EncoderSettings.h"
#include "movie/MovieWriter.h"
#include "tests/movie/MovieTestSupport.h"
#include "tests/sound/fixtures/SoundFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane {
namespace {

using test::AverageColour;
using test::DecodedMovie;
using test::DecodeMovie;

constexpr QSize kFrameSize(64, 48);
constexpr int kSamplesPerFrame = 48000 / 25 * 2;  // stereo values at 25 frames a second
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kWhite = qRgb(255, 255, 255);

bool IsNear(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Frames go into the AVI as the movie source got them: I420, unencoded.
constexpr MovieReduction kLosslessI420[] = {
    {"I420", "identity", "identity name=encoder", false},
};

// Channels of 0 or 255 only, so that multiplied layers come out exactly.
QRgb Multiplied(QRgb a, QRgb b) {
    return (a & b) | 0xFF000000u;
}

class MovieWriterTest : public ::testing::Test {
  protected:
    MovieWriterTest() { writer.SetLineHeight(12); }

    QString MoviePath(const QString& name) { return movies + QLatin1Char('/') + name; }
    Result Write(const QString& name, const QString& codec, const QString& type = ".avi",
                 CMovieWriter* other = nullptr) {
        CMovieWriter& used = other != nullptr ? *other : writer;
        return used.WriteMovie(MoviePath(name), type, codec, QRect(QPoint(0, 0), kFrameSize), 0,
                               progress);
    }
    // One image column of `frames` frames, red and blue in turn.
    void TenFrames(int frames = 10) {
        CNode* red = scene.Image(QStringLiteral("red"), kRed);
        CNode* blue = scene.Image(QStringLiteral("blue"), kBlue);
        std::vector<CNode*> cells;
        for (int f = 0; f < frames; ++f)
            cells.push_back(f % 2 == 0 ? red : blue);
        scene.Column(cells);
        scene.Finish();
    }

    test::CTestScene scene;
    test::CImageRenderer renderer;
    test::CConstantSound sound{scene.settings};
    test::CScriptedProgress progress;
    CMovieWriter writer{scene.settings, scene.sheet, renderer, sound};
    QString movies = test::MakeTempDir(QStringLiteral("movies"));
};

TEST_F(MovieWriterTest, ATenFrameSheetMakesTenFramesOfFourTenthsOfASecond) {
    TenFrames();
    ASSERT_EQ(scene.sheet.SheetLength(), 11);  // the trailing blank row is not written
    struct Case {
        const char* name;
        const char* codec;
        const char* container;
        const char* video;
    };
    const Case cases[] = {
        {"ten.mp4", "H.264/AVC", "video/quicktime", "video/x-h264"},
        {"ten.avi", "none", "video/x-msvideo", "video/x-raw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        progress = {};
        ASSERT_EQ(Write(c.name, c.codec), kOk) << writer.ErrorDetail().toStdString();
        const DecodedMovie movie = DecodeMovie(MoviePath(c.name));
        EXPECT_EQ(movie.container, c.container);
        EXPECT_EQ(movie.videoCaps, c.video);
        EXPECT_NEAR(static_cast<double>(movie.duration) / GST_SECOND, 0.4, 0.001);
        ASSERT_EQ(movie.frames.size(), 10u);
        EXPECT_TRUE(IsNear(movie.frames[0].pixel(32, 24), kRed, 24));
        EXPECT_TRUE(IsNear(movie.frames[1].pixel(32, 24), kBlue, 24));
        EXPECT_EQ(progress.title, 40206);
        EXPECT_EQ(progress.buttons, IProgress::kAbortStop);
        EXPECT_EQ(progress.range, 10);
        EXPECT_EQ(progress.steps, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        EXPECT_FALSE(progress.open);
    }
    EXPECT_EQ(renderer.ends, 2);
}

TEST_F(MovieWriterTest, RawAviHoldsThePicturesExactlyWithWhiteEmptyFramesAndTheCounter) {
    scene.settings.Set(Overlay, 1);  // "counter"
    scene.settings.Set(FrameStart, 5);
    CNode* red = scene.Image(QStringLiteral("red"), kRed);
    scene.Column({red, nullptr, red});
    scene.Finish();
    ASSERT_EQ(Write(QStringLiteral("raw.avi"), QStringLiteral("none")), kOk);

    const DecodedMovie movie = DecodeMovie(MoviePath(QStringLiteral("raw.avi")));
    EXPECT_EQ(movie.videoCaps, "video/x-raw");
    EXPECT_EQ(movie.audioCaps, "audio/x-raw");
    ASSERT_EQ(movie.frames.size(), 3u);
    // The box: 2L x L, its right and bottom edges L/2 inside the frame's.
    const QRect box(64 - 6 - 24, 48 - 6 - 12, 24, 12);
    ASSERT_EQ(renderer.texts.size(), 3u);
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        const QImage& frame = movie.frames[f];
        EXPECT_EQ(renderer.texts[f].first, box);
        EXPECT_EQ(renderer.texts[f].second, QString::number(5 + f));
        // Exact colours outside the box: raw video is lossless, rows upright.
        EXPECT_EQ(frame.pixel(0, 0) & 0xFFFFFF, (f == 1 ? kWhite : kRed) & 0xFFFFFF);
        EXPECT_EQ(frame.pixel(63, 47) & 0xFFFFFF, (f == 1 ? kWhite : kRed) & 0xFFFFFF);
        EXPECT_EQ(frame.pixel(box.left(), box.top()) & 0xFFFFFF, kWhite & 0xFFFFFF);
        EXPECT_EQ(frame.pixel(box.left() - 1, box.top()) & 0xFFFFFF,
                  (f == 1 ? kWhite : kRed) & 0xFFFFFF);
        EXPECT_LT(qGreen(AverageColour(frame, box)), 250) << "the number is drawn";
    }
}

TEST_F(MovieWriterTest, SoundColumnsAreAveragedAndABrokenClipIsSilence) {
    CNode* loud = scene.Sound(QStringLiteral("loud"));
    CNode* low = scene.Sound(QStringLiteral("low"));
    CNode* broken = scene.Sound(QStringLiteral("broken"));
    CNode* muted = scene.Sound(QStringLiteral("muted"));
    sound.levels = {{loud, 10000}, {low, -3001}, {broken, 20000}, {muted, 30000}};
    sound.broken = {broken};
    CNode* red = scene.Image(QStringLiteral("red"), kRed);
    scene.Column(std::vector<CNode*>(10, red));
    // frames:     0     1     2     3     4     5     6     7     8       9
    scene.Column({loud, loud, loud, loud, loud, loud, nullptr, nullptr, nullptr, nullptr});
    scene.Column({nullptr, nullptr, nullptr, low, low, low, low, low, low, nullptr});
    scene.Column(
        {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, broken, nullptr});
    CNode* off = scene.Column(std::vector<CNode*>(10, muted));
    off->flags &= ~kFlagOn;  // a column that is off gives nothing
    scene.Finish();
    ASSERT_EQ(Write(QStringLiteral("mix.avi"), QStringLiteral("none")), kOk);

    const DecodedMovie movie = DecodeMovie(MoviePath(QStringLiteral("mix.avi")));
    ASSERT_EQ(movie.sound.size(), 10u * kSamplesPerFrame);
    // Averages truncate towards zero.
    const std::int16_t expected[10] = {10000, 10000, 10000, 3499,  3499,
                                       3499,  -3001, -3001, -1500, 0};
    for (int f = 0; f < 10; ++f) {
        for (int i : {0, 1, kSamplesPerFrame - 1}) {
            EXPECT_EQ(movie.sound[f * kSamplesPerFrame + i], expected[f])
                << "frame " << f << " value " << i;
        }
    }
}

TEST_F(MovieWriterTest, ThePathsExtensionDecidesTheContainer) {
    TenFrames(2);
    // Typed ".avi" while the type is MP4.
    ASSERT_EQ(Write(QStringLiteral("typed.avi"), QStringLiteral("H.264/AVC"), ".mp4"), kOk);
    const DecodedMovie avi = DecodeMovie(MoviePath(QStringLiteral("typed.avi")));
    EXPECT_EQ(avi.container, "video/x-msvideo");
    EXPECT_EQ(avi.videoCaps, "video/x-h264");
    EXPECT_EQ(avi.frames.size(), 2u);
    ASSERT_EQ(Write(QStringLiteral("upper.MP4"), QStringLiteral("H.264/AVC"), ".avi"), kOk);
    EXPECT_EQ(DecodeMovie(MoviePath(QStringLiteral("upper.MP4"))).container, "video/quicktime");
}

TEST_F(MovieWriterTest, RefusesWhatItCannotWriteBeforeWritingAnything) {
    TenFrames(2);
    const QString kept = MoviePath(QStringLiteral("film.mov"));
    {
        QFile file(kept);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep");
    }
    struct Case {
        const char* name;
        const char* codec;
        Result result;
    };
    const Case cases[] = {
        {"film.mov", "H.264/AVC", msg::kCannotSaveMovie},  // neither .avi nor .mp4
        {"noext", "none", msg::kCannotSaveMovie},
        {"wmv.avi", "MS WMV9", msg::kEncoderMissing},  // none on this platform
        {"cinepak.avi", "Cinepak", msg::kEncoderMissing},
        {"odd.avi", "no such reduction", msg::kEncoderMissing},
        {"dv.avi", "DV Video", msg::kMovieGraphFailed},      // 64 x 48 is no DV size
        {"ffdshow.mp4", "FFDShow", msg::kMovieGraphFailed},  // AVI only
        {"raw.mp4", "none", msg::kMovieGraphFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Write(c.name, c.codec), c.result);
        EXPECT_FALSE(writer.ErrorDetail().isEmpty());
        EXPECT_FALSE(progress.open);
    }
    // avimux takes at most 4096 pixels a side: said before anything is built.
    EXPECT_EQ(writer.WriteMovie(MoviePath(QStringLiteral("wide.avi")), ".avi", "none",
                                QRect(0, 0, 4112, 2304), 0, progress),
              msg::kMovieGraphFailed);
    EXPECT_TRUE(writer.ErrorDetail().contains(QStringLiteral("4096")))
        << writer.ErrorDetail().toStdString();
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keep");
    EXPECT_EQ(QDir(movies).entryList(QDir::Files), QStringList{"film.mov"});
    EXPECT_TRUE(renderer.target.isNull()) << "every off-screen frame was ended";
}

TEST_F(MovieWriterTest, KnowsWhichReductionsThisPlatformHas) {
    EXPECT_TRUE(writer.IsEncoderAvailable(QStringLiteral("none")));
    EXPECT_TRUE(writer.IsEncoderAvailable(QStringLiteral("YUV 422")));
    EXPECT_FALSE(writer.IsEncoderAvailable(QStringLiteral("MS WMV9")));
    EXPECT_FALSE(writer.IsEncoderAvailable(QStringLiteral("Indeo")));
    // This platform's plugins, as the movie dialog lists them. Cinepak and
    // Microsoft Video 1 encoders exist, but no AVI muxer takes their output.
    for (const char* codec : {"DV Video", "H.264/AVC", "FFDShow"})
        EXPECT_TRUE(writer.IsEncoderAvailable(QString::fromLatin1(codec))) << codec;
    for (const char* codec : {"Cinepak", "MS Video"})
        EXPECT_FALSE(writer.IsEncoderAvailable(QString::fromLatin1(codec))) << codec;
}

TEST_F(MovieWriterTest, EveryAviReductionWritesAPlayableMovie) {
    TenFrames(3);
    for (const char* codec : {"YUV 422", "FFDShow"}) {
        SCOPED_TRACE(codec);
        const QString name = QString::fromLatin1(codec).remove(' ') + ".avi";
        ASSERT_EQ(Write(name, QString::fromLatin1(codec)), kOk)
            << writer.ErrorDetail().toStdString();
        const DecodedMovie movie = DecodeMovie(MoviePath(name));
        EXPECT_EQ(movie.frames.size(), 3u);
        if (!movie.frames.empty()) {
            EXPECT_TRUE(IsNear(movie.frames[0].pixel(32, 24), kRed, 40));
        }
    }
}

// Lets the user change the encoder's own settings: here, its bit rate.
class CBitratePages final : public IEncoderPages {
  public:
    void Show(GstElement* encoder, const QString& title) override {
        caption = title;
        changed = SetEncoderSetting(encoder, QStringLiteral("bitrate"), QStringLiteral("64000"));
    }
    QString caption;
    bool changed = false;
};

TEST_F(MovieWriterTest, TheFFDShowReductionShowsTheEncodersSettingsFirst) {
    TenFrames(2);
    CBitratePages pages;
    writer.SetEncoderPages(&pages);
    ASSERT_EQ(Write(QStringLiteral("h264.mp4"), QStringLiteral("H.264/AVC")), kOk);
    EXPECT_TRUE(pages.caption.isEmpty()) << "only FFDShow has a settings page";
    ASSERT_EQ(Write(QStringLiteral("mpeg4.avi"), QStringLiteral("FFDShow")), kOk);
    EXPECT_TRUE(pages.caption.contains("MPEG-4")) << pages.caption.toStdString();
    EXPECT_TRUE(pages.changed);
    EXPECT_EQ(DecodeMovie(MoviePath(QStringLiteral("mpeg4.avi"))).frames.size(), 2u);
}

TEST_F(MovieWriterTest, DvWritesPalFramesAt720By576) {
    CNode* red = scene.Image(QStringLiteral("red"), kRed);
    scene.Column({red, red});
    scene.Finish();
    const QString path = MoviePath(QStringLiteral("dv.avi"));
    ASSERT_EQ(writer.WriteMovie(path, ".avi", "DV Video", QRect(0, 0, 720, 576), 0, progress), kOk)
        << writer.ErrorDetail().toStdString();
    const DecodedMovie movie = DecodeMovie(path);
    EXPECT_EQ(movie.videoCaps, "video/x-dv");
    ASSERT_EQ(movie.frames.size(), 2u);
    EXPECT_EQ(movie.frames[0].size(), QSize(720, 576));
}

TEST_F(MovieWriterTest, StopKeepsAPlayableMovieOfTheFramesSoFarAndAbortDeletesIt) {
    TenFrames();
    struct Case {
        int answer;
        Result result;
        bool kept;
    };
    const Case cases[] = {
        {IProgress::kStop, msg::kMovieStopped, true},
        {IProgress::kAbort, msg::kMovieAborted, false},
        {IProgress::kClosed, msg::kMovieAborted, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        progress = {};
        progress.atStep = 4;
        progress.answer = c.answer;
        const QString name = QStringLiteral("part%1.mp4").arg(c.answer);
        EXPECT_EQ(Write(name, QStringLiteral("H.264/AVC")), c.result);
        EXPECT_EQ(progress.steps.size(), 4u);
        ASSERT_EQ(QFileInfo::exists(MoviePath(name)), c.kept);
        if (c.kept) {
            const DecodedMovie movie = DecodeMovie(MoviePath(name));
            EXPECT_EQ(movie.frames.size(), 4u);
            EXPECT_NEAR(static_cast<double>(movie.duration) / GST_SECOND, 0.16, 0.001);
        }
    }
}

TEST_F(MovieWriterTest, AnEncoderErrorEndsTheMoviePromptlyAndLeavesNoFile) {
    // The same chain as "H.264/AVC" with a fault after three frames.
    const MovieReduction failing[] = {
        {"H.264/AVC", "x264enc",
         "videoconvert ! identity error-after=3 ! video/x-raw,format=I420 ! x264enc", true},
    };
    CMovieWriter faulty(scene.settings, scene.sheet, renderer, sound, failing);
    TenFrames();
    for (const char* name : {"fault.mp4", "fault.avi"}) {
        SCOPED_TRACE(name);
        progress = {};
        EXPECT_EQ(Write(QString::fromLatin1(name), QStringLiteral("H.264/AVC"), ".mp4", &faulty),
                  msg::kCannotSaveMovie);
        EXPECT_LE(progress.steps.size(), 4u) << "no frame after the fault waits";
        EXPECT_FALSE(QFileInfo::exists(MoviePath(QString::fromLatin1(name))));
        EXPECT_FALSE(faulty.ErrorDetail().isEmpty());
    }
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Lets this process write files of at most `bytes` bytes while it lives: a
// write beyond fails as on a full disk. Each test runs in its own process.
class CFileSizeLimit {
  public:
    explicit CFileSizeLimit(rlim_t bytes) {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit limit{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_); }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

  private:
    rlimit saved_{};
};

TEST_F(MovieWriterTest, AFullDiskLeavesTheOldMovieByteForByte) {
    TenFrames();
    const QString path = MoviePath(QStringLiteral("film.avi"));
    const QRect frame(0, 0, 320, 240);  // 10 frames: over 2 MB uncompressed
    ASSERT_EQ(writer.WriteMovie(path, ".avi", "none", frame, 0, progress), kOk);
    const QByteArray old = Contents(path);
    ASSERT_GT(old.size(), 2'000'000);
    {
        CFileSizeLimit full(256 * 1024);
        EXPECT_EQ(writer.WriteMovie(path, ".avi", "none", frame, 0, progress),
                  msg::kCannotSaveMovie);
    }
    EXPECT_EQ(Contents(path), old);
    EXPECT_EQ(QDir(movies).entryList(QDir::Files | QDir::Hidden), QStringList{"film.avi"})
        << "no temporary is left";
    EXPECT_FALSE(progress.open);
}

// While a movie is written its name shows nothing new: the frames go into a
// hidden file of the same folder, which takes the name at the end.
TEST_F(MovieWriterTest, TheMovieTakesItsNameOnlyWhenComplete) {
    TenFrames();
    const QString path = MoviePath(QStringLiteral("film.mp4"));
    test::WriteBytes(path, QByteArray("the old movie"));
    QStringList seenWhileWriting;
    progress.onStep = [&] {
        if (seenWhileWriting.isEmpty())
            seenWhileWriting = QDir(movies).entryList(QDir::Files | QDir::Hidden);
    };
    ASSERT_EQ(Write(QStringLiteral("film.mp4"), QStringLiteral("H.264/AVC")), kOk);
    ASSERT_EQ(seenWhileWriting.size(), 2);
    EXPECT_EQ(seenWhileWriting[1], QStringLiteral("film.mp4"));
    EXPECT_TRUE(seenWhileWriting[0].startsWith(QStringLiteral(".film.mp4.part-")));
    EXPECT_EQ(DecodeMovie(path).frames.size(), 10u);
    EXPECT_EQ(QDir(movies).entryList(QDir::Files | QDir::Hidden), QStringList{"film.mp4"});

    // "abort" keeps the old movie as it was.
    test::WriteBytes(path, QByteArray("the old movie"));
    progress = {};
    progress.atStep = 3;
    progress.answer = IProgress::kAbort;
    EXPECT_EQ(Write(QStringLiteral("film.mp4"), QStringLiteral("H.264/AVC")), msg::kMovieAborted);
    EXPECT_EQ(Contents(path), QByteArray("the old movie"));
    EXPECT_EQ(QDir(movies).entryList(QDir::Files | QDir::Hidden), QStringList{"film.mp4"});
}

TEST_F(MovieWriterTest, APictureThatCannotBeLoadedFailsTheMovie) {
    CNode* red = scene.Image(QStringLiteral("red"), kRed);
    CNode* gone = scene.Image(QStringLiteral("gone"), kBlue);
    scene.Column({red, gone, red});
    scene.Finish();
    ASSERT_TRUE(QFile::remove(gone->imageInfo->path));
    EXPECT_EQ(Write(QStringLiteral("gone.avi"), QStringLiteral("none")), kFail);
    EXPECT_FALSE(QFileInfo::exists(MoviePath(QStringLiteral("gone.avi"))));
    EXPECT_EQ(progress.steps, std::vector<int>{1});
    EXPECT_EQ(renderer.ends, 1);
}

TEST_F(MovieWriterTest, DrawsFullSizeTexturesAndLoadsAReducedPictureOnce) {
    CNode* full = scene.Image(QStringLiteral("full"), kRed, QSize(64, 48));
    full->texture = QImage(64, 48, QImage::Format_RGB32);
    full->texture.fill(kRed);
    full->imageInfo->imageWidth = 64;
    full->imageInfo->imageHeight = 48;
    CNode* reduced = scene.Image(QStringLiteral("reduced"), kBlue, QSize(64, 48));
    reduced->texture = QImage(16, 12, QImage::Format_RGB32);
    reduced->imageInfo->imageWidth = 64;
    reduced->imageInfo->imageHeight = 48;
    scene.Column(std::vector<CNode*>(6, full));
    scene.Column({reduced, reduced, reduced, full, reduced, reduced});
    scene.Finish();
    ASSERT_EQ(Write(QStringLiteral("textures.avi"), QStringLiteral("none")), kOk);
    EXPECT_EQ(renderer.loads, 1) << "the reduced picture is loaded once for its column";
    EXPECT_EQ(renderer.draws, renderer.directDraws) << "reloads are drawn at full size too";
    EXPECT_EQ(renderer.draws, 2 + 2 + 2) << "frames 1, 2 and 5 are frames 0 and 4 again";
}

TEST_F(MovieWriterTest, ASecondMovieCannotOpenWhileOneIsOpen) {
    TenFrames(2);
    ASSERT_EQ(writer.OpenMovie(MoviePath(QStringLiteral("one.avi")), QStringLiteral("none"),
                               QRect(QPoint(0, 0), kFrameSize), 0),
              kOk);
    EXPECT_EQ(writer.OpenMovie(MoviePath(QStringLiteral("two.avi")), QStringLiteral("none"),
                               QRect(QPoint(0, 0), kFrameSize), 0),
              msg::kMovieGraphFailed);
    EXPECT_EQ(writer.CloseMovie(false), kOk);
    EXPECT_FALSE(QFileInfo::exists(MoviePath(QStringLiteral("two.avi"))));
}

}  // namespace
}  // namespace kolvane

namespace kolvane {
namespace {

// The movie grows under a hidden name; the old movie of the name stays
// until the new one is whole, and a movie given up leaves nothing behind.
TEST_F(MovieWriterTest, AMovieTakesItsNameOnlyWhenWhole) {
    TenFrames();
    const QString path = MoviePath(QStringLiteral("take.avi"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the previous movie");
    }
    progress.atStep = 3;
    progress.answer = IProgress::kAbort;
    EXPECT_EQ(Write(QStringLiteral("take.avi"), QStringLiteral("none")), msg::kMovieAborted);
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("the previous movie"));
    kept.close();
    EXPECT_EQ(QDir(movies).entryList(QDir::Files | QDir::Hidden), QStringList{"take.avi"})
        << "no temporary left";

    progress = {};
    ASSERT_EQ(Write(QStringLiteral("take.avi"), QStringLiteral("none")), kOk);
    EXPECT_EQ(DecodeMovie(path).frames.size(), 10u);
    EXPECT_EQ(QDir(movies).entryList(QDir::Files | QDir::Hidden), QStringList{"take.avi"});
}

}  // namespace
}  // namespace kolvane

namespace kolvane {
namespace {

// One movie writer with its own scene, for comparing two movies.
struct SceneExport {
    explicit SceneExport(std::span<const MovieReduction> reductions = DefaultReductions())
        : writer(scene.settings, scene.sheet, renderer, sound, reductions) {
        writer.SetLineHeight(12);
    }
    Result Write(const QString& path, const QString& codec) {
        return writer.WriteMovie(path, ".avi", codec, QRect(QPoint(0, 0), kFrameSize), 0, progress);
    }

    test::CTestScene scene;
    test::CImageRenderer renderer;
    test::CConstantSound sound{scene.settings};
    test::CScriptedProgress progress;
    CMovieWriter writer;
};

// A held background under a layer on twos, with a gap: once with the items
// held across frames (the writer may reuse a frame), once with a new item
// for every cell (it must compose every frame).
void OnTwos(SceneExport& out, bool held) {
    const QRgb background = qRgb(255, 255, 0);
    const QRgb layer[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(255, 255, 255), qRgb(0, 0, 255)};
    std::vector<CNode*> back, front;
    CNode* heldBack = out.scene.Image(QStringLiteral("back"), background);
    for (int f = 0; f < 8; ++f) {
        const QString name = QStringLiteral("f%1").arg(f);
        back.push_back(held ? heldBack : out.scene.Image("back " + name, background));
        if (f / 2 == 2) {
            front.push_back(nullptr);
        } else if (held && f % 2 == 1) {
            front.push_back(front.back());
        } else {
            front.push_back(out.scene.Image("layer " + name, layer[f / 2]));
        }
    }
    out.scene.Column(back);
    out.scene.Column(front);
    out.scene.Finish();
}

TEST(MovieFrameReuse, AReusedFrameIsTheFrameComposedAnew) {
    struct Case {
        const char* name;
        bool counter;
        bool intruder;    // something else draws into the frame between frames
        bool directRead;  // the frame is converted where it is, not read back first
        int draws;        // layers drawn for the held scene (14 when every frame is composed)
    };
    const Case cases[] = {
        {"no counter", false, false, true, 7},
        {"counter", true, false, true, 7},
        {"counter, read back", true, false, false, 7},
        {"counter, frame drawn into meanwhile", true, true, true, 14},
        {"no counter, frame drawn into meanwhile", false, true, true, 7},
    };
    const QString folder = test::MakeTempDir(QStringLiteral("movies"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SceneExport held(kLosslessI420), fresh(kLosslessI420);
        OnTwos(held, true);
        OnTwos(fresh, false);
        for (SceneExport* out : {&held, &fresh})
            out->scene.settings.Set(Overlay, c.counter ? 1 : 0);
        held.renderer.directRead = c.directRead;
        if (c.intruder) {
            held.progress.onStep = [&held] {
                held.renderer.Clear(QRect(0, 0, 20, 20), qRgb(255, 0, 255));
            };
        }
        ASSERT_EQ(held.Write(folder + "/held.avi", "I420"), kOk)
            << held.writer.ErrorDetail().toStdString();
        ASSERT_EQ(fresh.Write(folder + "/fresh.avi", "I420"), kOk);
        EXPECT_EQ(held.renderer.draws, c.draws);
        EXPECT_EQ(fresh.renderer.draws, 14);

        const test::DecodedMovie a = DecodeMovie(folder + "/held.avi");
        const test::DecodedMovie b = DecodeMovie(folder + "/fresh.avi");
        ASSERT_EQ(a.frames.size(), 8u);
        ASSERT_EQ(b.frames.size(), 8u);
        for (int f = 0; f < 8; ++f)
            EXPECT_TRUE(a.frames[f] == b.frames[f]) << "frame " << f;
        EXPECT_EQ(a.sound, b.sound);
        // Not two movies alike by accident: the layers and the counter show.
        EXPECT_TRUE(IsNear(a.frames[1].pixel(4, 4), qRgb(255, 0, 0), 8));
        EXPECT_TRUE(IsNear(a.frames[5].pixel(4, 4), qRgb(255, 255, 0), 8));
        EXPECT_TRUE(IsNear(a.frames[7].pixel(4, 4), qRgb(0, 0, 0), 8));
        if (c.counter) {
            EXPECT_NE(a.frames[0].copy(34, 30, 24, 12), a.frames[1].copy(34, 30, 24, 12));
        }
    }
}

TEST(MovieReadAhead, EveryFrameShowsItsOwnPicturesWhateverOrderDecodesFinishIn) {
    SceneExport out;
    out.renderer.decodeDelayMs = 15;
    const QRgb colours[] = {qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(0, 0, 255),
                            qRgb(255, 255, 0), qRgb(255, 0, 255), qRgb(255, 255, 255)};
    const QRgb overs[] = {qRgb(255, 255, 255), qRgb(255, 255, 0), qRgb(0, 255, 255)};
    std::vector<CNode*> under, over;
    for (int i = 0; i < 6; ++i)
        under.push_back(out.scene.Image(QStringLiteral("u%1").arg(i), colours[i]));
    for (int i = 0; i < 3; ++i)
        over.push_back(out.scene.Image(QStringLiteral("o%1").arg(i), overs[i]));
    // Held, changed, back again, gaps; the top layer changes on its own beat.
    const int picks[] = {0, 0, 1, 2, 2, 2, 3, 1, 1, 4, 0, 5, 5, 3, 3, 3, 2, 0, 1, 4};
    const int tops[] = {0, 1, -1, 1, 1, 2, 2, 2, 0, -1, -1, 0, 1, 2, 0, 0, 1, 1, -1, 2};
    std::vector<CNode*> bottom, top;
    int expectedLoads = 0;
    int lastBottom = -1, lastTop = -1;
    for (std::size_t f = 0; f < std::size(picks); ++f) {
        bottom.push_back(under[picks[f]]);
        top.push_back(tops[f] < 0 ? nullptr : over[tops[f]]);
        // A column's picture is decoded once each time it changes.
        if (picks[f] != lastBottom) ++expectedLoads;
        if (tops[f] >= 0 && tops[f] != lastTop) ++expectedLoads;
        lastBottom = picks[f];
        if (tops[f] >= 0) lastTop = tops[f];
    }
    out.scene.Column(bottom);
    out.scene.Column(top);
    out.scene.Finish();
    const QString path = test::MakeTempDir(QStringLiteral("movies")) + "/ahead.avi";
    ASSERT_EQ(out.Write(path, "none"), kOk) << out.writer.ErrorDetail().toStdString();
    EXPECT_EQ(out.renderer.loads, expectedLoads);

    const test::DecodedMovie movie = DecodeMovie(path);
    ASSERT_EQ(movie.frames.size(), std::size(picks));
    for (std::size_t f = 0; f < std::size(picks); ++f) {
        const QRgb expected = tops[f] < 0 ? colours[picks[f]] | 0xFF000000u
                                          : Multiplied(colours[picks[f]], overs[tops[f]]);
        EXPECT_EQ(movie.frames[f].pixel(32, 24), expected) << "frame " << f;
    }
}

// A smooth picture of the frame's size as a JPEG of `subsampling` (sharp
// edges would differ by chroma placement alone).
QString WriteJpeg(const QString& path, int seed, int subsampling = TJSAMP_420) {
    QImage image(kFrameSize, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(40 + 2 * x + 10 * seed, 30 + 3 * y + 15 * seed, 128));
    }
    tjhandle handle = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(handle, image.constBits(), image.width(),
                          static_cast<int>(image.bytesPerLine()), image.height(), TJPF_BGRX, &bytes,
                          &size, subsampling, 95, 0),
              0);
    tjDestroy(handle);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(size));
    tjFree(bytes);
    return path;
}

// An item whose size the view's loader has found already.
CNode* SizedItem(test::CTestScene& scene, const QString& path) {
    CNode* item = scene.media.AddMediaFile(kTypeImage, path);
    item->imageInfo->imageWidth = kFrameSize.width();
    item->imageInfo->imageHeight = kFrameSize.height();
    return item;
}

TEST(MovieReadAhead, APictureThatCannotBeReadFailsTheMovieAtItsFrame) {
    for (const bool jpeg : {false, true}) {  // drawn, or decoded straight into the frame
        for (const int broken : {1, 9}) {
            SCOPED_TRACE(testing::Message() << (jpeg ? "jpeg " : "png ") << broken);
            SceneExport out(kLosslessI420);
            std::vector<CNode*> cells;
            for (int f = 0; f < 12; ++f) {
                const QString name = QStringLiteral("p%1").arg(f);
                cells.push_back(
                    jpeg
                        ? SizedItem(out.scene, WriteJpeg(out.scene.folder + "/" + name + ".jpg", f))
                        : out.scene.Image(name, qRgb(0, 0, 255)));
            }
            out.scene.Column(cells);
            out.scene.Finish();
            ASSERT_TRUE(QFile::remove(cells[broken]->imageInfo->path));
            const QString path = test::MakeTempDir(QStringLiteral("movies")) + "/broken.avi";
            EXPECT_EQ(out.Write(path, "I420"), kFail);
            EXPECT_TRUE(out.writer.ErrorDetail().contains(cells[broken]->imageInfo->path));
            std::vector<int> written(broken);
            std::iota(written.begin(), written.end(), 1);
            EXPECT_EQ(out.progress.steps, written) << "every frame before it was written";
            EXPECT_FALSE(QFileInfo::exists(path));
            EXPECT_EQ(out.renderer.ends, 1);
            if (jpeg) {
                EXPECT_GT(out.renderer.directDecodes, 0);
            }
        }
    }
}

// A JPEG alone at the frame's size goes into the I420 frame without RGB;
// anything else (another file type, 4:4:4) is drawn, and after one JPEG the
// direct path cannot take, the rest is drawn too.
TEST(MovieDirectFrames, ASingleJpegOfTheFramesSizeLooksAsWhenDrawn) {
    std::vector<QImage> frames[2];
    int draws[2] = {};
    for (const bool direct : {true, false}) {
        SceneExport out(kLosslessI420);
        out.renderer.direct = direct;
        const QString folder = out.scene.folder;
        CNode* a = SizedItem(out.scene, WriteJpeg(folder + "/a.jpg", 1));
        CNode* b = SizedItem(out.scene, WriteJpeg(folder + "/b.JPEG", 2));
        CNode* png = out.scene.Image(QStringLiteral("png"), qRgb(0, 0, 255), kFrameSize);
        png->imageInfo->imageWidth = kFrameSize.width();
        png->imageInfo->imageHeight = kFrameSize.height();
        CNode* full = SizedItem(out.scene, WriteJpeg(folder + "/full.jpg", 3, TJSAMP_444));
        out.scene.Column({a, a, b, png, b, full, a});
        out.scene.Finish();
        const QString path = test::MakeTempDir(QStringLiteral("movies")) + "/direct.avi";
        ASSERT_EQ(out.Write(path, "I420"), kOk) << out.writer.ErrorDetail().toStdString();
        frames[direct ? 0 : 1] = DecodeMovie(path).frames;
        draws[direct ? 0 : 1] = out.renderer.draws;
    }
    EXPECT_EQ(draws[0], 3) << "the PNG, the 4:4:4 JPEG and what follows it";
    EXPECT_EQ(draws[1], 6) << "every frame but the repeat";
    ASSERT_EQ(frames[0].size(), 7u);
    ASSERT_EQ(frames[1].size(), 7u);
    for (int f = 0; f < 7; ++f) {
        SCOPED_TRACE(f);
        int worst = 0;
        for (int y = 0; y < kFrameSize.height(); ++y) {
            for (int x = 0; x < kFrameSize.width(); ++x) {
                const QRgb p = frames[0][f].pixel(x, y);
                const QRgb q = frames[1][f].pixel(x, y);
                worst = std::max({worst, std::abs(qRed(p) - qRed(q)),
                                  std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            }
        }
        EXPECT_LE(worst, 6);
    }
    EXPECT_TRUE(frames[0][0] == frames[0][1]) << "a repeat is the same frame";
    EXPECT_TRUE(IsNear(frames[0][3].pixel(10, 10), qRgb(0, 0, 255), 8));
}

}  // namespace
}  // namespace kolvane
