#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <list>
#include <memory>

#include <QDateTime>
#include <QImage>
#include <QRect>
#include <QString>
#include <QTimer>

#include "capture/GrabSource.h"
#include "display/ImageFiles.h"
#include "platform/Commands.h"
#include "platform/MemoryLoad.h"
#include "platform/Progress.h"
#include "platform/ResultCodes.h"

namespace kolvane {

class CAnim;
class CDirect3D;
class CMdiaList;
class CNode;
class CSettings;
class CStorage;
class CTitleBar;
class CUndo;
class CXshtList;
class IGrabSounds;

// The title of the camera download's progress window.
inline constexpr int kTakingPictureTitle = 40208;

// The grabber: turns the live picture into the scene's images. Grab writes
// the frame as the grab level's next image into the Grab folder, adds it to
// the media list and places it on the exposure sheet; Regrab gives the one
// selected image a new picture. It also composes the lightbox overlay (the
// onion skin over the live video), steps through and loops the grabbed
// images in place of the live video, and estimates how many more images fit
// in memory. User-interface thread only; the grabber panel calls it.
//
// A grab is on disk (written whole, synced) and on the sheet (kept as the
// newest undo snapshot) before it is announced, so a crash loses at most the
// grab in flight.
class CGrabber {
  public:
    struct Links {
        CSettings* settings = nullptr;
        CMdiaList* media = nullptr;
        CXshtList* sheet = nullptr;
        CTitleBar* title = nullptr;
        CStorage* storage = nullptr;   // the Grab folder
        CDirect3D* display = nullptr;  // textures; may be none (kolvane-tool)
        CUndo* undo = nullptr;
        CAnim* grabLevel = nullptr;
        IGrabSource* source = nullptr;
        IGrabSounds* sounds = nullptr;     // may be none: silence
        ICommandSink* commands = nullptr;  // may be none
        // Where grabs are written, ending in "/"; empty: the Grab folder.
        QString folder;
    };
    // Writes a frame as a PNG file (the real writer unless a test injects
    // faults): 0 or an errno.
    using FrameWriter = std::function<Result(const CGrabbedFrame& frame, const QString& path)>;
    using Wait = std::function<void(std::chrono::milliseconds)>;

    static constexpr std::chrono::milliseconds kLoopInterval{333};
    static constexpr std::chrono::milliseconds kCameraPoll{50};

    explicit CGrabber(Links links);
    ~CGrabber();
    CGrabber(const CGrabber&) = delete;
    CGrabber& operator=(const CGrabber&) = delete;

    void SetFrameWriter(FrameWriter writer);
    void SetWait(Wait wait) { wait_ = std::move(wait); }
    void SetMemoryStatusSource(MemoryStatusSource source) { memory_ = std::move(source); }
    // Called when the panel should paint again (the shown image changed).
    void SetRepaint(std::function<void()> repaint) { repaint_ = std::move(repaint); }

    // ---- commands (the panel forwards them; results are for its message box)

    // Grab (32853). `exposures` 0 places the image DefTiming times; the
    // numeric keypad passes 1 to 9 instead, leaving the setting alone.
    // `progress` shows a camera download (none: no window). kOk when an
    // image was grabbed; kFail when the grab ended without a message (no
    // graph, no frame, a cancelled download); else a message number or the
    // errno of a write that failed (see FailureText).
    Result Grab(int exposures = 0, IProgress* progress = nullptr);
    // Regrab (32854): the one selected image of the image level gets a new
    // picture under its own name; it keeps its cells. Results as Grab.
    Result Regrab(IProgress* progress = nullptr);
    // Show Prev / Show Next (32855 / 32856).
    void ShowPrev();
    void ShowNext();
    // 33018: the shown image is dropped when it left the image level.
    void ForgetShownImageIfGone();
    // Loop Selected (32857): starts or stops the loop; answers 60100 when it
    // starts with nothing selected (it starts all the same).
    Result ToggleLoop();
    void StopLoop();
    bool IsLooping() const { return loopTimer_.isActive(); }
    // One step of the loop (the timer's, every 333 ms).
    void LoopTick();
    // 33028: composes the lightbox overlay by `Lightbox` and hands it to the
    // source.
    void RecomposeOverlay();
    // 33017: the grab level's next number again from its name.
    void RefreshGrabLevel();

