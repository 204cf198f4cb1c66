#include "ui/GrabMainPanel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "capture/CaptureGraph.h"
#include "platform/StringTable.h"
#include "settings/Settings.h"
#include "ui/StripBar.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

const QColor kGrabBase(100, 120, 130);
const QColor kStatusText(190, 200, 200);

constexpr int kLetterboxOff = 133;
constexpr int kLetterboxStretch = 255;

}  // namespace

CGrabMainPanel::CGrabMainPanel(ICommandSink& sink, CCaptureGraph& graph, CSettings& settings,
                               QWidget* parent)
    : CBasicPanel(sink, kGrabBase, parent), graph_(graph), settings_(settings) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    topBar_ = new CStripBar(this);
    bottomBar_ = new CStripBar(this);
    statusLine_ = new CStripBar(this);
    topBar_->SetPainter(
        [this](QPainter& painter, const QRect& rect) { PaintTopBar(painter, rect); });
    bottomBar_->SetPainter(
        [](QPainter& painter, const QRect& rect) { painter.fillRect(rect, Qt::black); });
    statusLine_->SetPainter(
        [this](QPainter& painter, const QRect& rect) { PaintStatus(painter, rect); });
    for (CStripBar* bar : {topBar_, bottomBar_, statusLine_}) {
        connect(bar, &CStripBar::Pressed, this, [this](Qt::MouseButton button, QPoint) {
            if (button == Qt::RightButton) ToggleCompanions(!companions_);
        });
    }
    graph_.SetBeeper([] { QApplication::beep(); });
    graph_.SetCommandSink(&sink);
    // The search starts once the frame that routes the graph's commands is
    // whole; the panel is where 32850 ends anyway.
    if (graph_.HasGraph() && graph_.AttachWindow(this) == kOk) {
        QTimer::singleShot(0, this, [this] { OnCommand(cmd::kReopenVideoInput); });
    }
}

CGrabMainPanel::~CGrabMainPanel() {
    graph_.DetachWindow();
    graph_.SetCommandSink(nullptr);
    graph_.SetBeeper(nullptr);
}

bool CGrabMainPanel::OnCommand(int id) {
    if (grabberCommands_ != nullptr && grabberCommands_->OnCommand(id)) return true;
    switch (id) {
        case cmd::kGrabberDisplaySettings:
            ToggleCompanions(true);
            graph_.PositionVideo();
            PlaceBars();
            update();
            return true;
        case cmd::kGrabberRefresh:
            // The grabber's overlay refresh joins here.
            graph_.ApplyOrientation();
            if (isVisible()) update();
            return true;
        default:
            break;
    }
    if (!graph_.OnCommand(id)) return false;
    RepaintVideo();
    return true;
}

void CGrabMainPanel::RepaintVideo() {
    if (!isVisible()) return;
    PlaceBars();
    update();
}

void CGrabMainPanel::showEvent(QShowEvent* event) {
    CBasicPanel::showEvent(event);
    graph_.RunPreview(true);
}

void CGrabMainPanel::hideEvent(QHideEvent* event) {
    CBasicPanel::hideEvent(event);
    graph_.RunPreview(false);
}

void CGrabMainPanel::LayoutChildren() {
    graph_.PositionVideo();
    PlaceBars();
}

// ---------------------------------------------------------------------------
// Painting

