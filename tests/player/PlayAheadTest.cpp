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

}  // namespace
}  // namespace kolvane
