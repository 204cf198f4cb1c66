#pragma once

#include <functional>

#include <QImage>

#include "capture/VideoView.h"
#include "ui/BasicPanel.h"

namespace kolvane {

class CCaptureGraph;
class CSettings;
class CStripBar;

// The grabber's main panel: the live video of the capture graph, painted
// into the fit rectangle with the onion skin over it, black where the video
// does not reach, the letterbox bars and the status line. It forwards the
// capture graph's commands and starts the device search when it is made.
class CGrabMainPanel : public CBasicPanel, public IVideoView {
    Q_OBJECT
  public:
    // What the status line shows of the grabber: the next image's name and
    // how many images still fit in memory (negative: unknown).
    struct StatusHooks {
        std::function<QString()> nextImageName;
        std::function<int()> freeImages;
    };

    CGrabMainPanel(ICommandSink& sink, CCaptureGraph& graph, CSettings& settings, QWidget* parent);
    ~CGrabMainPanel() override;

    void SetStatusHooks(StatusHooks hooks) { hooks_ = std::move(hooks); }
    // The grabber's own commands (Grab, Regrab, browsing, the overlay),
    // offered before the panel's.
    void SetGrabberCommands(ICommandTarget* commands) { grabberCommands_ = commands; }
    // A grabbed picture shown instead of the live video (Show Prev and
    // Next, Loop Selected); a null image shows the live video.
    void SetShownPicture(std::function<QImage()> picture) { shownPicture_ = std::move(picture); }
    // Told of every frame painted, after its paint (for measurements).
    void SetPaintObserver(std::function<void(const CVideoFrame&)> observer) {
        paintObserver_ = std::move(observer);
    }
    CCaptureGraph& Graph() { return graph_; }
    bool CompanionsShown() const { return companions_; }

    // The four texts of the status line, left to right.
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
    void PlaceBars();
    void PaintStatus(QPainter& painter, const QRect& rect);
    void PaintTopBar(QPainter& painter, const QRect& rect);
    void ToggleCompanions(bool on);
    void PostGrabKey(bool press, Qt::KeyboardModifiers modifiers);
    int LetterboxHeight(const QRect& video) const;

    CCaptureGraph& graph_;
    CSettings& settings_;
    StatusHooks hooks_;
    ICommandTarget* grabberCommands_ = nullptr;
    std::function<QImage()> shownPicture_;
    std::function<void(const CVideoFrame&)> paintObserver_;
    CStripBar* topBar_ = nullptr;
    CStripBar* bottomBar_ = nullptr;
    CStripBar* statusLine_ = nullptr;
    QImage overlayScaled_;  // the onion skin at its place's size
    qint64 overlayKey_ = 0;
    bool companions_ = true;
    bool clickGrabbing_ = false;
};

}  // namespace kolvane