void CGrabMainPanel::PaintPanel(QPainter& painter) {
    const QRect video = graph_.GetVideoRect();
    if (const QImage shown = shownPicture_ ? shownPicture_() : QImage();
        !shown.isNull() && !video.isEmpty()) {
        painter.fillRect(rect(), Qt::black);
        painter.drawImage(video, shown);
        return;
    }
    painter.save();
    QRegion outside(rect());
    const CVideoFrame frame = graph_.LatestFrame();
    const bool showVideo = !video.isEmpty() && !frame.IsEmpty();
    if (showVideo) outside -= QRegion(video);
    painter.setClipRegion(outside);
    painter.fillRect(rect(), Qt::black);
    painter.restore();
    if (showVideo) {
        painter.save();
        painter.drawImage(video, frame.image);
        const QImage& overlay = graph_.Overlay();
        if (!overlay.isNull()) {
            const QRectF place = graph_.OverlayPlacement();
            const QRectF target(video.left() + place.left() * video.width(),
                                video.top() + place.top() * video.height(),
                                place.width() * video.width(), place.height() * video.height());
            // Scaled once for its place, not at every frame.
            const QRect spot = target.toAlignedRect();
            if (overlayKey_ != overlay.cacheKey() || overlayScaled_.size() != spot.size()) {
                overlayScaled_ =
                    overlay.scaled(spot.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
                overlayKey_ = overlay.cacheKey();
            }
            painter.setOpacity(graph_.OverlayOpacity());
            painter.drawImage(spot.topLeft(), overlayScaled_);
        }
        painter.restore();
        if (paintObserver_) paintObserver_(frame);
    }
}

int CGrabMainPanel::LetterboxHeight(const QRect& video) const {
    const int aspect = settings_.Get(GrabLetterbox);
    if (aspect <= 0 || aspect == kLetterboxOff || aspect == kLetterboxStretch) return -1;
    const int x1 = video.left();
    const int x2 = video.left() + video.width();
    const int y1 = video.top();
    const int y2 = video.top() + video.height();
    int h = (x1 - x2) * 100 / aspect;
    h = (h + y2 - y1) / 2;
    return h;
}

QRect CGrabMainPanel::TopBarRect() const {
    const QRect video = graph_.GetVideoRect();
    const int h = LetterboxHeight(video);
    if (h < 0 || video.isEmpty() || !companions_) return {};
    return QRect(0, 0, width(), video.top() + h);
}

QRect CGrabMainPanel::BottomBarRect() const {
    const QRect video = graph_.GetVideoRect();
    const int h = LetterboxHeight(video);
    if (h < 0 || video.isEmpty() || !companions_) return {};
    const int top = video.top() + video.height() - h;
    return QRect(0, top, width(), height() - top);
}

QString CGrabMainPanel::LetterboxText() const {
    const QRect video = graph_.GetVideoRect();
    const int h = LetterboxHeight(video);
    const int remaining = video.height() - 2 * h;
    if (h < 0 || remaining <= 0) return {};
    return QString::asprintf("%.2f:1", double(video.width()) / remaining);
}

void CGrabMainPanel::PlaceBars() {
    const QRect top = TopBarRect();
    const QRect bottom = BottomBarRect();
    for (auto [bar, place] : {std::pair{topBar_, top}, std::pair{bottomBar_, bottom}}) {
        if (place.isEmpty()) {
            bar->hide();
            continue;
        }
        if (bar->geometry() != place) bar->setGeometry(place);
        bar->show();
        bar->update();
    }
    const int lineHeight = LineHeight() + 1;
    const QRect status(0, height() - lineHeight, width(), lineHeight);
    if (statusLine_->geometry() != status) statusLine_->setGeometry(status);
    statusLine_->setVisible(companions_);
    statusLine_->raise();
    statusLine_->update();
}

void CGrabMainPanel::PaintTopBar(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, Qt::black);
    const QString text = LetterboxText();
    if (text.isEmpty()) return;
    painter.setPen(kStatusText);
    painter.setFont(font());
    painter.drawText(rect.adjusted(2, 2, -2, 0), Qt::AlignRight | Qt::AlignTop, text);
}

QStringList CGrabMainPanel::StatusTexts() const {
    QStringList texts;
    texts << StringText(40610, {graph_.StatusText()});
    const QRect grab = graph_.GetGrabSize();
    const bool present = graph_.IsVideoPresent();
    texts << (present && !grab.isEmpty() ? StringText(40611, {QString::number(grab.width()),
                                                              QString::number(grab.height())})
                                         : StringText(40612));
    const int free = hooks_.freeImages ? hooks_.freeImages() : -1;
    texts << (present && free >= 0 ? StringText(40613, {QString::number(free)})
                                   : StringText(40614));
    texts << StringText(40615, {hooks_.nextImageName ? hooks_.nextImageName() : QString()});
    return texts;
}

void CGrabMainPanel::PaintStatus(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, Qt::black);
    painter.setPen(kStatusText);
    painter.setFont(font());
    const QStringList texts = StatusTexts();
    const int column = rect.width() / 4;
    for (int i = 0; i < texts.size(); ++i) {
        const QRect cell(rect.left() + i * column + 1, rect.top() + 2, column - 2,
                         rect.height() - 2);
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop, texts[i]);
    }
}

// ---------------------------------------------------------------------------
// Mouse

void CGrabMainPanel::ToggleCompanions(bool on) {
    companions_ = on;
    PlaceBars();
    update();
}

void CGrabMainPanel::PostGrabKey(bool press, Qt::KeyboardModifiers modifiers) {
    QWidget* target = window();
    const bool swapped = settings_.Get(SwapGrabPlayKeys) != 0;
    const int key = swapped ? Qt::Key_Space : Qt::Key_Return;
    QCoreApplication::postEvent(
        target, new QKeyEvent(press ? QEvent::KeyPress : QEvent::KeyRelease, key, modifiers));
}

// A click on the video grabs: the frame's key handling presses and releases
// the "grab" button, and the grab runs on release.
void CGrabMainPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        ToggleCompanions(!companions_);
        return;
    }
    if (event->button() != Qt::LeftButton || settings_.NoClickGrab()) {
        CBasicPanel::mousePressEvent(event);
        return;
    }
    clickGrabbing_ = true;
    grabMouse();
    PostGrabKey(true, event->modifiers());
}

void CGrabMainPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !clickGrabbing_) {
        CBasicPanel::mouseReleaseEvent(event);
        return;
    }
    clickGrabbing_ = false;
    releaseMouse();
    PostGrabKey(false, event->modifiers());
}

}  // namespace kolvane
