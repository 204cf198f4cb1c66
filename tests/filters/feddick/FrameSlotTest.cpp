#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "filters/feddick/FrameSlot.h"

namespace kolvane::feddick {
namespace {

using namespace std::chrono_literals;
using Take = CFrameSlot::Take;

// An upper bound for "returns at once": only a hang takes this long.
constexpr auto kHang = 10s;

GstBuffer* Frame(guint8 tag) {
    GstBuffer* frame = gst_buffer_new_allocate(nullptr, 1, nullptr);
    gst_buffer_memset(frame, 0, tag, 1);
    return frame;
}

guint8 TagOf(GstBuffer* frame) {
    guint8 tag = 0;
    gst_buffer_extract(frame, 0, &tag, 1);
    return tag;
}

TEST(FrameSlot, HandsFramesOverInOrderAndEndsAfterTheLast) {
    CFrameSlot slot;
    slot.Open();
    std::thread producer([&] {
        for (guint8 tag = 1; tag <= 20; ++tag)
            ASSERT_TRUE(slot.Put(Frame(tag)));
        ASSERT_TRUE(slot.EndOfStream());
    });
    guint8 expected = 1;
    for (;;) {
        GstBuffer* frame = nullptr;
        const Take take = slot.Wait(&frame);
        if (take == Take::kEndOfStream) break;
        ASSERT_EQ(take, Take::kFrame);
        EXPECT_EQ(TagOf(frame), expected++);
        gst_buffer_unref(frame);
    }
    producer.join();
    EXPECT_EQ(expected, 21);
    // Once the end was asked for, frames are refused.
    EXPECT_FALSE(slot.Put(Frame(99)));
}

TEST(FrameSlot, AWaitingPutReturnsAtOnceWhenTheSlotCloses) {
    CFrameSlot slot;
    slot.Open();
    ASSERT_TRUE(slot.Put(Frame(1)));  // the slot is full now
    auto waiting = std::async(std::launch::async, [&] { return slot.Put(Frame(2)); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    slot.Close();
    ASSERT_EQ(waiting.wait_for(kHang), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    GstBuffer* frame = nullptr;
    EXPECT_EQ(slot.Wait(&frame), Take::kClosed);
}

TEST(FrameSlot, RefusesFramesUntilOpenedAndAfterClosing) {
    CFrameSlot slot;
    EXPECT_FALSE(slot.Put(Frame(1)));
    EXPECT_FALSE(slot.EndOfStream());
    EXPECT_EQ(slot.Poll(), Take::kClosed);
    slot.Open();
    EXPECT_EQ(slot.Poll(), Take::kEmpty);
    EXPECT_TRUE(slot.Put(Frame(2)));
    slot.Close();  // drops the pending frame
    EXPECT_FALSE(slot.Put(Frame(3)));
    slot.Open();  // a new run starts empty
    EXPECT_TRUE(slot.EndOfStream());
    EXPECT_EQ(slot.Poll(), Take::kEndOfStream);
}

TEST(FrameSlot, AWaitingStreamWakesForEndOfStreamAndForClosing) {
    for (bool close : {false, true}) {
        CFrameSlot slot;
        slot.Open();
        auto waiting = std::async(std::launch::async, [&] {
            GstBuffer* frame = nullptr;
            return slot.Wait(&frame);
        });
        if (close) {
            slot.Close();
        } else {
            slot.EndOfStream();
        }
        ASSERT_EQ(waiting.wait_for(kHang), std::future_status::ready);
        EXPECT_EQ(waiting.get(), close ? Take::kClosed : Take::kEndOfStream);
    }
}

}  // namespace
}  // namespace kolvane::feddick
