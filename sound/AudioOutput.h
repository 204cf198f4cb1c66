#pragma once

#include <gst/app/gstappsrc.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include <QString>

#include "platform/GstPtr.h"

namespace kolvane {

// The one GStreamer output of the program's sound:
//   appsrc ! audioconvert ! audioresample ! <sink>
// fed in 10 ms pieces of 48 kHz 16-bit stereo that `fill` produces on the
// streaming thread. Anything that does not work (a missing element, a sink
// that cannot open, a device-less fallback) leaves no output: the program is
// then silent, never stuck.
class CAudioOutput {
  public:
    using Fill = std::function<void(std::int16_t* out, int pairs)>;

    // The sink named by KOLVANE_AUDIO_SINK, else "autoaudiosink".
    static QString DefaultSinkName();

    // Builds the pipeline with the sink made by factory `sinkName` and makes
    // it ready; none when that fails or when the automatic sink finds no
    // device.
    static std::unique_ptr<CAudioOutput> Open(Fill fill, const QString& sinkName);

    ~CAudioOutput();
    CAudioOutput(const CAudioOutput&) = delete;
    CAudioOutput& operator=(const CAudioOutput&) = delete;

    // Starts pulling (once; it then runs, silent while nothing plays).
    // Returns without waiting for the sink.
    void Start();
    // False once the pipeline reported an error; the owner then drops it.
    bool Healthy();
    // Pairs handed to the pipeline so far.
    std::uint64_t PairsDelivered() const { return delivered_.load(); }

  private:
    explicit CAudioOutput(Fill fill) : fill_(std::move(fill)) {}
    static void OnNeedData(GstAppSrc* source, guint length, gpointer self);
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void PushPiece();

    Fill fill_;
    GstElementPtr pipeline_;
    GstAppSrc* source_ = nullptr;  // owned by the pipeline
    bool started_ = false;
    std::atomic<bool> failed_{false};
    std::atomic<std::uint64_t> delivered_{0};
};

}  // namespace kolvane
