#include "movie/MoviePipeline.h"

#include <QFileInfo>

#include "movie/MovieSources.h"

namespace kolvane {
namespace {

// Video chains by reduction. Encoders are told I420 or their own format
// explicitly: from BGR, videoconvert would choose 4:4:4, which most players
// cannot play.
constexpr MovieReduction kReductions[] = {
    {"none", "", "", false},
    {"YUV 422", "videoconvert", "videoconvert ! capsfilter caps=video/x-raw,format=I420", false},
    {"DV Video", "avenc_dvvideo", "", false},  // made for the frame rate, see DvChain
    {"Cinepak", "avenc_cinepak", "videoconvert ! avenc_cinepak name=encoder", false},
    {"MS Video", "avenc_msvideo1", "videoconvert ! avenc_msvideo1 name=encoder", false},
    {"MS WMV9", nullptr, "", false},
    {"H.264/AVC", "x264enc", "videoconvert ! video/x-raw,format=I420 ! x264enc name=encoder", true},
    // MPEG-4 part 2 does not make a playable MP4 file here: AVI only.
    {"FFDShow", "avenc_mpeg4", "videoconvert ! avenc_mpeg4 name=encoder", false},
};

constexpr const char* kAacEncoders[] = {"voaacenc", "avenc_aac"};
constexpr std::int64_t kTimePerFrameAt30 = 10'000'000 / 30;

// DV has two frame sizes and rates: NTSC for a 30 frames a second scene,
// PAL for any other (frames are repeated or dropped to 25 a second).
std::string DvChain(const FeddickVideoFormat& video) {
    const bool ntsc = video.averageTimePerFrame == kTimePerFrameAt30;
    if (video.width != 720 || video.height != (ntsc ? 480 : 576)) return {};
    if (ntsc) {
        return "videorate ! videoconvert ! video/x-raw,format=Y41B,framerate=30000/1001 ! "
               "capssetter caps=\"video/x-raw,pixel-aspect-ratio=(fraction)8/9\" ! "
               "avenc_dvvideo name=encoder";
    }
    return "videorate ! videoconvert ! video/x-raw,format=I420,framerate=25/1 ! "
           "capssetter caps=\"video/x-raw,pixel-aspect-ratio=(fraction)16/15\" ! "
           "avenc_dvvideo name=encoder";
}

bool IsDv(const MovieReduction& reduction) {
    return QLatin1String(reduction.name) == QLatin1String("DV Video");
}

bool FactoryExists(const char* name) {
    GstElementFactory* factory = gst_element_factory_find(name);
    if (factory == nullptr) return false;
    gst_object_unref(factory);
    return true;
}

GstCaps* TemplateCaps(GstElementFactory* factory, GstPadDirection direction,
                      const char* namePrefix) {
    GstCaps* caps = gst_caps_new_empty();
    for (const GList* item = gst_element_factory_get_static_pad_templates(factory); item != nullptr;
         item = item->next) {
        auto* padTemplate = static_cast<GstStaticPadTemplate*>(item->data);
        if (padTemplate->direction != direction ||
            !g_str_has_prefix(padTemplate->name_template, namePrefix)) {
            continue;
        }
        caps = gst_caps_merge(caps, gst_static_pad_template_get_caps(padTemplate));
    }
    return caps;
}

// An encoder is of use only when the muxer stores what it makes (no AVI
// muxer of this platform takes Cinepak or Microsoft Video 1, for one).
bool MuxerTakesOutputOf(const char* muxerName, const char* encoderName) {
    GstObjectPtr<GstElementFactory> encoder(gst_element_factory_find(encoderName));
    GstObjectPtr<GstElementFactory> muxer(gst_element_factory_find(muxerName));
    if (encoder == nullptr || muxer == nullptr) return false;
    GstCapsPtr made(TemplateCaps(encoder.get(), GST_PAD_SRC, ""));
    GstCapsPtr taken(TemplateCaps(muxer.get(), GST_PAD_SINK, "video"));
    return gst_caps_can_intersect(made.get(), taken.get());
}

const char* AacEncoder() {
    for (const char* name : kAacEncoders) {
        if (FactoryExists(name)) return name;
    }
    return nullptr;
}

GstElement* ParseBin(const std::string& description, QString* error) {
    GError* parseError = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &parseError);
    GErrorPtr owned(parseError);
    // A bin may come back together with an error (a missing element).
    if (parseError != nullptr) {
        *error = QString::fromUtf8(parseError->message);
        if (bin != nullptr) gst_object_unref(bin);
        return nullptr;
    }
    return bin;
}

}  // namespace

