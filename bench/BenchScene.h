#pragma once
// Set-up the playing benchmarks share: the sheet settled as after an edit,
// and a player view shown on the scene's objects with the benchmark's clock
// and ticks.

#include <memory>

#include <QApplication>
#include <QSize>

#include "engine/Engine.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "ui/PlayMainPanel.h"

namespace bench {

// The frame as seen by the player view: the sheet normalised on request,
// nothing else routed.
class SheetSink final : public kolvane::ICommandSink {
  public:
    explicit SheetSink(kolvane::CXshtList& sheet) : sheet_(sheet) {}
    void SendCommand(int id) override {
        if (id == kolvane::cmd::kSheetChanged) sheet_.Normalise();
    }
    void PostCommand(int) override {}

  private:
    kolvane::CXshtList& sheet_;
};

// Normalised, summaries recomputed and at frame 0, as an edit of the sheet ends.
inline void Settle(kolvane::CEngine& objects) {
    objects.sheet.Normalise();
    objects.media.RecomputeSummaries();
    objects.sheet.RecomputeSummaries();
    objects.sheet.SetCurrentFrame(0);
}

// A player view of `size` on `objects`, shown, ticking on `ticks` by `clock`;
// none when it could not be shown.
inline std::unique_ptr<kolvane::CPlayMainPanel> ShowPlayer(kolvane::CEngine& objects,
                                                           kolvane::ICommandSink& sink,
                                                           kolvane::IPlayClock& clock,
                                                           kolvane::ITickSource& ticks,
                                                           QSize size) {
    kolvane::CPlayEngine::Links links = objects.PlayLinks();
    links.clock = &clock;
    links.ticks = &ticks;
    auto view = std::make_unique<kolvane::CPlayMainPanel>(sink, links, nullptr);
    view->resize(size);
    view->show();
    QApplication::processEvents();
    if (!view->isVisible()) view.reset();
    return view;
}

}  // namespace bench
