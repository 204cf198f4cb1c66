#include "capture/CaptureGraph.h"

#include <gst/app/gstappsink.h>
#include <gst/video/colorbalance.h>
#include <gst/video/video.h>
#include <libyuv/convert_argb.h>
#include <libyuv/scale_argb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFile>

#include "display/PictureAspect.h"
#include "filters/quorrel/IQuorrel.h"
#include "filters/zantho/IZantho.h"
#include "platform/StringTable.h"
#include "settings/Settings.h"

namespace kolvane {
namespace {

// Commands of the capture graph without a name in the shared table.
constexpr int kCmdDenoise = 32861;
constexpr int kCmdCameraSettings = 32864;
constexpr int kCmdCameraSave = 32865;
constexpr int kCmdCameraRestore = 32866;

constexpr int kStatusSearching = 40600;
constexpr int kStatusConnectionFailed = 40607;
constexpr int kStatusNoDevices = 40608;
constexpr int kStatusNoDisplay = 40609;

constexpr int kInputTuner = 4;

GstElement* MakeElement(const char* factory, const char* name) {
    GstElement* element = gst_element_factory_make(factory, name);
    return element != nullptr ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr;
}

// A setting scaled to the element's range; a result outside the range is
// clamped and the setting is written back as 0 or 100.
float ScaledSetting(CSettings& settings, int index, float scale, float offset, float low,
                    float high) {
    float value = static_cast<float>(settings.Get(index)) * scale + offset;
    if (value < low) {
        value = low;
        settings.Set(index, 0);
    } else if (value > high) {
        value = high;
        settings.Set(index, 100);
    }
    return value;
}

// Links a pad that appears later (dvdemux, decodebin) to the element given.
void LinkLatePad(GstElement* /*element*/, GstPad* pad, gpointer target) {
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
    const bool video =
        caps != nullptr && gst_caps_get_size(caps) > 0 &&
        g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "video/");
    if (caps != nullptr) gst_caps_unref(caps);
    if (!video) return;
    GstPad* sink = gst_element_get_static_pad(GST_ELEMENT(target), "sink");
    if (sink != nullptr && !gst_pad_is_linked(sink)) gst_pad_link(pad, sink);
    if (sink != nullptr) gst_object_unref(sink);
}

}  // namespace

struct CCaptureGraph::BusContext {
    CCaptureGraph* graph;
    GstElement* pipeline;
    unsigned generation;
};

CCaptureGraph::CCaptureGraph(CSettings& settings, Options options)
    : settings_(settings), options_(std::move(options)), uiContext_(std::make_unique<QObject>()) {
    adjust_.reset(MakeElement(options_.adjustFactory, "Zantho"));
    appsink_.reset(MakeElement(options_.sinkFactory, "Video Renderer"));
    if (appsink_ == nullptr || !GST_IS_APP_SINK(appsink_.get())) {
        constructionError_ = msg::kGrabberGraphicsMissing;
    } else if (adjust_ == nullptr || QueryZantho(adjust_.get()) == nullptr) {
        constructionError_ = msg::kNotCorrectlyInstalled;
    }
    if (constructionError_ != 0) {
        adjust_.reset();
        appsink_.reset();
    } else {
        GstCaps* caps = gst_caps_from_string("video/x-raw,format=YUY2");
        // Frames are shown as they come; a late paint takes the newest one.
        g_object_set(appsink_.get(), "caps", caps, "sync", FALSE, "max-buffers", 1, "drop", TRUE,
                     "enable-last-sample", FALSE, "qos", FALSE, nullptr);
        gst_caps_unref(caps);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* sink, gpointer self) {
            return OnNewSample(GST_ELEMENT(sink), self);
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(appsink_.get()), &callbacks, this, nullptr);
    }
    devices_ = std::make_unique<CVideoDeviceList>(options_.devices);
    devices_->SetChangeHandler(
        [this](GstDevice* device, bool added) { OnDeviceChange(device, added); });

    keepAwake_.setInterval(static_cast<int>(options_.keepAwakeInterval.count()));
    QObject::connect(&keepAwake_, &QTimer::timeout, uiContext_.get(), [this] { KeepAwakePulse(); });
    errorRetry_.setSingleShot(true);
    errorRetry_.setInterval(static_cast<int>(options_.errorRetryDelay.count()));
    QObject::connect(&errorRetry_, &QTimer::timeout, uiContext_.get(),
                     [this] { RequestConnect(); });

    rememberedInput_ = settings_.Get(VideoInput);
    rememberedQuality_ = settings_.Get(VideoQuality);
    ResetSearch();
}

CCaptureGraph::~CCaptureGraph() {
    TearDown();
    StopKeepAwake();
    errorRetry_.stop();
    devices_->SetChangeHandler(nullptr);
    if (appsink_ != nullptr) {
        GstAppSinkCallbacks none{};
        gst_app_sink_set_callbacks(GST_APP_SINK(appsink_.get()), &none, nullptr, nullptr);
    }
    uiContext_.reset();
}

// ---------------------------------------------------------------------------
// Queries

int CCaptureGraph::SourceKind() const {
    if (!videoPresent_) return 0;
    if (cameraSource_) return 6;
    if (hdDevice_) return 5;
    if (tunerRouted_) return 4;
    if (hasDvDecoder_) return 3;
    if (hasCrossbar_) return 2;
    return 1;
}

bool CCaptureGraph::IsReadyToGrab() const {
    return HasGraph() && source_ != nullptr && view_ != nullptr && videoPresent_ && grabEnabled_;
}