std::span<const MovieReduction> DefaultReductions() {
    return kReductions;
}

const MovieReduction* FindReduction(std::span<const MovieReduction> reductions,
                                    const QString& name) {
    for (const MovieReduction& reduction : reductions) {
        if (name == QLatin1String(reduction.name)) return &reduction;
    }
    return nullptr;
}

bool IsReductionAvailable(const MovieReduction& reduction) {
    if (reduction.encoder == nullptr) return false;
    if (*reduction.encoder != '\0' && !MuxerTakesOutputOf("avimux", reduction.encoder))
        return false;
    return !IsDv(reduction) || (FactoryExists("videorate") && FactoryExists("capssetter"));
}

std::optional<MovieContainer> ContainerOfPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("avi")) return MovieContainer::kAvi;
    if (suffix == QLatin1String("mp4")) return MovieContainer::kMp4;
    return std::nullopt;
}

CMoviePipeline::CMoviePipeline(std::span<const MovieReduction> reductions)
    : reductions_(reductions) {}

CMoviePipeline::~CMoviePipeline() {
    Stop();
}

Result CMoviePipeline::Open(const QString& path, MovieContainer container,
                            const QString& reductionName, const FeddickVideoFormat& video,
                            const FeddickAudioFormat& audio, IEncoderPages* pages) {
    if (IsOpen()) return msg::kMovieGraphFailed;
    errorDetail_.clear();
    failed_ = false;
    path_ = path;
    const MovieReduction* reduction = FindReduction(reductions_, reductionName);
    if (reduction == nullptr || !IsReductionAvailable(*reduction)) {
        errorDetail_ = QStringLiteral("no encoder for the reduction \"%1\"").arg(reductionName);
        return msg::kEncoderMissing;
    }

    pipeline_.reset(gst_pipeline_new("movie"));
    if (pipeline_ == nullptr) return msg::kMovieGraphFailed;
    gst_object_ref_sink(pipeline_.get());
    GstElement* source = gst_element_factory_make("feddick", "feddick");
    if (source == nullptr) {
        Stop();
        return msg::kNotCorrectlyInstalled;
    }
    gst_bin_add(GST_BIN(pipeline_.get()), source);
    source_ = QueryFeddick(source);
    if (source_ == nullptr) {
        Stop();
        return msg::kNotCorrectlyInstalled;
    }
    if (source_->SetVideoFormat(video) != kOk || source_->SetAudioFormat(audio) != kOk) {
        errorDetail_ = QStringLiteral("the movie source refused the format");
        Stop();
        return msg::kMovieGraphFailed;
    }

    Result result = Build(path, container, *reduction, video, pages);
    if (result != kOk) {
        Stop();
        return result;
    }

    bus_.reset(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(bus_.get(), &CMoviePipeline::OnBusMessage, this, nullptr);
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        result = msg::kMovieGraphFailed;
        GstMessagePtr error(gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR));
        if (error != nullptr) {
            GError* gerror = nullptr;
            gst_message_parse_error(error.get(), &gerror, nullptr);
            if (gerror != nullptr && gerror->domain == GST_RESOURCE_ERROR)
                result = msg::kCannotSaveMovie;
            g_clear_error(&gerror);
            TakeError(error.get());
        }
        Stop();
        return result;
    }
    return kOk;
}