    // The menu's rules: Grab while the source is ready; Regrab also needs
    // exactly one selected image.
    bool CanGrab() const;
    bool CanRegrab() const;

    // "image memory: %d free": how many more images of the size a grab gives
    // fit into the memory still available. `videoRect` is the video's place
    // on the screen.
    int EstimateFreeImages(const QRect& videoRect) const;

    // The text the message box shows for a result of Grab or Regrab (empty
    // for kOk and kFail): a failed write reads "Can't save the image: " and
    // the system's reason.
    static QString FailureText(Result result);

    // The image shown instead of the live video, or none.
    CNode* ShownImage() const { return shown_; }
    CNode* LastGrabbed() const { return lastGrabbed_; }
    const QImage& Overlay() const { return overlay_; }
    // What the denoise wait is at the current settings.
    // Waits DenoiseWait for the adjustment element's history to fill with
    // frames taken after the key press.
    void WaitForFreshFrames();
    std::chrono::milliseconds DenoiseWait() const;

  private:
    // The picture of a grabbed frame, and its texture when there is a view.
    struct MadePicture {
        QImage picture;
        DecodedImage texture;
    };
    // A picture being taken: a camera's still is on disk already; a frame's
    // file is still to be written, while a worker makes its picture.
    struct PendingPicture {
        QString path;
        std::shared_ptr<const CGrabbedFrame> frame;  // until written
        Result result = kFail;
        std::future<MadePicture> making;
        MadePicture made;
        // Waits for the worker; what it made, again on later calls.
        MadePicture& Made();
    };
    struct CachedPicture {
        QString path;
        QDateTime modified;
        qint64 size = 0;
        QImage image;
    };

    QString Folder() const;
    CNode* ImageLevel() const;
    bool InImageLevel(const CNode* item) const;
    CNode* SingleSelectedImage() const;
    bool IsCameraStill() const;
    Result TakeCameraStill(const QString& basePath, IProgress* progress);
    void StartMaking(PendingPicture& pending);
    // Takes the camera's still, or the frame whose file is `base` plus its
    // extension; a worker starts making the frame's picture and texture.
    Result StartPicture(const QString& base, bool camera, IProgress* progress,
                        PendingPicture& pending);
    // Writes a frame's file on this thread: its result, again on later calls.
    Result WritePicture(PendingPicture& pending);
    // The file written and the picture made: the write's result; the picture
    // kept for the overlay.
    Result FinishPicture(PendingPicture& pending);
    void OrientCameraJpeg(const QString& path);
    bool PictureLoaded(CNode* item, DecodedImage texture);
    void RemoveItem(CNode* item);
    void SelectForLightbox(CNode* item);
    void SetOverlay(const QImage& overlay);
    QImage LoadPicture(const CNode* item);
    void Remember(const QString& path, const QImage& image);
    void SetShown(CNode* item);
    void Repaint();
    void Send(int command);

    Links links_;
    FrameWriter writeFrame_;
    Wait wait_;
    MemoryStatusSource memory_;
    std::function<void()> repaint_;
    CNode* lastGrabbed_ = nullptr;
    CNode* shown_ = nullptr;
    QImage overlay_;
    QTimer loopTimer_;
    // Written by the camera's thread while a still downloads: it lives as
    // long as the grabber so that a late write after a cancel lands here.
    std::atomic<int> cameraProgress_{0};
    std::list<CachedPicture> pictures_;  // the overlay's last pictures, newest first
};

}  // namespace kolvane
