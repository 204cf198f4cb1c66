#include <algorithm>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "model/MediaInfo.h"
#include "player/PlayAhead.h"
#include "tests/player/fixtures/PlayFixtures.h"

namespace kolvane {
namespace {

using Frames = std::vector<int>;

TEST(PlayAheadTest, FramesAheadFollowThePlayOrder) {
    struct Case {
        const char* name;
        PlayAheadState state;
        int count;
        Frames expected;
    };
    const Case cases[] = {
        {"forwards", {3, 9, false, {}}, 4, {4, 5, 6, 7}},
        {"a loop comes round to frame 0", {8, 9, false, {}}, 4, {9, 0, 1, 2}},
        {"backwards comes round to the last", {1, 9, true, {}}, 4, {0, 9, 8, 7}},
        {"play once stops at its end", {6, 9, false, 8}, 5, {7, 8}},
        {"play once at its end reads nothing", {8, 9, false, 8}, 5, {}},
        {"never more than one pass", {1, 2, false, {}}, 25, {2, 0, 1}},
        {"an empty sheet", {0, -1, false, {}}, 5, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FramesAhead(c.state, c.count), c.expected) << c.name;
}

// A ten-frame column whose pictures are files (no texture yet), played with a
// budget of four textures: the run takes its pictures from the workers. The
// decoder's record outlives the rig, as the workers may.
struct DecodeRecord {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::shared_future<void> gate;  // frames from `gatedFrom` on wait for it
    int gatedFrom = 10;
};

class ReadAheadRig : public test::CPlayRig {
  public:
    explicit ReadAheadRig(std::shared_future<void> gate = {}, int gatedFrom = 10) {
        record->gate = std::move(gate);
        record->gatedFrom = gatedFrom;
        walk = AddImageColumn(QStringLiteral("walk"), 10);
        for (int k = 0; k < 10; ++k) {
            CNode* item = walk->children->at(k)->item;
            QImage picture(64, 48, QImage::Format_RGB32);
            picture.fill(test::FrameColour(k));
            EXPECT_TRUE(picture.save(item->imageInfo->path, "PNG"));
            item->texture = QImage();
        }
        Settle();
        CImageLoader& loader = display.Loader();
        loader.SetWorkerCount(2);
        loader.SetCacheBudget(4 * 64 * 48 * 4);
        loader.SetDecoder([record = record](const QString& path, const RenderTarget& target) {
            {
                std::lock_guard lock(record->mutex);
                record->threads.insert(std::this_thread::get_id());
            }
            // "walk 0001.png" is frame 0.
            const int frame = path.section(u' ', -1).left(4).toInt() - 1;
            if (frame >= record->gatedFrom && record->gate.valid()) record->gate.wait();
            return DecodeImage(path, target);
        });
    }

    bool ReadAheadDone() {
        return QTest::qWaitFor([&] { return display.Loader().JobsFinished(); }, 10000);
    }

    CNode& Item(int frame) const { return *walk->children->at(frame)->item; }
    // The frames whose pictures the workers are asked for now.
    Frames Asked() {
        Frames frames;
        for (int k = 0; k < 10; ++k) {
            if (display.Loader().HasJob(Item(k))) frames.push_back(k);
        }
        return frames;
    }
    // Of `ahead`, soonest first, those that are still to be read.
    Frames Unread(const Frames& ahead) const {
        Frames frames;
        for (int k : ahead) {
            if (Item(k).texture.isNull()) frames.push_back(k);
        }
        std::sort(frames.begin(), frames.end());
        return frames;
    }
    bool DecodedOnThisThread() {
        std::lock_guard lock(record->mutex);
        return record->threads.contains(std::this_thread::get_id());
    }

    CNode* walk = nullptr;
    std::shared_ptr<DecodeRecord> record = std::make_shared<DecodeRecord>();
};

TEST(PlayAheadTest, APlayerBeyondItsBudgetGetsItsPicturesFromTheWorkers) {
    ReadAheadRig rig;
    rig.engine->GoToFrame(0);
    rig.engine->TogglePlay();
    rig.view.TakeFrames();
    Frames shown;
    for (int tick = 0; tick < 25; ++tick) {
        ASSERT_TRUE(rig.ReadAheadDone());
        rig.Tick();
        const PictureCacheStatistics stats = rig.display.CacheStatistics();
        EXPECT_LE(stats.bytes, stats.budget + 64 * 48 * 4);
        for (int frame : rig.view.TakeFrames())
            shown.push_back(frame);
    }
    Frames expected;
    for (int tick = 1; tick <= 25; ++tick)
        expected.push_back(tick % 10);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(rig.engine->Statistics().skippedFrames, 0u);
    EXPECT_FALSE(rig.record->threads.contains(std::this_thread::get_id()));
    const PictureCacheStatistics stats = rig.display.CacheStatistics();
    EXPECT_GT(stats.hits, 0u);
    EXPECT_LE(stats.textures, 5);
    rig.engine->StopPlayback();
}

TEST(PlayAheadTest, APictureStillDecodingMakesItsFrameLateWithoutBlocking) {
    std::promise<void> open;
    ReadAheadRig rig(open.get_future().share(), 4);
    rig.engine->GoToFrame(0);
    rig.engine->TogglePlay();  // frames 0 to 3 are loaded at the start
    rig.view.TakeFrames();
    rig.Ticks(3);
    EXPECT_EQ(rig.view.TakeFrames(), Frames({1, 2, 3}));
    rig.Ticks(3);  // frames 4 to 6 are still decoding: dropped, and counted
    EXPECT_EQ(rig.view.TakeFrames(), Frames());
    EXPECT_EQ(rig.Current(), 6);
    EXPECT_EQ(rig.engine->Statistics().skippedFrames, 3u);
    open.set_value();
    ASSERT_TRUE(rig.ReadAheadDone());
    rig.Tick();
    EXPECT_EQ(rig.view.TakeFrames(), Frames({7}));
    rig.engine->StopPlayback();
}

// The budget holds four pictures: the one shown and those of the next three
// frames in the direction the current frame moved, stepping or jumping, are
// the ones the workers are asked for.
TEST(PlayAheadTest, AStoppedPlayerReadsAheadInTheDirectionItMoves) {
    ReadAheadRig rig;
    struct Move {
        const char* what;
        void (*move)(CPlayEngine&);
        int shown;
        Frames ahead;
    };
    const Move moves[] = {
        {"a jump on", [](CPlayEngine& e) { e.GoToFrame(5); }, 5, {6, 7, 8}},
        {"a step forward", [](CPlayEngine& e) { e.StepForward(); }, 6, {7, 8, 9}},
        {"a step back", [](CPlayEngine& e) { e.StepBack(); }, 5, {4, 3, 2}},
        {"a step back", [](CPlayEngine& e) { e.StepBack(); }, 4, {3, 2, 1}},
        // A jump back before frame 0 comes round to the last frame.
        {"a jump back before frame 0", [](CPlayEngine& e) { e.GoToFrame(-2u); }, 9, {8, 7, 6}},
        {"a step forward round the end", [](CPlayEngine& e) { e.StepForward(); }, 0, {1, 2, 3}},
    };
    for (const Move& m : moves) {
        m.move(*rig.engine);
        EXPECT_EQ(rig.Current(), m.shown) << m.what;
        EXPECT_EQ(rig.view.LastCentre(), test::FrameColour(m.shown)) << m.what;
        EXPECT_FALSE(rig.Item(m.shown).texture.isNull()) << m.what;
        EXPECT_FALSE(rig.Unread(m.ahead).empty()) << m.what;
        EXPECT_EQ(rig.Asked(), rig.Unread(m.ahead)) << m.what;
        ASSERT_TRUE(rig.ReadAheadDone()) << m.what;
    }
    EXPECT_FALSE(rig.DecodedOnThisThread());
}

// Moving the current frame elsewhere (the editor) reads ahead the same way.
TEST(PlayAheadTest, TheEditorMovingTheFrameReadsAheadInItsDirection) {
    ReadAheadRig rig;
    rig.view.shown = false;
    rig.sheet.SetCurrentFrame(3);
    rig.engine->CurrentFrameMoved(2);
    EXPECT_EQ(rig.Asked(), Frames({3, 4, 5, 6}));  // the current frame's picture too
    rig.sheet.SetCurrentFrame(2);
    rig.engine->CurrentFrameMoved(3);
    EXPECT_EQ(rig.Asked(), Frames({0, 1, 2, 9}));
    rig.engine->CurrentFrameMoved(2);  // not moved
    EXPECT_EQ(rig.Asked(), Frames({0, 1, 2, 9}));
    ASSERT_TRUE(rig.ReadAheadDone());
    EXPECT_FALSE(rig.DecodedOnThisThread());
}

// During a run the workers are asked for what comes next in the run's own
// order: round the loop, backwards, and never past a once-run's end.
TEST(PlayAheadTest, ARunReadsAheadInItsPlayOrder) {
    struct Case {
        const char* what;
        void (*start)(test::CPlayRig&);
        int shown;  // after one tick
        Frames ahead;
    };
    const Case cases[] = {
        {"a loop comes round",
         [](test::CPlayRig& r) {
             r.engine->GoToFrame(7);
             r.engine->TogglePlay();
         },
         8,
         {9, 0, 1}},
        {"backwards",
         [](test::CPlayRig& r) {
             r.engine->GoToFrame(2);
             r.engine->ToggleBackwards();
         },
         1,
         {0, 9, 8}},
        {"play once ends at its end frame",
         [](test::CPlayRig& r) {
             r.settings.Set(PlayOnce, 2);
             r.sheet.SetCurrentFrame(7);  // the editor's frame is the end
             r.engine->PlayOnce(cmd::kViewEditor);
         },
         6,
         {7}},
    };
    for (const Case& c : cases) {
        ReadAheadRig rig;
        c.start(rig);
        ASSERT_TRUE(rig.engine->IsPlaying()) << c.what;
        ASSERT_TRUE(rig.ReadAheadDone()) << c.what;
        rig.Tick();
        EXPECT_EQ(rig.Current(), c.shown) << c.what;
        EXPECT_EQ(rig.Asked(), rig.Unread(c.ahead)) << c.what;
        rig.engine->StopPlayback();
        ASSERT_TRUE(rig.ReadAheadDone()) << c.what;
    }
}

// Frames stepped to with a budget of four pictures and read-ahead are the
// frames stepped to with every picture kept.
TEST(PlayAheadTest, ReadingAheadDoesNotChangeWhatIsDrawn) {
    const auto steps = [](test::CPlayRig& rig) {
        std::vector<QByteArray> frames;
        const auto keep = [&] {
            QByteArray bytes(64 * 48 * 4, 0);
            EXPECT_EQ(rig.display.ReadFrame({reinterpret_cast<std::uint8_t*>(bytes.data()),
                                             static_cast<std::size_t>(bytes.size())},
                                            false),
                      kOk);
            frames.push_back(bytes);
        };
        rig.engine->GoToFrame(3);
        keep();
        for (int i = 0; i < 8; ++i) {
            rig.engine->StepForward();
            keep();
        }
        for (int i = 0; i < 12; ++i) {
            rig.engine->StepBack();
            keep();
        }
        rig.engine->GoToFrame(-3u);
        keep();
        return frames;
    };
    ReadAheadRig small;
    ReadAheadRig kept;
    kept.display.Loader().SetCacheBudget(std::int64_t{1} << 30);
    kept.display.LoadPendingImages(true);
    const auto drawn = steps(small);
    const auto expected = steps(kept);
    ASSERT_EQ(drawn.size(), expected.size());
    for (std::size_t i = 0; i < drawn.size(); ++i)
        EXPECT_TRUE(drawn[i] == expected[i]) << "step " << i;
    ASSERT_TRUE(small.ReadAheadDone());
}

}  // namespace
}  // namespace kolvane