Result CMoviePipeline::Build(const QString& path, MovieContainer container,
                             const MovieReduction& reduction, const FeddickVideoFormat& video,
                             IEncoderPages* pages) {
    GstBin* bin = GST_BIN(pipeline_.get());
    GstElement* source = gst_bin_get_by_name(bin, "feddick");
    GstElementPtr sourceRef(source);
    const bool mp4 = container == MovieContainer::kMp4;
    if (mp4 && !reduction.mp4) {
        errorDetail_ =
            QStringLiteral("the reduction \"%1\" cannot go into an MP4 file").arg(reduction.name);
        return msg::kMovieGraphFailed;
    }

    Result result = kOk;
    GstElement* videoChain = MakeVideoChain(reduction, video, &result);
    if (result != kOk) return result;
    if (videoChain != nullptr) gst_bin_add(bin, videoChain);

    GstElement* audioChain = nullptr;
    if (mp4) {
        const char* aac = AacEncoder();
        if (aac == nullptr) {
            errorDetail_ = QStringLiteral("no AAC encoder is installed");
            return msg::kEncoderMissing;
        }
        audioChain =
            ParseBin(std::string("audioconvert ! ") + aac + " name=audio-encoder", &errorDetail_);
        if (audioChain == nullptr) return msg::kEncoderMissing;
        gst_bin_add(bin, audioChain);
    }

    // The muxers interleave by time and avimux wants the sound half a second
    // ahead of the picture, while the writer puts both in step and encoders
    // hold pictures back: each stream gets a queue before the muxer. The
    // sound queue is unbounded (the writer never puts sound far ahead of the
    // picture); the picture queue holds up to two seconds.
    GstElement* videoQueue = gst_element_factory_make("queue", "video-queue");
    GstElement* audioQueue = gst_element_factory_make("queue", "audio-queue");
    if (videoQueue == nullptr || audioQueue == nullptr) return msg::kMovieGraphFailed;
    g_object_set(videoQueue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 static_cast<guint64>(2 * GST_SECOND), nullptr);
    g_object_set(audioQueue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 static_cast<guint64>(0), nullptr);
    gst_bin_add_many(bin, videoQueue, audioQueue, nullptr);

    GstElement* muxer = gst_element_factory_make(mp4 ? "mp4mux" : "avimux", "muxer");
    if (muxer == nullptr) return mp4 ? msg::kEncoderMissing : msg::kMovieGraphFailed;
    gst_bin_add(bin, muxer);
    GstElement* sink = gst_element_factory_make("filesink", "file-writer");
    if (sink == nullptr) return msg::kCannotSaveMovie;
    g_object_set(sink, "location", QFile::encodeName(path).constData(), nullptr);
    gst_bin_add(bin, sink);

    if (pages != nullptr && videoChain != nullptr &&
        QLatin1String(reduction.name) == QLatin1String("FFDShow")) {
        GstElementPtr encoder(gst_bin_get_by_name(GST_BIN(videoChain), "encoder"));
        if (encoder != nullptr) {
            GstElementFactory* factory = gst_element_get_factory(encoder.get());
            const gchar* title = factory != nullptr ? gst_element_factory_get_metadata(
                                                          factory, GST_ELEMENT_METADATA_LONGNAME)
                                                    : nullptr;
            pages->Show(encoder.get(),
                        QString::fromUtf8(title != nullptr ? title : reduction.encoder));
        }
    }

    const bool videoLinked = videoChain != nullptr
                                 ? gst_element_link_pads(source, "video", videoChain, "sink") &&
                                       gst_element_link(videoChain, videoQueue)
                                 : gst_element_link_pads(source, "video", videoQueue, "sink");
    const bool audioLinked = audioChain != nullptr
                                 ? gst_element_link_pads(source, "audio", audioChain, "sink") &&
                                       gst_element_link(audioChain, audioQueue)
                                 : gst_element_link_pads(source, "audio", audioQueue, "sink");
    const bool linked = videoLinked && audioLinked &&
                        gst_element_link_pads(videoQueue, "src", muxer, "video_%u") &&
                        gst_element_link_pads(audioQueue, "src", muxer, "audio_%u") &&
                        gst_element_link(muxer, sink);
    if (!linked) {
        errorDetail_ = QStringLiteral("the movie pipeline cannot be linked");
        return msg::kMovieGraphFailed;
    }
    return kOk;
}