int CCaptureGraph::StatusTextId() const {
    // Kinds 3 and 4 show their texts out of numeric order.
    static constexpr int kKindText[] = {40600, 40601, 40602, 40604, 40603, 40605, 40606};
    int id = kKindText[SourceKind()];
    if (!graphBuilt_) id = kStatusConnectionFailed;
    if (deviceCount_ == 0) id = kStatusNoDevices;
    if (HasGraph() && !HasVideoDisplay()) id = kStatusNoDisplay;
    return id;
}

QString CCaptureGraph::StatusText() const {
    return StringText(StatusTextId());
}

QString CCaptureGraph::DeviceName() const {
    if (device_ == nullptr) return {};
    gchar* name = gst_device_get_display_name(device_.get());
    const QString text = QString::fromUtf8(name);
    g_free(name);
    return text;
}

IZantho* CCaptureGraph::Zantho() const {
    return QueryZantho(adjust_.get());
}

IQuorrel* CCaptureGraph::Quorrel() const {
    return QueryQuorrel(source_.get());
}

GstState CCaptureGraph::CurrentState() const {
    if (pipeline_ == nullptr) return GST_STATE_NULL;
    GstState current = GST_STATE_NULL;
    GstState pending = GST_STATE_VOID_PENDING;
    gst_element_get_state(pipeline_.get(), &current, &pending, 0);
    return pending != GST_STATE_VOID_PENDING ? pending : current;
}

void CCaptureGraph::PostToSink(int command) {
    if (sink_ != nullptr) sink_->PostCommand(command);
}

void CCaptureGraph::RequestConnect() {
    // One request is enough: a picture that is rejected both as it starts
    // and as it runs must not skip two inputs.
    if (connectPending_) return;
    connectPending_ = true;
    PostToSink(cmd::kRebuildCaptureGraph);
}

// ---------------------------------------------------------------------------
// Window

Result CCaptureGraph::AttachWindow(IVideoView* view) {
    if (!HasGraph() || view == nullptr || view_ != nullptr) return kFail;
    view_ = view;
    return kOk;
}

void CCaptureGraph::DetachWindow() {
    TearDown();
    StopKeepAwake();
    view_ = nullptr;
}

// ---------------------------------------------------------------------------
// Graph life

void CCaptureGraph::ResetSearch() {
    hasCrossbar_ = false;
    tunerRouted_ = false;
    hasDvDecoder_ = false;
    hdDevice_ = false;
    cameraSource_ = false;
    triesLeft_ = 0;
    deviceCount_ = 0;
    deviceIndex_ = 0;
}

int CCaptureGraph::OpenNextDevice() {
    if (source_ != nullptr) {
        if (pipeline_ != nullptr) TearDown();
        source_.reset();
    }
    device_.reset();
    modes_.clear();
    crossbarInput_ = 0;
    // A device just opened has shown no picture yet, whatever the last one did.
    videoPresent_ = false;
    deviceLost_ = false;

    std::vector<GstDevicePtr> devices = devices_->Devices();
    // An empty list leaves no count behind: the status says "no video
    // devices" until one is plugged in again.
    deviceCount_ = static_cast<int>(devices.size());
    if (devices.empty()) return 1;

    deviceIndex_ += 1;
    triesLeft_ -= 1;
    if (triesLeft_ <= 0 || deviceIndex_ > deviceCount_ - 1) {
        triesLeft_ = deviceCount_;
        deviceIndex_ = 0;
    }
    device_ = std::move(devices[static_cast<std::size_t>(deviceIndex_)]);
    GstElement* element = gst_device_create_element(device_.get(), "Video Source");
    if (element == nullptr) return 1;
    source_.reset(GST_ELEMENT(gst_object_ref_sink(element)));
    if (GstCaps* caps = gst_device_get_caps(device_.get())) {
        modes_ = ModesFromCaps(caps);
        gst_caps_unref(caps);
    }
    return 0;
}

Result CCaptureGraph::RouteNextInput() {
    if (!HasGraph() || device_ == nullptr) return kFail;
    const QString path = DevicePath(device_.get());
    std::unique_ptr<IDeviceNode> node =
        path.isEmpty() || !options_.openNode ? nullptr : options_.openNode(path);
    const std::vector<CVideoInputInfo> inputs =
        node != nullptr ? node->Inputs() : std::vector<CVideoInputInfo>{};
    const bool anyTuner =
        std::any_of(inputs.begin(), inputs.end(), [](const auto& input) { return input.tuner; });
    hasCrossbar_ = inputs.size() > 1 || anyTuner;
    if (!hasCrossbar_) {
        crossbarInput_ = 0;
        return kFail;
    }
    const bool tunerWanted = settings_.Get(VideoInput) == kInputTuner;
    for (int n = crossbarInput_; n < static_cast<int>(inputs.size()); ++n) {
        const bool tuner = inputs[static_cast<std::size_t>(n)].tuner;
        if (tuner && !tunerWanted) continue;
        int result = node->SelectInput(n);
        if (result == EBUSY && pipeline_ != nullptr) {
            // The driver takes no new input while it streams: stop, switch,
            // and go back to where the preview was.
            const GstState was = CurrentState();
            gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
            result = node->SelectInput(n);
            gst_element_set_state(pipeline_.get(), was);
        }
        if (result != 0) continue;
        tunerRouted_ = tunerWanted && tuner;
        crossbarInput_ = n + 1;
        return kOk;
    }
    crossbarInput_ = 0;
    return kFail;
}

