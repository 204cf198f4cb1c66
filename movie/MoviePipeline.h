#pragma once

#include <gst/gst.h>

#include <span>
#include <string>

#include <QString>

#include "filters/feddick/IFeddick.h"
#include "platform/GstPtr.h"
#include "platform/ResultCodes.h"

namespace kolvane {

class IEncoderPages;

// How a reduction text of the movie dialog maps onto GStreamer: the video
// chain between the movie source and the muxer, in gst-launch syntax, with
// its encoder named "encoder".
struct MovieReduction {
    const char* name;     // the dialog's reduction text
    const char* encoder;  // the factory that must be installed; none: never available
    const char* chain;    // empty: the source's BGR frames go to the muxer as they are
    bool mp4;             // the chain's output plays from an MP4 file
};

// The reductions of this platform: "none", "YUV 422", "DV Video",
// "Cinepak", "MS Video", "MS WMV9" (never available), "H.264/AVC",
// "FFDShow".
std::span<const MovieReduction> DefaultReductions();
const MovieReduction* FindReduction(std::span<const MovieReduction> reductions,
                                    const QString& name);
// True when every element the reduction needs is installed.
bool IsReductionAvailable(const MovieReduction& reduction);

enum class MovieContainer { kAvi, kMp4 };

// The container a movie path asks for by its extension (".avi" or ".mp4",
// case ignored); none for any other path.
std::optional<MovieContainer> ContainerOfPath(const QString& path);

// The movie-writing pipeline: feddick, the reduction's video chain, for MP4
// an AAC encoder on the sound, the muxer and a file sink. Errors on the bus
// cancel the source at once, so that a put never waits for a dead pipeline.
class CMoviePipeline {
  public:
    explicit CMoviePipeline(std::span<const MovieReduction> reductions = DefaultReductions());
    ~CMoviePipeline();
    CMoviePipeline(const CMoviePipeline&) = delete;
    CMoviePipeline& operator=(const CMoviePipeline&) = delete;

    // Builds the pipeline for `path` and starts it. 0, or 60106 (no movie
    // source), 60108 (the pipeline cannot be built or linked), 60111 (the
    // reduction's encoder or the AAC encoder is missing), 60124 (the file
    // cannot be written).
    Result Open(const QString& path, MovieContainer container, const QString& reduction,
                const FeddickVideoFormat& video, const FeddickAudioFormat& audio,
                IEncoderPages* pages = nullptr);
    bool IsOpen() const { return pipeline_ != nullptr; }
    // The movie source; valid while open.
    IFeddick& Source() { return *source_; }

    // True once an error was posted; waits up to `wait` for a first one.
    bool Failed(GstClockTime wait = 0);
    // Ends both streams and waits until the muxer has written the whole file
    // (an MP4 gets its index), then tears down. 0, or 60124 when an error
    // came first or the pipeline stalled.
    Result Finish();
    // Tears down at once; the file is left as it is.
    void Stop();

    // A line for a log or a terminal about the last error, empty without.
    const QString& ErrorDetail() const { return errorDetail_; }
    // How long Finish waits without any progress of the file before it
    // gives up.
    void SetStallLimit(int milliseconds) { stallLimitMs_ = milliseconds; }

  private:
    Result Build(const QString& path, MovieContainer container, const MovieReduction& reduction,
                 const FeddickVideoFormat& video, IEncoderPages* pages);
    GstElement* MakeVideoChain(const MovieReduction& reduction, const FeddickVideoFormat& video,
                               Result* result);
    void TakeError(GstMessage* message);
    void Drain();
    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    std::span<const MovieReduction> reductions_;
    GstElementPtr pipeline_;
    GstBusPtr bus_;
    IFeddick* source_ = nullptr;
    QString path_;
    QString errorDetail_;
    bool failed_ = false;
    int stallLimitMs_ = 30000;
};

}  // namespace kolvane
