#include "sound/AudioOutput.h"

#include "sound/Resample.h"

namespace kolvane {
namespace {

constexpr int kPiecePairs = kOutputRate / 100;  // 10 ms
constexpr guint64 kQueueBytes = 4ull * kPiecePairs * kOutputBytesPerPair;

GstElement* Make(const char* factory) {
    return gst_element_factory_make(factory, nullptr);
}

bool HasProperty(GstElement* element, const char* name) {
    return g_object_class_find_property(G_OBJECT_GET_CLASS(element), name) != nullptr;
}

// autoaudiosink quietly falls back to a fake sink when no device answers;
// pulling real-time sound into it would only burn time.
bool FellBackToFakeSink(GstElement* sink) {
    if (!GST_IS_BIN(sink)) return false;
    bool fake = false;
    GstIterator* children = gst_bin_iterate_sinks(GST_BIN(sink));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(children, &item) == GST_ITERATOR_OK) {
        auto* child = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(child);
        if (factory != nullptr &&
            g_strcmp0(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), "fakesink") == 0)
            fake = true;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(children);
    return fake;
}

}  // namespace

QString CAudioOutput::DefaultSinkName() {
    const QString named = qEnvironmentVariable("KOLVANE_AUDIO_SINK").trimmed();
    return named.isEmpty() ? QStringLiteral("autoaudiosink") : named;
}

std::unique_ptr<CAudioOutput> CAudioOutput::Open(Fill fill, const QString& sinkName) {
    if (!gst_is_initialized() || !fill) return nullptr;
    std::unique_ptr<CAudioOutput> output(new CAudioOutput(std::move(fill)));

    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("kolvane-audio"))));
    GstElement* source = Make("appsrc");
    GstElement* convert = Make("audioconvert");
    GstElement* resample = Make("audioresample");
    GstElement* sink = gst_element_factory_make(sinkName.toUtf8().constData(), "sink");
    GstElement* made[] = {source, convert, resample, sink};
    for (GstElement*& element : made) {
        if (element != nullptr) continue;
        for (GstElement* other : made) {
            if (other != nullptr) gst_object_unref(gst_object_ref_sink(other));
        }
        return nullptr;
    }
    gst_bin_add_many(GST_BIN(pipeline.get()), source, convert, resample, sink, nullptr);
    if (!gst_element_link_many(source, convert, resample, sink, nullptr)) return nullptr;

    GstCapsPtr caps(gst_caps_new_simple(
        "audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING, "interleaved",
        "rate", G_TYPE_INT, kOutputRate, "channels", G_TYPE_INT, kOutputChannels, nullptr));
    auto* appSource = GST_APP_SRC(source);
    gst_app_src_set_caps(appSource, caps.get());
    gst_app_src_set_stream_type(appSource, GST_APP_STREAM_TYPE_STREAM);
    gst_app_src_set_max_bytes(appSource, kQueueBytes);
    g_object_set(source, "format", GST_FORMAT_TIME, "block", FALSE, "is-live", FALSE, nullptr);
    // A sink that does not keep time (fakesink) would drain the rings at once.
    if (HasProperty(sink, "sync")) g_object_set(sink, "sync", TRUE, nullptr);

    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = &CAudioOutput::OnNeedData;
    gst_app_src_set_callbacks(appSource, &callbacks, output.get(), nullptr);

    output->source_ = appSource;
    output->pipeline_ = std::move(pipeline);
    // Nobody reads this bus: only an error matters, the rest would pile up.
    GstBusPtr bus(gst_element_get_bus(output->pipeline_.get()));
    gst_bus_set_sync_handler(bus.get(), &CAudioOutput::OnBusMessage, output.get(), nullptr);
    if (gst_element_set_state(output->pipeline_.get(), GST_STATE_READY) ==
        GST_STATE_CHANGE_FAILURE) {
        return nullptr;
    }
    if (FellBackToFakeSink(sink)) return nullptr;
    return output;
}

CAudioOutput::~CAudioOutput() {
    if (!pipeline_) return;
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    GstBusPtr bus(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
}

void CAudioOutput::Start() {
    if (started_ || !pipeline_) return;
    started_ = true;
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
}

bool CAudioOutput::Healthy() {
    return pipeline_ && !failed_.load();
}

GstBusSyncReply CAudioOutput::OnBusMessage(GstBus* /*bus*/, GstMessage* message, gpointer self) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        static_cast<CAudioOutput*>(self)->failed_.store(true);
    return GST_BUS_DROP;
}

void CAudioOutput::OnNeedData(GstAppSrc* /*source*/, guint /*length*/, gpointer self) {
    static_cast<CAudioOutput*>(self)->PushPiece();
}

void CAudioOutput::PushPiece() {
    const gsize bytes = static_cast<gsize>(kPiecePairs) * kOutputBytesPerPair;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    if (buffer == nullptr) return;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return;
    }
    fill_(reinterpret_cast<std::int16_t*>(map.data), kPiecePairs);
    gst_buffer_unmap(buffer, &map);

    const std::uint64_t first = delivered_.load();
    const std::uint64_t next = first + kPiecePairs;
    GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(first, GST_SECOND, kOutputRate);
    GST_BUFFER_DURATION(buffer) =
        gst_util_uint64_scale(next, GST_SECOND, kOutputRate) - GST_BUFFER_PTS(buffer);
    delivered_.store(next);
    gst_app_src_push_buffer(source_, buffer);  // takes the buffer
}

}  // namespace kolvane
