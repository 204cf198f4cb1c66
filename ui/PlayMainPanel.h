#pragma once

#include <memory>

#include "player/PlayEngine.h"
#include "ui/BasicPanel.h"

namespace kolvane {

// The player view: the window the renderer's back buffer is presented in,
// and the home of the playback engine, which takes the player's commands.
// The info strip, letterbox bars, counter, mouse handling and statistics
// dialog hook into the engine's view calls.
class CPlayMainPanel : public CBasicPanel, public IPlayView {
    Q_OBJECT
  public:
    // `links` names the scene objects; the sink and view are filled in here,
    // and without a tick source and clock the panel uses its own timer on
    // the system's clock.
    CPlayMainPanel(ICommandSink& sink, CPlayEngine::Links links, QWidget* parent);
    ~CPlayMainPanel() override;

    CPlayEngine& Engine() { return *engine_; }
    // "Play once" from the main frame: the view to come back to, then play.
    void PlayOnce(int returnCommand) { engine_->PlayOnce(returnCommand); }
    bool InfoShown() const { return infoShown_; }

    bool OnCommand(int id) override;

    // IPlayView
    bool IsShown() const override { return isVisible(); }
    void PresentFrame() override;
    void Invalidate() override { update(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    CDirect3D& display_;
    std::unique_ptr<IPlayClock> ownClock_;
    std::unique_ptr<ITickSource> ownTimer_;
    std::unique_ptr<CPlayEngine> engine_;  // after what it uses: goes first
    bool infoShown_ = true;
    bool framePresented_ = false;  // the back buffer holds a frame the engine just made
    bool painting_ = false;
};

}  // namespace kolvane