void CCaptureGraph::ChooseFormat() {
    chosenCaps_.reset();
    if (!HasGraph() || source_ == nullptr) return;
    GstElementFactory* factory = gst_element_get_factory(source_.get());
    const bool decklinkElement =
        factory != nullptr && std::strcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)),
                                          "decklinkvideosrc") == 0;
    hdDevice_ = decklinkElement || IsDeckLinkDevice(device_.get());
    cameraSource_ = Quorrel() != nullptr;
    if (!cameraSource_) cameraName_.clear();
    if (cameraSource_) {
        // The live view comes in the one size the body gives, which its
        // element learns from the first frame; a size picked from the open
        // range it offers before that never negotiates. Raw frames, so that
        // no decoder is needed.
        chosenCaps_.reset(gst_caps_new_empty_simple("video/x-raw"));
        return;
    }
    if (modes_.empty()) return;

    const int frameRate = settings_.Get(FrameRate);
    const CModeChoice choice =
        ChooseMode(modes_, settings_.Get(VideoQuality), hdDevice_, frameRate);
    if (!choice.IsValid()) return;
    chosenCaps_.reset(CapsForChoice(modes_, choice));
    if (hdDevice_ && g_object_class_find_property(G_OBJECT_GET_CLASS(source_.get()), "mode")) {
        const char* mode = frameRate == 24 ? "1080p24" : frameRate == 25 ? "1080p25" : "1080p30";
        gst_util_set_object_arg(G_OBJECT(source_.get()), "mode", mode);
    }
}

bool CCaptureGraph::LinkDecoder(GstElement* from, const CVideoMode* mode) {
    GstBin* bin = GST_BIN(pipeline_.get());
    GstElement* convert = gst_bin_get_by_name(bin, "convert");
    gst_object_unref(convert);  // the bin holds it
    const QString media = mode != nullptr ? mode->media : QStringLiteral("video/x-raw");
    if (media == QLatin1String("video/x-raw")) return gst_element_link(from, convert);

    if (media == QLatin1String("video/x-dv")) {
        GstElement* decoder = gst_element_factory_make("dvdec", "DV Decoder");
        GstElement* scale = gst_element_factory_make("videoscale", nullptr);
        GstElement* size = gst_element_factory_make("capsfilter", "dv-size");
        if (decoder == nullptr || scale == nullptr || size == nullptr) {
            for (GstElement* element : {decoder, scale, size}) {
                if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
            }
            return false;
        }
        gst_bin_add_many(bin, decoder, scale, size, nullptr);
        if (!gst_element_link_many(decoder, scale, size, convert, nullptr)) return false;
        dvScale_ = size;
        GstPad* out = gst_element_get_static_pad(decoder, "src");
        gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &CCaptureGraph::OnDvCaps, this,
                          nullptr);
        gst_object_unref(out);
        if (!mode->systemStream) return gst_element_link(from, decoder);
        GstElement* demux = gst_element_factory_make("dvdemux", nullptr);
        if (demux == nullptr) return false;
        gst_bin_add(bin, demux);
        g_signal_connect(demux, "pad-added", G_CALLBACK(LinkLatePad), decoder);
        return gst_element_link(from, demux);
    }

    const bool jpeg = media == QLatin1String("image/jpeg");
    GstElement* decoder = gst_element_factory_make(jpeg ? "jpegdec" : "decodebin", nullptr);
    if (decoder == nullptr) return false;
    gst_bin_add(bin, decoder);
    if (jpeg) return gst_element_link(from, decoder) && gst_element_link(decoder, convert);
    g_signal_connect(decoder, "pad-added", G_CALLBACK(LinkLatePad), convert);
    return gst_element_link(from, decoder);
}

void CCaptureGraph::BuildPreview() {
    graphBuilt_ = false;
    if (adjust_ == nullptr || source_ == nullptr || appsink_ == nullptr) return;
    if (pipeline_ != nullptr) TearDown();
    ++generation_;
    pipeline_.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("Kolvane preview"))));
    GstBin* bin = GST_BIN(pipeline_.get());
    GstElement* format = gst_element_factory_make("capsfilter", "format");
    // The source thread only captures; decoding, adjusting and converting
    // for the screen run on the queue's thread. When they fall behind, the
    // oldest frame goes, as a capture driver's ring would drop it: the
    // picture stays current instead of lagging.
    GstElement* frames = gst_element_factory_make("queue", "frames");
    GstElement* convert = gst_element_factory_make("videoconvert", "convert");
    if (format == nullptr || frames == nullptr || convert == nullptr) {
        for (GstElement* element : {format, frames, convert}) {
            if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
        }
        TearDown();
        return;
    }
    if (chosenCaps_ != nullptr) g_object_set(format, "caps", chosenCaps_.get(), nullptr);
    g_object_set(frames, "max-size-buffers", 2, "max-size-bytes", 0, "max-size-time",
                 G_GUINT64_CONSTANT(0), nullptr);
    gst_util_set_object_arg(G_OBJECT(frames), "leaky", "downstream");
    gst_bin_add_many(bin, source_.get(), format, frames, convert, adjust_.get(), appsink_.get(),
                     nullptr);

    const CVideoMode* mode = nullptr;
    if (chosenCaps_ != nullptr && !gst_caps_is_any(chosenCaps_.get())) {
        const QString media =
            QString::fromUtf8(gst_structure_get_name(gst_caps_get_structure(chosenCaps_.get(), 0)));
        for (const CVideoMode& candidate : modes_) {
            if (candidate.media == media) {
                mode = &candidate;
                break;
            }
        }
    }
    const bool linked = gst_element_link_many(source_.get(), format, frames, nullptr) &&
                        LinkDecoder(frames, mode) &&
                        gst_element_link_many(convert, adjust_.get(), appsink_.get(), nullptr);
    if (!linked) {
        TearDown();
        return;
    }
    // The sink shows every frame as it arrives (sync=false); the pipeline
    // keeps its clock, which live sources such as the test pattern need to
    // pace themselves.
    GstBusPtr bus(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.get())));
    auto* context = new BusContext{this, pipeline_.get(), generation_};
    gst_bus_set_sync_handler(bus.get(), &CCaptureGraph::OnBusMessage, context,
                             [](gpointer data) { delete static_cast<BusContext*>(data); });
    graphBuilt_ = true;
}

