#pragma once

#include <functional>

#include <QImage>
#include <QStringList>

#include "capture/VideoView.h"
#include "ui/BasicPanel.h"

namespace kolvane {

class CAnim;
class CAnimDialog;
class CCaptureGraph;
class CDirect3D;
class CNode;
class CSettings;
class CStripBar;
class CXshtList;
class ISheetHistory;

// The letterbox bars over a video placed at `video` in a client of `client`
// for `GrabLetterbox`: both rectangles empty when the setting hides them or
// the picture is already as wide as the aspect asks.
struct LetterboxBars {
    QRect top;
    QRect bottom;
    QString text;  // the ratio that remains, "2.35:1"
};
LetterboxBars PlaceLetterbox(const QRect& video, QSize client, int letterbox);

// The grabber's main panel: the live video of the capture graph, painted
// into the fit rectangle with the onion skin over it, black where the video
// does not reach, or the grabbed image being browsed in the image window; the
// letterbox bars and the status line over either. It forwards the capture
// graph's commands, starts the device search when it is made, grabs on a
// click and runs the "Set grab level" dialog.
class CGrabMainPanel : public CBasicPanel, public IVideoView {
    Q_OBJECT
  public:
    // What the status line shows of the grabber: the next image's name and
    // how many images still fit in memory for a video at the given place
    // (negative: unknown).
    struct StatusHooks {
        std::function<QString()> nextImageName;
        std::function<int(const QRect& videoRect)> freeImages;
    };

    CGrabMainPanel(ICommandSink& sink, CCaptureGraph& graph, CSettings& settings, QWidget* parent);
    ~CGrabMainPanel() override;

    void SetStatusHooks(StatusHooks hooks);
    // The grabber's own commands (Grab, Regrab, browsing, the overlay),
    // offered before the panel's.
    void SetGrabberCommands(ICommandTarget* commands) { grabberCommands_ = commands; }
    // The grabbed image shown instead of the live video (Show Prev and Next,
    // Loop Selected), or none for the live video.
    void SetShownImage(std::function<const CNode*()> shown);
    // The renderer that draws the shown image (none: the panel scales it).
    void SetDisplay(CDirect3D* display) { display_ = display; }
    // The level grabs are named after, for "Set grab level" (32852).
    void SetGrabLevel(CAnim* level, CXshtList& sheet, ISheetHistory& history);
    // Told of every frame painted, after its paint (for measurements).
    void SetPaintObserver(std::function<void(const CVideoFrame&)> observer) {
        paintObserver_ = std::move(observer);
    }
    // The shown image or the grab state changed: paint again.
    void Refresh();

    CCaptureGraph& Graph() { return graph_; }
    bool CompanionsShown() const { return companions_; }
    CStripBar* ImageWindow() const { return imageWindow_; }
    CStripBar* TopBar() const { return topBar_; }
    CStripBar* BottomBar() const { return bottomBar_; }
    CStripBar* StatusLine() const { return statusLine_; }
    CAnimDialog* GrabLevelDialog() const { return grabLevelDialog_; }

    // The four texts of the status line, left to right, as they are now.
    QStringList StatusTexts() const;
    // The letterbox bars' rectangles (empty when hidden) and the ratio text.
    QRect TopBarRect() const;
    QRect BottomBarRect() const;
    QString LetterboxText() const;

    bool OnCommand(int id) override;

    // IVideoView
    bool IsShown() const override { return isVisible(); }
    QSize ClientSize() const override { return size(); }
    void RepaintVideo() override;

  protected:
    void PaintPanel(QPainter& painter) override;
    void LayoutChildren() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    const CNode* ShownImage() const;
    // Shows the image window while a loaded picture is shown; true when it
    // is visible.
    bool PlaceImageWindow();
    void PlaceBars();
    LetterboxBars Bars() const;
    void PaintImage(QPainter& painter, const QRect& rect);
    void PaintStatus(QPainter& painter, const QRect& rect);
    void PaintTopBar(QPainter& painter, const QRect& rect);
    void ToggleCompanions(bool on);
    void StartClickGrab(Qt::KeyboardModifiers modifiers);
    void EndClickGrab(Qt::KeyboardModifiers modifiers);
    void PostGrabKey(bool press, Qt::KeyboardModifiers modifiers);
    void RunGrabLevelDialog();
    void StatusChanged();

    CCaptureGraph& graph_;
    CSettings& settings_;
    StatusHooks hooks_;
    ICommandTarget* grabberCommands_ = nullptr;
    std::function<const CNode*()> shownImage_;
    CDirect3D* display_ = nullptr;
    CAnim* grabLevel_ = nullptr;
    CAnimDialog* grabLevelDialog_ = nullptr;
    std::function<void(const CVideoFrame&)> paintObserver_;
    CStripBar* imageWindow_ = nullptr;
    CStripBar* topBar_ = nullptr;
    CStripBar* bottomBar_ = nullptr;
    CStripBar* statusLine_ = nullptr;
    // What the image window shows: the item and its picture's key.
    const CNode* imageDrawn_ = nullptr;
    qint64 imageKey_ = 0;
    QImage overlayScaled_;  // the onion skin at its place's size, faded to its opacity
    // What the bars and the status line were placed for.
    QRect videoShown_;
    int sourceShown_ = 0;
    QRect grabShown_;
    qint64 overlayKey_ = 0;
    qreal overlayFade_ = -1;  // the opacity overlayScaled_ is faded to
    // The status texts as last painted, made again when something they show
    // changed or a second passed: the next name searches the media list and
    // the memory estimate reads the system's figures.
    QStringList statusShown_;
    bool companions_ = true;
    bool clickGrabbing_ = false;
    bool dialogHiddenWithPanel_ = false;
};

}  // namespace kolvane