GstElement* CMoviePipeline::MakeVideoChain(const MovieReduction& reduction,
                                           const FeddickVideoFormat& video, Result* result) {
    std::string chain = reduction.chain;
    if (IsDv(reduction)) {
        chain = DvChain(video);
        if (chain.empty()) {
            errorDetail_ = QStringLiteral("DV needs a 720 x 576 frame (720 x 480 at 30 fps)");
            *result = msg::kMovieGraphFailed;
            return nullptr;
        }
    }
    if (chain.empty()) return nullptr;
    GstElement* bin = ParseBin(chain, &errorDetail_);
    if (bin == nullptr) *result = msg::kEncoderMissing;
    return bin;
}

GstBusSyncReply CMoviePipeline::OnBusMessage(GstBus* /*bus*/, GstMessage* message, gpointer self) {
    // Runs on the thread that posts: a put waiting for a dead pipeline must
    // return now, not when the writer next looks at the bus.
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        IFeddick* source = static_cast<CMoviePipeline*>(self)->source_;
        if (source != nullptr) source->Cancel();
    }
    return GST_BUS_PASS;
}

void CMoviePipeline::TakeError(GstMessage* message) {
    failed_ = true;
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    if (errorDetail_.isEmpty()) {
        errorDetail_ = QStringLiteral("%1: %2").arg(
            QString::fromUtf8(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))),
            error != nullptr ? QString::fromUtf8(error->message) : QString());
    }
    g_clear_error(&error);
    g_free(debug);
}

bool CMoviePipeline::Failed(GstClockTime wait) {
    if (bus_ == nullptr) return failed_;
    // The first error may be on its way yet: a put fails as soon as the
    // message is posted, before the bus holds it.
    if (!failed_ && wait > 0) {
        GstMessagePtr error(gst_bus_timed_pop_filtered(bus_.get(), wait, GST_MESSAGE_ERROR));
        if (error != nullptr) TakeError(error.get());
    }
    while (GstMessage* error = gst_bus_pop_filtered(bus_.get(), GST_MESSAGE_ERROR)) {
        TakeError(error);
        gst_message_unref(error);
    }
    return failed_;
}

Result CMoviePipeline::Finish() {
    if (!IsOpen()) return msg::kCannotSaveMovie;
    if (Failed()) {
        Stop();
        return msg::kCannotSaveMovie;
    }
    source_->SendEndOfStream();
    // The muxer may still encode and write for a while after the last frame
    // (an encoder's look-ahead, an MP4 index): wait as long as the file grows.
    constexpr GstClockTime kSlice = 200 * GST_MSECOND;
    const QFileInfo file(path_);
    qint64 lastSize = -1;
    int stalledMs = 0;
    Result result = kOk;
    for (;;) {
        GstMessagePtr message(gst_bus_timed_pop_filtered(
            bus_.get(), kSlice, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (message != nullptr) {
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
                TakeError(message.get());
                result = msg::kCannotSaveMovie;
            }
            break;
        }
        QFileInfo now(file);
        now.refresh();
        const qint64 size = now.exists() ? now.size() : -1;
        stalledMs = size != lastSize ? 0 : stalledMs + static_cast<int>(kSlice / GST_MSECOND);
        lastSize = size;
        if (stalledMs >= stallLimitMs_) {
            errorDetail_ = QStringLiteral("the movie pipeline stopped before the end");
            result = msg::kCannotSaveMovie;
            break;
        }
    }
    Stop();
    return result;
}

void CMoviePipeline::Stop() {
    if (pipeline_ != nullptr) gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    if (bus_ != nullptr) {
        gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
        bus_.reset();
    }
    source_ = nullptr;
    pipeline_.reset();
}

}  // namespace kolvane