void CCaptureGraph::SetDvResolution() {
    if (pipeline_ == nullptr) return;
    GstElement* decoder = gst_bin_get_by_name(GST_BIN(pipeline_.get()), "DV Decoder");
    if (decoder == nullptr) return;
    gst_object_unref(decoder);
    hasDvDecoder_ = true;
    // Quarter, half or full size by quality; full HD leaves the decoder alone.
    switch (settings_.Get(VideoQuality)) {
        case 1:
            dvDivisor_ = 4;
            break;
        case 3:
        case 4:
        case 5:
            dvDivisor_ = 1;
            break;
        default:
            dvDivisor_ = 2;
            break;
    }
    ScaleDv();
}

// The decoder tells the camera's size (PAL or NTSC) with its first caps;
// the size filter follows on the user-interface thread.
GstPadProbeReturn CCaptureGraph::OnDvCaps(GstPad* /*pad*/, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    int width = 0;
    int height = 0;
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    if (!gst_structure_get_int(structure, "width", &width) ||
        !gst_structure_get_int(structure, "height", &height)) {
        return GST_PAD_PROBE_OK;
    }
    auto* self = static_cast<CCaptureGraph*>(data);
    const unsigned generation = self->generation_;
    QMetaObject::invokeMethod(
        self->uiContext_.get(),
        [self, generation, width, height] {
            if (generation != self->generation_) return;
            self->dvSize_ = QSize(width, height);
            self->ScaleDv();
        },
        Qt::QueuedConnection);
    return GST_PAD_PROBE_OK;
}

void CCaptureGraph::ScaleDv() {
    if (dvScale_ == nullptr || dvSize_.isEmpty()) return;
    GstCaps* caps =
        dvDivisor_ > 1
            ? gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT,
                                  std::max(dvSize_.width() / dvDivisor_, 2), "height", G_TYPE_INT,
                                  std::max(dvSize_.height() / dvDivisor_, 2), nullptr)
            : gst_caps_new_any();
    g_object_set(dvScale_, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

void CCaptureGraph::ResetProcAmp() {
    if (device_ != nullptr && options_.openNode) {
        const QString path = DevicePath(device_.get());
        if (!path.isEmpty()) {
            if (std::unique_ptr<IDeviceNode> node = options_.openNode(path)) {
                node->ResetControls();
                return;
            }
        }
    }
    // Without a V4L2 node: the source's colour balance at the middle of
    // each range, which is where its neutral setting lies.
    if (source_ != nullptr && GST_IS_COLOR_BALANCE(source_.get())) {
        GstColorBalance* balance = GST_COLOR_BALANCE(source_.get());
        for (const GList* item = gst_color_balance_list_channels(balance); item != nullptr;
             item = item->next) {
            auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
            gst_color_balance_set_value(balance, channel,
                                        (channel->min_value + channel->max_value) / 2);
        }
    }
}

void CCaptureGraph::TearDown() {
    graphBuilt_ = false;
    if (pipeline_ == nullptr) return;
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    GstBusPtr bus(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.get())));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    GstBin* bin = GST_BIN(pipeline_.get());
    // Source, adjustment and sink outlive the pipeline: the adjustment
    // element keeps its settings, and a new format reuses the source.
    for (GstElement* kept : {source_.get(), adjust_.get(), appsink_.get()}) {
        if (kept != nullptr && GST_OBJECT_PARENT(kept) == GST_OBJECT(bin))
            gst_bin_remove(bin, kept);
    }
    pipeline_.reset();
    dvScale_ = nullptr;
    dvSize_ = QSize();
    ++generation_;
}

void CCaptureGraph::RunPreview(bool run) {
    if (graphBuilt_ && pipeline_ != nullptr) {
        const GstState state = CurrentState();
        if (run) {
            // Wide frames are stopped before they run again from pause.
            if (GetFrameRect().width() >= 1280 && state == GST_STATE_PAUSED) {
                gst_element_set_state(pipeline_.get(), GST_STATE_READY);
            }
            if (state != GST_STATE_PLAYING)
                gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
        } else if (state == GST_STATE_PLAYING) {
            gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
        }
    }
    if (IQuorrel* camera = graphBuilt_ ? Quorrel() : nullptr) {
        if (run && cameraName_.isEmpty()) {
            char name[256] = {};
            if (camera->GetCameraName(name, sizeof name) == kOk)
                cameraName_ = QString::fromUtf8(name);
            ApplyCameraSettings();
        }
        StartKeepAwake();
    } else {
        StopKeepAwake();
    }
}

void CCaptureGraph::StartKeepAwake() {
    if (!keepAwake_.isActive()) keepAwake_.start();
}

void CCaptureGraph::StopKeepAwake() {
    keepAwake_.stop();
}

// A half-press and release every five minutes keeps the camera from
// switching itself off. It runs on the user-interface thread, which alone
// releases the source, so the source it asks is always alive.
void CCaptureGraph::KeepAwakePulse() {
    if (IQuorrel* camera = Quorrel()) {
        camera->HalfPressShutter(true);
        camera->HalfPressShutter(false);
    } else {
        StopKeepAwake();
    }
}

int CCaptureGraph::AcceptSource() {
    const int kind = SourceKind();
    const int wanted = settings_.Get(VideoInput);
    if (kind == 0 || kind == wanted || wanted == 0) return 1;
    if (triesLeft_ != 1) return 0;
    // The last device of the pass: take it, and say so in the dialog.
    settings_.Set(VideoInput, 0);
    PostToSink(cmd::kVideoSourceReload);
    return 1;
}

