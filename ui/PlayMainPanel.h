#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QPointer>

#include "player/PlayEngine.h"
#include "ui/BasicPanel.h"

namespace kolvane {

class CPlayStatsDialog;
class CStripBar;

// The player view: the window the renderer's back buffer is presented in,
// and the home of the playback engine, which takes the player's commands.
// Around the picture it shows the letterbox bars, the frame counter and the
// info strip (one box per column the editor shows); the mouse plays (left
// button), scrubs (middle button, one frame a pixel or three with Alt) and
// steps (wheel), and the right button hides and shows the bars and strip.
class CPlayMainPanel : public CBasicPanel, public IPlayView {
    Q_OBJECT
  public:
    // How the editor divides its width: the info strip's boxes line up with it.
    struct EditorColumns {
        int counterWidth = 0;  // the frame-number column
        int firstColumn = 0;   // the first column shown
        int visibleColumns = 1;
    };

    // One box of the info strip, as painted.
    struct StripBox {
        QRect rect;
        QColor fill;
        QColor textColour;
        QString text;
        int flags = 0;
    };

    // `links` names the scene objects; the sink and view are filled in here,
    // and without a tick source and clock the panel uses its own timer on
    // the system's clock.
    CPlayMainPanel(ICommandSink& sink, CPlayEngine::Links links, QWidget* parent);
    ~CPlayMainPanel() override;

    CPlayEngine& Engine() { return *engine_; }
    // "Play once" from the main frame: the view to come back to, then play.
    void PlayOnce(int returnCommand) { engine_->PlayOnce(returnCommand); }
    bool InfoShown() const { return infoShown_; }
    void SetEditorColumns(std::function<EditorColumns()> columns) {
        editorColumns_ = std::move(columns);
    }

    CStripBar* TopBar() const { return topBar_; }
    CStripBar* BottomBar() const { return bottomBar_; }
    CStripBar* InfoStrip() const { return infoStrip_; }
    CPlayStatsDialog& StatsDialog() const;
    // What the overlays show now (view coordinates).
    int BarHeight() const { return barHeight_; }
    const QString& AspectText() const { return aspectText_; }
    QRect CounterRect() const { return counterRect_; }
    const QString& StripFrameText() const { return stripFrameText_; }
    const std::vector<StripBox>& StripBoxes() const { return stripBoxes_; }
    // The picture rectangle in view coordinates.
    QRect PictureRect() const;

    bool OnCommand(int id) override;

    // IPlayView
    bool IsShown() const override { return isVisible(); }
    void PresentFrame() override;
    void Invalidate() override { update(); }
    void DrawOverlays() override;
    void HideInfoStripForRun() override;
    void RestoreInfoStrip() override;
    void ShowStatistics(const PlayStatistics& statistics) override;
    void CloseStatistics() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void DrawLetterbox();
    void DrawCounter();
    void UpdateInfoStrip();
    void PaintBar(QPainter& painter, const QRect& rect, bool top) const;
    void PaintStrip(QPainter& painter, const QRect& rect) const;
    void RightClick();
    void ShowInfo();
    bool LetterboxActive() const;
    EditorColumns Columns() const;
    // The play key (Space, or Enter with the keys swapped) to the main window.
    void PostPlayKey(bool down);
    // Back-buffer and view coordinates (the buffer is presented scaled).
    QRect ToView(const QRect& bufferRect) const;
    QRect ToBuffer(const QRect& viewRect) const;

    CDirect3D& display_;
    const CSettings& settings_;
    CXshtList& sheet_;
    std::unique_ptr<IPlayClock> ownClock_;
    std::unique_ptr<ITickSource> ownTimer_;
    std::unique_ptr<CPlayEngine> engine_;  // after what it uses: goes first
    // A window of the main frame's: the frame may delete it first.
    QPointer<CPlayStatsDialog> stats_;
    CStripBar* topBar_ = nullptr;
    CStripBar* bottomBar_ = nullptr;
    CStripBar* infoStrip_ = nullptr;
    std::function<EditorColumns()> editorColumns_;
    bool infoShown_ = true;
    int barHeight_ = 0;  // 0: not yet worked out for this paint
    QString aspectText_;
    QRect counterRect_;
    QString stripFrameText_;
    std::vector<StripBox> stripBoxes_;
    std::optional<int> scrubFrame_;
    int scrubX_ = 0;
    bool framePresented_ = false;  // the back buffer holds a frame the engine just made
    bool painting_ = false;
};

}  // namespace kolvane
