#include "ui/PlayMainPanel.h"

#include <QPainter>

#include "display/Direct3D.h"
#include "platform/Commands.h"

namespace kolvane {
namespace {
const QColor kPlayBase(100, 120, 130);
}

CPlayMainPanel::CPlayMainPanel(ICommandSink& sink, CPlayEngine::Links links, QWidget* parent)
    : CBasicPanel(sink, kPlayBase, parent), display_(*links.display) {
    links.sink = &sink;
    links.view = this;
    if (links.clock == nullptr) {
        ownClock_ = std::make_unique<CSteadyPlayClock>();
        links.clock = ownClock_.get();
    }
    if (links.ticks == nullptr) {
        ownTimer_ = std::make_unique<CPlayTimer>(*links.clock);
        links.ticks = ownTimer_.get();
    }
    engine_ = std::make_unique<CPlayEngine>(links);
}

CPlayMainPanel::~CPlayMainPanel() = default;

bool CPlayMainPanel::OnCommand(int id) {
    if (id == cmd::kPlayerDisplaySettings) {
        infoShown_ = true;
        if (!engine_->IsPlaying()) update();
        return true;
    }
    return engine_->OnCommand(id);
}

void CPlayMainPanel::PresentFrame() {
    if (painting_) return;  // the paint under way shows it
    framePresented_ = true;
    repaint();
}

void CPlayMainPanel::paintEvent(QPaintEvent*) {
    // A paint the engine did not ask for (exposed, invalidated) draws the
    // current frame anew; during a run the next tick does that, and drawing
    // here would write its sound a second time.
    if (!framePresented_ && !engine_->IsPlaying()) {
        painting_ = true;
        engine_->ShowFrame();
        painting_ = false;
    }
    framePresented_ = false;
    QPainter painter(this);
    if (display_.HasDevice()) {
        display_.Present(painter, rect());
    } else {
        painter.fillRect(rect(), Qt::black);
    }
}

void CPlayMainPanel::showEvent(QShowEvent* event) {
    CBasicPanel::showEvent(event);
    engine_->ViewShown(true);
}

void CPlayMainPanel::hideEvent(QHideEvent* event) {
    CBasicPanel::hideEvent(event);
    engine_->ViewShown(false);
}

}  // namespace kolvane