// ---------------------------------------------------------------------------
// Events

GstBusSyncReply CCaptureGraph::OnBusMessage(GstBus* /*bus*/, GstMessage* message, gpointer data) {
    auto* context = static_cast<BusContext*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ELEMENT: {
            const GstStructure* structure = gst_message_get_structure(message);
            int code = 0;
            if (structure != nullptr && gst_structure_has_name(structure, kZanthoMessageName) &&
                gst_structure_get_int(structure, "code", &code)) {
                static constexpr EventKind kKinds[] = {EventKind::Froze, EventKind::Live,
                                                       EventKind::Motion, EventKind::Still};
                if (code >= kZanthoPictureFroze && code <= kZanthoSceneStill) {
                    context->graph->QueueEvent(kKinds[code - kZanthoPictureFroze],
                                               context->generation);
                }
            }
            break;
        }
        case GST_MESSAGE_STATE_CHANGED:
            if (GST_MESSAGE_SRC(message) == GST_OBJECT(context->pipeline)) {
                GstState newState = GST_STATE_NULL;
                gst_message_parse_state_changed(message, nullptr, &newState, nullptr);
                if (newState == GST_STATE_PLAYING) {
                    context->graph->QueueEvent(EventKind::Running, context->generation);
                }
            }
            break;
        case GST_MESSAGE_ERROR:
            context->graph->QueueEvent(EventKind::Error, context->generation);
            break;
        default:
            break;
    }
    return GST_BUS_DROP;
}

void CCaptureGraph::QueueEvent(EventKind kind, unsigned generation) {
    {
        std::lock_guard lock(eventLock_);
        events_.push_back({kind, generation});
    }
    QMetaObject::invokeMethod(
        uiContext_.get(), [this] { HandleGraphEvents(); }, Qt::QueuedConnection);
}

void CCaptureGraph::OnDeviceChange(GstDevice* device, bool added) {
    std::shared_ptr<GstDevice> held(GST_DEVICE(gst_object_ref(device)),
                                    [](GstDevice* d) { gst_object_unref(d); });
    QMetaObject::invokeMethod(
        uiContext_.get(),
        [this, held, added] {
            const bool ours = device_ != nullptr && held.get() == device_.get();
            if (added) {
                // The monitor also announces the devices it found at its
                // start: only a device that had gone is back.
                if (!ours) {
                    QueueEvent(EventKind::DeviceAdded, generation_);
                } else if (deviceLost_) {
                    QueueEvent(EventKind::DeviceBack, generation_);
                }
            } else if (ours) {
                deviceLost_ = true;
                QueueEvent(EventKind::DeviceRemoved, generation_);
            }
        },
        Qt::QueuedConnection);
}

