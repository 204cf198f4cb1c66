#pragma once

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QImage>
#include <QObject>
#include <QRect>
#include <QRectF>
#include <QTimer>

#include "capture/DeviceNode.h"
#include "capture/GrabSource.h"
#include "capture/VideoDevices.h"
#include "capture/VideoModes.h"
#include "capture/VideoView.h"
#include "platform/Commands.h"
#include "platform/GstPtr.h"
#include "platform/ResultCodes.h"

namespace kolvane {

class CSettings;
class IZantho;
class IQuorrel;

// The grabber's live video: finds the video source by itself (device by
// device, and input by input on a capture card, until the kind of source
// matches the `VideoInput` setting), chooses the capture format from
// `VideoQuality`, and runs the preview
//   source ! capsfilter ! [decoder] ! videoconvert ! zantho ! appsink
// whose frames the grabber view paints with the overlay over them. The
// adjustment element's bus messages and the plugging of devices arrive as
// graph events on the user-interface thread, which does all of the work
// here; a camera source is driven through its IQuorrel.
class CCaptureGraph : public IGrabSource, public ICommandTarget {
  public:
    struct Options {
        // The elements the preview cannot run without (tests name missing ones).
        const char* adjustFactory = "zantho";
        const char* sinkFactory = "appsink";
        VideoDeviceMode devices = VideoDeviceModeFromEnvironment();
        DeviceNodeOpener openNode = OpenV4l2Node;
        std::chrono::milliseconds keepAwakeInterval{300000};
        // Wait before the next device after a pipeline error, so that a
        // broken device is not retried at full speed.
        std::chrono::milliseconds errorRetryDelay{1000};
    };

    explicit CCaptureGraph(CSettings& settings) : CCaptureGraph(settings, Options()) {}
    CCaptureGraph(CSettings& settings, Options options);
    ~CCaptureGraph() override;
    CCaptureGraph(const CCaptureGraph&) = delete;
    CCaptureGraph& operator=(const CCaptureGraph&) = delete;

    // 60106 "not correctly installed" when the adjustment element is
    // missing, 60105 when the sink is; 0 when the graph exists. The panel
    // shows it once.
    int ConstructionError() const { return constructionError_; }

    // Where the graph posts its commands (32851, 33020, 33023, 32853, 33028).
    void SetCommandSink(ICommandSink* sink) { sink_ = sink; }
    // The "play beep" motion command's sound.
    void SetBeeper(std::function<void()> beep) { beep_ = std::move(beep); }
    // Binds the view; kFail without a graph or when one is bound already.
    // On success the caller issues 32850 to start the search.
    Result AttachWindow(IVideoView* view);
    // Unbinds the view and stops the preview (the view goes away).
    void DetachWindow();

    // Queries.
    bool HasGraph() const override { return adjust_ != nullptr && appsink_ != nullptr; }
    bool IsGraphBuilt() const { return graphBuilt_; }
    bool IsVideoPresent() const override { return videoPresent_; }
    int DeviceCount() const { return deviceCount_; }
    bool HasVideoDisplay() const { return view_ != nullptr; }
    int SourceKind() const override;
    bool IsReadyToGrab() const override;
    // The string number of the status text (40600-40609).
    int StatusTextId() const;
    QString StatusText() const;
    QString DeviceName() const;  // the display name of the device in use
    int DeviceIndex() const { return deviceIndex_; }

    // Graph life.
    void ResetSearch();
    int OpenNextDevice();  // 0 when a source was opened, 1 otherwise
    Result RouteNextInput();
    void ChooseFormat();
    void BuildPreview();
    void SetDvResolution();
    void ResetProcAmp();
    void TearDown();
    void RunPreview(bool run);
    int AcceptSource();
    void HandleGraphEvents();

    // The connect sequence (32851): the next input or device. 1 when no
    // device could be opened.
    int Connect();
    // 32850: search again from the first device for the current input kind.
    int RestartSearch();
    // 32860: a new format on the same device when quality or input changed.
    void ChangeFormat();
    // The capture graph's commands (32850, 32851, 32860-32867).
    bool OnCommand(int id) override;

    // Display geometry in the view's client area.
    void PositionVideo();
    QRect GetVideoRect() const;  // empty unless a picture is present
    QRect FitRect() const { return fitRect_; }

    // Picture settings from the settings record: 0, or 1 without the
    // adjustment element.
    int ApplyAdjustments();
    int ApplyOpacity();
    int ApplyDenoise();
    int ApplyOrientation();
    int ApplyMotionCommand();

    // Camera: 0, or 1 when the source is not the camera.
    int ApplyCameraSettings();
    int SaveCameraSettings();
    int RestoreCameraSettings();
    int TakeCameraPicture(const QString& basePath, std::atomic<int>* progress) override;
    QString CameraName() const override { return cameraName_; }

    // Frames.
    QRect GetFrameRect() const override;
    CGrabbedFrame GrabFrame() override;
    QRect GetGrabSize() const override;
    // The newest preview frame (shared, not copied), at the size it is shown
    // when that is smaller than the frame.
    CVideoFrame LatestFrame() const;

    // The overlay the view blends over the video: the picture, where it goes
    // in the video rectangle (0..1 on each axis) and its opacity.
    void SetOverlay(const QImage& overlay) override;
    const QImage& Overlay() const { return overlay_; }
    QRectF OverlayPlacement() const { return overlayPlacement_; }
    float OverlayOpacity() const { return overlayOpacity_; }

    // For tests and tools: the elements in use.
    GstElement* SourceElement() const { return source_.get(); }
    GstElement* AdjustElement() const { return adjust_.get(); }
    GstElement* Pipeline() const { return pipeline_.get(); }

  private:
    enum class EventKind {
        Running,
        DeviceRemoved,
        DeviceBack,
        DeviceAdded,
        Froze,
        Live,
        Motion,
        Still,
        Error
    };
    struct GraphEvent {
        EventKind kind;
        unsigned generation;
    };
    struct BusContext;

    static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer context);
    static GstFlowReturn OnNewSample(GstElement* sink, gpointer self);
    static GstPadProbeReturn OnDvCaps(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    void ScaleDv();
    void QueueEvent(EventKind kind, unsigned generation);
    void OnDeviceChange(GstDevice* device, bool added);
    bool TakeEvent(GraphEvent& event);
    IZantho* Zantho() const;
    IQuorrel* Quorrel() const;
    GstState CurrentState() const;
    bool LinkDecoder(GstElement* from, const CVideoMode* mode);
    void PostToSink(int command);
    void RequestConnect();
    void OnFrameReady();
    void StartKeepAwake();
    void StopKeepAwake();
    void KeepAwakePulse();

    CSettings& settings_;
    Options options_;
    int constructionError_ = 0;
    ICommandSink* sink_ = nullptr;
    std::function<void()> beep_;
    IVideoView* view_ = nullptr;
    // Queued calls from GStreamer threads land here; it goes first at the
    // end, so none runs on a half-destroyed graph.
    std::unique_ptr<QObject> uiContext_;

    bool graphBuilt_ = false;
    bool videoPresent_ = false;
    bool grabEnabled_ = true;
    bool hasCrossbar_ = false;
    bool tunerRouted_ = false;
    bool hasDvDecoder_ = false;
    bool hdDevice_ = false;
    bool cameraSource_ = false;
    bool deviceLost_ = false;      // the device in use was unplugged
    bool connectPending_ = false;  // a 32851 is posted and has not run yet
    int triesLeft_ = 0;
    int deviceCount_ = 0;
    int deviceIndex_ = 0;
    int crossbarInput_ = 0;
    int rememberedInput_ = -1;
    int rememberedQuality_ = -1;
    QString cameraName_;

    std::unique_ptr<CVideoDeviceList> devices_;
    GstDevicePtr device_;
    GstElementPtr source_;
    std::vector<CVideoMode> modes_;
    GstCapsPtr chosenCaps_;
    GstElementPtr adjust_;
    GstElementPtr appsink_;
    GstElementPtr pipeline_;
    GstElement* dvScale_ = nullptr;  // the DV branch's size filter, in the pipeline
    int dvDivisor_ = 1;
    QSize dvSize_;  // the DV camera's own size, once its decoder has told it
    std::atomic<unsigned> generation_{0};

    std::mutex eventLock_;
    std::deque<GraphEvent> events_;

    mutable std::mutex frameLock_;
    CVideoFrame latest_;
    QImage spare_;                       // the frame before last, reused when nobody holds it
    QSize paintSize_;                    // where the view shows the video; frames are shrunk to it
    QSize sourceSize_;                   // the newest frame's own size
    std::vector<std::uint8_t> scratch_;  // streaming thread: converted rows before shrinking
    std::uint64_t frameSequence_ = 0;
    bool repaintPending_ = false;

    QSize shownFrameSize_;  // UI thread: the size the video was last placed for
    QRect fitRect_;
    QImage overlay_;
    QRectF overlayPlacement_{0, 0, 1, 1};
    float overlayOpacity_ = 0.5f;

    QTimer keepAwake_;
    QTimer errorRetry_;
};

// The still size of a camera model for image size 0 (L), 1 (M) or 2 (S);
// empty for a model not known.
QSize CameraStillSize(const QString& model, int imageSize);

// The overlay's place in the video frame (0..1): fitted keeping its aspect,
// across the full width when it is wider than the frame, else the full
// height; the whole frame without a bitmap or before the frame has a size.
QRectF OverlayPlacementFor(QSize bitmap, QSize frame);

// A YUY2 frame converted to RGB32 and shrunk (bilinear) to a smaller size:
// the pixels of converting the whole frame and then scaling it, made a band
// of rows at a time so that the converted rows are read back from the cache
// instead of memory. `band` is working space kept between frames.
void ShrinkYuy2ToRgb32(const std::uint8_t* yuy2, int stride, int width, int height,
                       std::uint8_t* rgb, int rgbStride, int rgbWidth, int rgbHeight,
                       std::vector<std::uint8_t>& band);

}  // namespace kolvane