bool CCaptureGraph::TakeEvent(GraphEvent& event) {
    std::lock_guard lock(eventLock_);
    if (events_.empty()) return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

void CCaptureGraph::HandleGraphEvents() {
    GraphEvent event{};
    while (TakeEvent(event)) {
        const bool fromDevices = event.kind == EventKind::DeviceRemoved ||
                                 event.kind == EventKind::DeviceBack ||
                                 event.kind == EventKind::DeviceAdded;
        // Events of a pipeline that has been torn down since are of no use.
        if (!fromDevices && event.generation != generation_) continue;
        switch (event.kind) {
            case EventKind::Running:
                if (!AcceptSource()) {
                    videoPresent_ = true;
                    RequestConnect();
                    return;
                }
                break;
            case EventKind::DeviceRemoved:
            case EventKind::Froze:
                videoPresent_ = false;
                RequestConnect();
                PostToSink(cmd::kGrabberRefresh);
                return;
            case EventKind::DeviceBack:
                videoPresent_ = true;
                return;
            case EventKind::DeviceAdded: {
                // A device plugged in while none was there, or while only
                // the test pattern stood in: search again.
                const bool standIn = DeviceName() == QLatin1String(kTestPatternName);
                if (source_ == nullptr || deviceCount_ == 0 || standIn) {
                    PostToSink(cmd::kReopenVideoInput);
                }
                return;
            }
            case EventKind::Error:
                videoPresent_ = false;
                PostToSink(cmd::kGrabberRefresh);
                errorRetry_.start();
                return;
            case EventKind::Live:
                videoPresent_ = true;
                if (!AcceptSource()) {
                    RequestConnect();
                    return;
                }
                ApplyDenoise();
                ResetProcAmp();
                // The picture is placed as soon as it is there, not only
                // when its first frame reaches the view.
                PositionVideo();
                PostToSink(cmd::kGrabberRefresh);
                return;
            case EventKind::Motion:
                switch (settings_.Get(MotionCommand)) {
                    case 1:
                        if (beep_) beep_();
                        break;
                    case 2:
                        grabEnabled_ = false;
                        break;
                    case 3:
                        PostToSink(cmd::kGrab);
                        break;
                    default:
                        break;
                }
                return;
            case EventKind::Still:
                grabEnabled_ = true;
                return;
        }
    }
}

// ---------------------------------------------------------------------------
// Connect sequence and commands

int CCaptureGraph::Connect() {
    errorRetry_.stop();
    connectPending_ = false;
    if (!HasGraph()) return 1;
    const bool visible = view_ != nullptr && view_->IsShown();
    if (visible) RunPreview(false);
    if (RouteNextInput() != kOk) {
        TearDown();
        if (OpenNextDevice() != 0) {
            // Another device of the list may open where this one did not;
            // try it later, never in a tight loop.
            if (deviceCount_ > 1) errorRetry_.start();
            if (view_ != nullptr) view_->RepaintVideo();
            return 1;
        }
        ChooseFormat();
        BuildPreview();
        if (!graphBuilt_ && deviceCount_ > 1) errorRetry_.start();
        SetDvResolution();
        RouteNextInput();
        PositionVideo();
        ApplyAdjustments();
    }
    PostToSink(cmd::kLightboxChanged);
    if (visible) {
        RunPreview(true);
        view_->RepaintVideo();
    }
    return 0;
}

int CCaptureGraph::RestartSearch() {
    rememberedInput_ = settings_.Get(VideoInput);
    ResetSearch();
    return Connect();
}

void CCaptureGraph::ChangeFormat() {
    const int quality = settings_.Get(VideoQuality);
    const int input = settings_.Get(VideoInput);
    if (quality == rememberedQuality_ && input == rememberedInput_) return;
    rememberedQuality_ = quality;
    rememberedInput_ = input;
    if (!HasGraph() || source_ == nullptr) return;
    const bool visible = view_ != nullptr && view_->IsShown();
    if (visible) RunPreview(false);
    TearDown();
    ChooseFormat();
    BuildPreview();
    SetDvResolution();
    PositionVideo();
    if (visible) {
        RunPreview(true);
        view_->RepaintVideo();
    }
}

bool CCaptureGraph::OnCommand(int id) {
    switch (id) {
        case cmd::kReopenVideoInput:
            RestartSearch();
            return true;
        case cmd::kRebuildCaptureGraph:
            Connect();
            return true;
        case cmd::kVideoFormatChanged:
            ChangeFormat();
            return true;
        case kCmdDenoise:
            ApplyDenoise();
            return true;
        case cmd::kGrabberSettings2:
            settings_.Set(Opacity, 50);
            settings_.Set(Whiteness, 0);
            settings_.Set(Brightness, 50);
            settings_.Set(Contrast, 50);
            settings_.Set(Color, 50);
            ApplyAdjustments();
            ApplyOpacity();
            return true;
        case cmd::kGrabberSettings3:
            ApplyAdjustments();
            ApplyOpacity();
            return true;
        case kCmdCameraSettings:
            ApplyCameraSettings();
            return true;
        case kCmdCameraSave:
            SaveCameraSettings();
            return true;
        case kCmdCameraRestore:
            RestoreCameraSettings();
            return true;
        case cmd::kGrabberMotionSettings:
            ApplyMotionCommand();
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------
// Display geometry

void CCaptureGraph::PositionVideo() {
    fitRect_ = QRect();
    if (view_ == nullptr) return;
    const QSize client = view_->ClientSize();
    const QRect frame = GetFrameRect();
    // Before the first format there is no picture to place (and nothing to
    // divide by).
    if (frame.isEmpty() || client.isEmpty()) return;
    const float sx = WidthFactor(settings_, frame.width(), frame.height());
    const float sy = HeightFactor(settings_, frame.width(), frame.height());
    const int width = client.width();
    const int height = client.height();
    const int left = static_cast<int>((width - sx * width) / 2.0f);
    const int top = static_cast<int>((height - sy * height) / 2.0f);
    fitRect_ = QRect(left, top, width - 2 * left, height - 2 * top);
    {
        std::lock_guard lock(frameLock_);
        paintSize_ = fitRect_.size();
    }
    if (!overlay_.isNull()) overlayPlacement_ = OverlayPlacementFor(overlay_.size(), frame.size());
}

QRect CCaptureGraph::GetVideoRect() const {
    return videoPresent_ ? fitRect_ : QRect();
}

// ---------------------------------------------------------------------------
// Picture settings

int CCaptureGraph::ApplyAdjustments() {
    IZantho* zantho = Zantho();
    if (zantho == nullptr) return 1;
    zantho->SetWhiteness(ScaledSetting(settings_, Whiteness, 1.27f, 0.0f, 0.0f, 127.0f));
    zantho->SetBrightness(ScaledSetting(settings_, Brightness, 2.0f, -100.0f, -100.0f, 100.0f));
    zantho->SetContrast(ScaledSetting(settings_, Contrast, 0.02f, 0.0f, 0.0f, 2.0f));
    zantho->SetColor(ScaledSetting(settings_, Color, 0.02f, 0.0f, 0.0f, 2.0f));
    return 0;
}

int CCaptureGraph::ApplyOpacity() {
    overlayOpacity_ = ScaledSetting(settings_, Opacity, 0.01f, 0.0f, 0.0f, 1.0f);
    if (!overlay_.isNull() && view_ != nullptr) view_->RepaintVideo();
    return 0;
}

int CCaptureGraph::ApplyDenoise() {
    IZantho* zantho = Zantho();
    if (zantho == nullptr) return 1;
    const int frames = settings_.Get(Denoise);
    zantho->SetDenoise(frames >= 1 && frames <= 16 ? frames : 1);
    return 0;
}

int CCaptureGraph::ApplyOrientation() {
    IZantho* zantho = Zantho();
    if (zantho == nullptr) return 1;
    const int orientation = settings_.Get(Orientation);
    const bool mirrored = orientation == 1 || orientation == 3;
    const bool flipped = orientation == 2 || orientation == 3;
    zantho->SetHorizontal(mirrored ? -1.0f : 1.0f);
    zantho->SetVertical(flipped ? -1.0f : 1.0f);
    return 0;
}

int CCaptureGraph::ApplyMotionCommand() {
    IZantho* zantho = Zantho();
    if (zantho == nullptr) return 1;
    if (settings_.Get(MotionCommand) != 0) {
        grabEnabled_ = zantho->IsStill() != 0;
        zantho->SetMotionDetect(1);
    } else {
        zantho->SetMotionDetect(0);
        grabEnabled_ = true;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Camera

int CCaptureGraph::ApplyCameraSettings() {
    IQuorrel* camera = Quorrel();
    if (camera == nullptr) return 1;
    camera->SetCameraSettings(settings_.Get(LightingType), settings_.Get(SceneType),
                              settings_.Get(FocalRange), settings_.Get(ImageSize));
    return 0;
}

int CCaptureGraph::SaveCameraSettings() {
    IQuorrel* camera = Quorrel();
    if (camera == nullptr) return 1;
    camera->SaveCameraSettings();
    return 0;
}

int CCaptureGraph::RestoreCameraSettings() {
    IQuorrel* camera = Quorrel();
    if (camera == nullptr) return 1;
    camera->RestoreCameraSettings();
    return 0;
}

int CCaptureGraph::TakeCameraPicture(const QString& basePath, std::atomic<int>* progress) {
    IQuorrel* camera = Quorrel();
    if (camera == nullptr) return 1;
    // Only a queued request is passed on: anything else would leave the
    // grabber waiting for a progress that never moves.
    return camera->TakePicture(QFile::encodeName(basePath).constData(), progress) == kOk ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Frames

QRect CCaptureGraph::GetFrameRect() const {
    IZantho* zantho = Zantho();
    if (zantho == nullptr) return {};
    ZanthoFrameSize size;
    if (zantho->GetFrameSize(&size) != kOk || size.IsEmpty()) return {};
    return QRect(0, 0, size.width, size.height);
}

CGrabbedFrame CCaptureGraph::GrabFrame() {
    CGrabbedFrame frame;
    IZantho* zantho = Zantho();
    if (zantho == nullptr) return frame;
    // The size may change between asking and taking: ask again then.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QRect rect = GetFrameRect();
        if (rect.isEmpty()) return {};
        frame.bgr.resize(static_cast<std::size_t>(rect.width()) * rect.height() * 3);
        ZanthoFrameSize size;
        if (zantho->GetFrame(frame.bgr.data(), frame.bgr.size(), &size) == kOk &&
            size.width == rect.width() && size.height == rect.height()) {
            frame.width = size.width;
            frame.height = size.height;
            return frame;
        }
    }
    return {};
}

QRect CCaptureGraph::GetGrabSize() const {
    const int imageSize = settings_.Get(ImageSize);
    if (cameraName_.isEmpty() || imageSize == 254) return GetFrameRect();
    if (imageSize == 255) return {};
    QSize size = CameraStillSize(cameraName_, imageSize);
    // A body outside the table knows its size once it has taken a still.
    int width = 0;
    int height = 0;
    if (IQuorrel* camera = Quorrel();
        size.isEmpty() && camera != nullptr && camera->GetStillSize(&width, &height) == kOk) {
        size = QSize(width, height);
    }
    return size.isEmpty() ? QRect() : QRect(QPoint(0, 0), size);
}

CVideoFrame CCaptureGraph::LatestFrame() const {
    std::lock_guard lock(frameLock_);
    return latest_;
}

GstFlowReturn CCaptureGraph::OnNewSample(GstElement* sink, gpointer data) {
    auto* self = static_cast<CCaptureGraph*>(data);
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (sample == nullptr) return GST_FLOW_OK;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) || buffer == nullptr ||
        !gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    std::int64_t captured = -1;
    if (GST_BUFFER_PTS_IS_VALID(buffer)) {
        captured =
            static_cast<std::int64_t>(gst_element_get_base_time(sink) + GST_BUFFER_PTS(buffer));
    }
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    QImage image;
    QSize target(width, height);
    {
        // Reuse the frame before last when the view no longer holds it.
        std::lock_guard lock(self->frameLock_);
        // A frame larger than its place on screen is shrunk here, on the
        // streaming thread and with SIMD, so that painting is a plain copy.
        const QSize place = self->paintSize_;
        if (place.width() > 0 && place.height() > 0 && place.width() < width &&
            place.height() < height) {
            target = place;
        }
        if (self->spare_.isDetached() && self->spare_.size() == target) {
            image = std::move(self->spare_);
        }
        self->spare_ = QImage();
    }
    if (image.isNull()) image = QImage(target, QImage::Format_RGB32);
    if (static_cast<gsize>(stride) * height <= map.size) {
        if (target == QSize(width, height)) {
            libyuv::YUY2ToARGB(map.data, stride, image.bits(),
                               static_cast<int>(image.bytesPerLine()), width, height);
        } else {
            ShrinkYuy2ToRgb32(map.data, stride, width, height, image.bits(),
                              static_cast<int>(image.bytesPerLine()), target.width(),
                              target.height(), self->scratch_);
        }
    }
    gst_buffer_unmap(buffer, &map);
    gst_sample_unref(sample);

    bool notify = false;
    {
        std::lock_guard lock(self->frameLock_);
        self->spare_ = std::move(self->latest_.image);
        self->latest_.image = std::move(image);
        self->latest_.sequence = ++self->frameSequence_;
        self->latest_.arrived = std::chrono::steady_clock::now();
        self->latest_.capturedNs = captured;
        self->sourceSize_ = QSize(width, height);
        notify = !self->repaintPending_;
        self->repaintPending_ = true;
    }
    if (notify) {
        QMetaObject::invokeMethod(
            self->uiContext_.get(), [self] { self->OnFrameReady(); }, Qt::QueuedConnection);
    }
    return GST_FLOW_OK;
}

void CCaptureGraph::OnFrameReady() {
    QSize size;
    {
        std::lock_guard lock(frameLock_);
        repaintPending_ = false;
        size = sourceSize_;
    }
    // The first frame of a format places the video.
    if (size != shownFrameSize_) {
        shownFrameSize_ = size;
        PositionVideo();
    }
    if (view_ != nullptr) view_->RepaintVideo();
}

// ---------------------------------------------------------------------------
// Overlay

void CCaptureGraph::SetOverlay(const QImage& overlay) {
    overlay_ = overlay;
    overlayOpacity_ = ScaledSetting(settings_, Opacity, 0.01f, 0.0f, 0.0f, 1.0f);
    const QRect frame = GetFrameRect();
    overlayPlacement_ = OverlayPlacementFor(overlay.size(), frame.size());
    if (view_ != nullptr) view_->RepaintVideo();
}

QRectF OverlayPlacementFor(QSize bitmap, QSize frame) {
    if (bitmap.isEmpty() || frame.isEmpty()) return QRectF(0, 0, 1, 1);
    const double q = double(bitmap.height()) / bitmap.width();
    const double frameQ = double(frame.height()) / frame.width();
    if (q < frameQ) {
        // Wider than the frame: full width, centred vertically.
        const double top = (1.0 - (double(frame.width()) / frame.height()) * q) / 2.0;
        return QRectF(QPointF(0.0, top), QPointF(1.0, 1.0 - top));
    }
    const double left = (1.0 - (double(frame.height()) / frame.width()) / q) / 2.0;
    return QRectF(QPointF(left, 0.0), QPointF(1.0 - left, 1.0));
}

void ShrinkYuy2ToRgb32(const std::uint8_t* yuy2, int stride, int width, int height,
                       std::uint8_t* rgb, int rgbStride, int rgbWidth, int rgbHeight,
                       std::vector<std::uint8_t>& band) {
    // Output rows a band; its source rows then fit the cache with room.
    constexpr int kBandRows = 32;
    // Source rows a filter reaches beyond the rows its output covers.
    constexpr int kReach = 2;
    if (width <= 0 || height <= 0 || rgbWidth <= 0 || rgbHeight <= 0) return;
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(width) * 4;
    auto sourceRow = [&](int outputRow) {
        return static_cast<int>(static_cast<std::int64_t>(outputRow) * height / rgbHeight);
    };
    const int bandHeight = std::min(height, sourceRow(kBandRows) + 1 + 2 * kReach + 1);
    band.resize(static_cast<std::size_t>(rowBytes) * bandHeight);
    for (int top = 0; top < rgbHeight; top += kBandRows) {
        const int rows = std::min(kBandRows, rgbHeight - top);
        const int first = std::max(0, sourceRow(top) - kReach);
        const int last = std::min(height - 1, sourceRow(top + rows) + kReach);
        const int count = std::min(last - first + 1, bandHeight);
        libyuv::YUY2ToARGB(yuy2 + static_cast<std::ptrdiff_t>(first) * stride, stride, band.data(),
                           static_cast<int>(rowBytes), width, count);
        // The scaler places its rows by the whole frame's geometry and reads
        // only those of this band, which stand where the frame's would.
        const auto* frame = reinterpret_cast<const std::uint8_t*>(
            reinterpret_cast<std::uintptr_t>(band.data()) -
            static_cast<std::uintptr_t>(first) * static_cast<std::uintptr_t>(rowBytes));
        libyuv::ARGBScaleClip(frame, static_cast<int>(rowBytes), width, height, rgb, rgbStride,
                              rgbWidth, rgbHeight, 0, top, rgbWidth, rows, libyuv::kFilterBilinear);
    }
}

// ---------------------------------------------------------------------------
// Camera still sizes

QSize CameraStillSize(const QString& model, int imageSize) {
    struct Row {
        std::initializer_list<const char*> models;
        QSize sizes[3];
    };
    static const Row kRows[] = {
        {{"Canon 1000D", "Canon 40D", "Canon 1D Mark III", "Canon DIGITAL REBEL XS"},
         {{3888, 2592}, {2816, 1880}, {1936, 1288}}},
        {{"Canon 1100D", "Canon 450D", "Canon DIGITAL REBEL XSi", "Canon DIGITAL REBEL T3"},
         {{4272, 2848}, {3088, 2056}, {2256, 1504}}},
        {{"Canon 500D", "Canon DIGITAL REBEL T1i"}, {{4752, 3168}, {3088, 2056}, {1936, 1288}}},
        {{"Canon 1200D", "Canon 700D", "Canon 600D", "Canon 650D", "Canon 550D", "Canon 60D",
          "Canon 100", "Canon 7D", "Canon 1D X", "Canon 1D C", "Canon DIGITAL REBEL T2i",
          "Canon DIGITAL REBEL T3i", "Canon DIGITAL REBEL T4i", "Canon DIGITAL REBEL T5i",
          "Canon DIGITAL REBEL T5"},
         {{5184, 3456}, {3456, 2304}, {1936, 1288}}},
        {{"Canon 50D"}, {{4752, 3168}, {3456, 2304}, {2352, 1568}}},
        {{"Canon 70D", "Canon 6D"}, {{5472, 3648}, {3468, 2432}, {2736, 1824}}},
        {{"Canon 5D Mark II", "Canon 1Ds Mark III"}, {{4368, 2912}, {3168, 2112}, {2496, 1664}}},
        {{"Canon 1D Mark IV"}, {{5184, 3456}, {3456, 2304}, {2592, 1728}}},
    };
    if (imageSize < 0 || imageSize > 2) return {};
    for (const Row& row : kRows) {
        for (const char* name : row.models) {
            if (model == QLatin1String(name)) return row.sizes[imageSize];
        }
    }
    return {};
}

}  // namespace kolvane
