#include "ui/GrabMainPanel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "capture/CaptureGraph.h"
#include "display/Direct3D.h"
#include "model/Anim.h"
#include "model/MdiaList.h"
#include "platform/StringTable.h"
#include "settings/Settings.h"
#include "ui/AnimDialog.h"
#include "ui/StripBar.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

const QColor kGrabBase(100, 120, 130);
const QColor kStatusText(190, 200, 200);

constexpr int kLetterboxOff = 133;
constexpr int kLetterboxStretch = 255;

constexpr int kSourceText = 40610;
constexpr int kResolutionText = 40611;
constexpr int kResolutionUnknown = 40612;
constexpr int kMemoryText = 40613;
constexpr int kMemoryUnknown = 40614;
constexpr int kNextNameText = 40615;
constexpr int kShowingText = 40616;

// The memory estimate follows the rest of the system this often.
constexpr int kStatusRefreshMs = 1000;

}  // namespace

LetterboxBars PlaceLetterbox(const QRect& video, QSize client, int letterbox) {
    if (video.isEmpty() || letterbox <= 0 || letterbox == kLetterboxOff ||
        letterbox == kLetterboxStretch) {
        return {};
    }
    const int x1 = video.left();
    const int x2 = video.left() + video.width();
    const int y1 = video.top();
    const int y2 = video.top() + video.height();
    int h = (x1 - x2) * 100 / letterbox;
    h = (h + y2 - y1) / 2;
    // A picture already wider than the aspect has nothing to cover; bars of
    // a negative height would only report a ratio it does not have.
    const int remaining = video.height() - 2 * h;
    if (h < 0 || remaining <= 0) return {};
    LetterboxBars bars;
    bars.top = QRect(0, 0, client.width(), y1 + h);
    bars.bottom = QRect(0, y2 - h, client.width(), client.height() - (y2 - h));
    bars.text = QString::asprintf("%.2f:1", double(video.width()) / remaining);
    return bars;
}

CGrabMainPanel::CGrabMainPanel(ICommandSink& sink, CCaptureGraph& graph, CSettings& settings,
                               QWidget* parent)
    : CBasicPanel(sink, kGrabBase, parent), graph_(graph), settings_(settings) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // In this order: the bars and the status line lie over the image window.
    imageWindow_ = new CStripBar(this);
    topBar_ = new CStripBar(this);
    bottomBar_ = new CStripBar(this);
    statusLine_ = new CStripBar(this);
    imageWindow_->hide();
    imageWindow_->SetPainter(
        [this](QPainter& painter, const QRect& rect) { PaintImage(painter, rect); });
    topBar_->SetPainter(
        [this](QPainter& painter, const QRect& rect) { PaintTopBar(painter, rect); });
    bottomBar_->SetPainter(
        [](QPainter& painter, const QRect& rect) { painter.fillRect(rect, Qt::black); });
    statusLine_->SetPainter(
        [this](QPainter& painter, const QRect& rect) { PaintStatus(painter, rect); });
    for (CStripBar* bar : {imageWindow_, topBar_, bottomBar_, statusLine_}) {
        // Each fills itself: the video under it is not painted for it.
        bar->setAttribute(Qt::WA_OpaquePaintEvent);
        connect(bar, &CStripBar::Pressed, this, [this](Qt::MouseButton button, QPoint) {
            if (button == Qt::RightButton) {
                ToggleCompanions(!companions_);
            } else if (!settings_.NoClickGrab()) {
                StartClickGrab(QApplication::keyboardModifiers());
            }
        });
    }
    auto* statusTimer = new QTimer(this);
    statusTimer->setInterval(kStatusRefreshMs);
    connect(statusTimer, &QTimer::timeout, this, [this] {
        if (isVisible() && companions_) StatusChanged();
    });
    statusTimer->start();

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

void CGrabMainPanel::SetStatusHooks(StatusHooks hooks) {
    hooks_ = std::move(hooks);
    StatusChanged();
}

void CGrabMainPanel::SetShownImage(std::function<const CNode*()> shown) {
    shownImage_ = std::move(shown);
    Refresh();
}

void CGrabMainPanel::SetGrabLevel(CAnim* level, CXshtList& sheet, ISheetHistory& history) {
    grabLevel_ = level;
    if (grabLevelDialog_ == nullptr) {
        grabLevelDialog_ = new CAnimDialog(window(), sheet, history, Sink());
    }
}

bool CGrabMainPanel::OnCommand(int id) {
    if (grabberCommands_ != nullptr && grabberCommands_->OnCommand(id)) {
        Refresh();
        return true;
    }
    switch (id) {
        case cmd::kGrabLevel:
            RunGrabLevelDialog();
            return true;
        case cmd::kGrabberDisplaySettings:
            companions_ = true;
            graph_.PositionVideo();
            Refresh();
            return true;
        case cmd::kGrabberRefresh:
            // The grabber's overlay refresh joins here.
            graph_.ApplyOrientation();
            if (isVisible()) Refresh();
            return true;
        default:
            break;
    }
    if (!graph_.OnCommand(id)) return false;
    Refresh();
    return true;
}

void CGrabMainPanel::Refresh() {
    PlaceImageWindow();
    PlaceBars();
    StatusChanged();
    update();
}

// A new frame: only the video is painted again, where nothing lies over it.
// A new place, source or grab size changes the bars and the status line too.
void CGrabMainPanel::RepaintVideo() {
    if (!isVisible()) return;
    if (PlaceImageWindow()) return;
    const QRect video = graph_.GetVideoRect();
    const int source = graph_.StatusTextId();
    const QRect grab = graph_.GetGrabSize();
    if (video.isEmpty() || video != videoShown_ || source != sourceShown_ || grab != grabShown_) {
        videoShown_ = video;
        sourceShown_ = source;
        grabShown_ = grab;
        Refresh();
        return;
    }
    QRegion dirty(video);
    for (const CStripBar* bar : {topBar_, bottomBar_, statusLine_}) {
        if (bar->isVisible()) dirty -= bar->geometry();
    }
    update(dirty);
}

void CGrabMainPanel::showEvent(QShowEvent* event) {
    CBasicPanel::showEvent(event);
    graph_.RunPreview(true);
    if (grabLevelDialog_ != nullptr && dialogHiddenWithPanel_) grabLevelDialog_->show();
    dialogHiddenWithPanel_ = false;
    Refresh();
}

void CGrabMainPanel::hideEvent(QHideEvent* event) {
    CBasicPanel::hideEvent(event);
    graph_.RunPreview(false);
    if (grabLevelDialog_ != nullptr && grabLevelDialog_->IsOpen() &&
        grabLevelDialog_->isVisible()) {
        grabLevelDialog_->hide();
        dialogHiddenWithPanel_ = true;
    }
    // A click that was grabbing lets the button go, so the frame does not
    // keep it pressed.
    if (clickGrabbing_) EndClickGrab(QApplication::keyboardModifiers());
}

void CGrabMainPanel::LayoutChildren() {
    graph_.PositionVideo();
    if (imageWindow_->geometry() != rect()) imageWindow_->setGeometry(rect());
    PlaceBars();
    StatusChanged();
}

// ---------------------------------------------------------------------------
// Painting

const CNode* CGrabMainPanel::ShownImage() const {
    return shownImage_ ? shownImage_() : nullptr;
}

bool CGrabMainPanel::PlaceImageWindow() {
    const CNode* shown = ShownImage();
    const bool loaded = shown != nullptr && !shown->texture.isNull();
    const qint64 key = loaded ? shown->texture.cacheKey() : 0;
    if (loaded != imageWindow_->isVisible()) StatusChanged();
    if (loaded && (shown != imageDrawn_ || key != imageKey_)) {
        imageWindow_->update();
        StatusChanged();
    }
    if (!loaded && imageDrawn_ != nullptr) StatusChanged();
    imageDrawn_ = loaded ? shown : nullptr;
    imageKey_ = key;
    imageWindow_->setVisible(loaded);
    return loaded;
}

// The renderer draws the picture as the player would show it and presents
// its buffer here; without it (or while a movie frame is being composed in
// it) the picture is scaled into the window keeping its shape.
void CGrabMainPanel::PaintImage(QPainter& painter, const QRect& rect) {
    const CNode* shown = ShownImage();
    if (shown == nullptr || shown->texture.isNull()) {
        painter.fillRect(rect, Qt::black);
        return;
    }
    if (display_ != nullptr && display_->HasDevice() && !display_->InOffscreen()) {
        display_->Clear(std::nullopt, qRgb(0, 0, 0));
        display_->DrawImage(QRect(QPoint(), display_->TargetSize()), *shown, false, kFitMonitor);
        display_->Present(painter, rect);
        return;
    }
    painter.fillRect(rect, Qt::black);
    const QSize placed = shown->texture.size().scaled(rect.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(), placed);
    target.moveCenter(rect.center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, shown->texture);
}

void CGrabMainPanel::PaintPanel(QPainter& painter) {
    // The image window covers the panel while it is shown.
    if (imageWindow_->isVisible()) return;
    const QRect video = graph_.GetVideoRect();
    painter.save();
    QRegion outside(rect());
    const CVideoFrame frame = graph_.LatestFrame();
    const bool showVideo = !video.isEmpty() && !frame.IsEmpty();
    if (showVideo) outside -= QRegion(video);
    painter.setClipRegion(outside, Qt::IntersectClip);
    painter.fillRect(rect(), Qt::black);
    painter.restore();
    if (!showVideo) return;
    painter.save();
    painter.drawImage(video, frame.image);
    const QImage& overlay = graph_.Overlay();
    if (!overlay.isNull()) {
        const QRectF place = graph_.OverlayPlacement();
        const QRectF target(video.left() + place.left() * video.width(),
                            video.top() + place.top() * video.height(),
                            place.width() * video.width(), place.height() * video.height());
        // Scaled and faded once for its place and opacity, not at every
        // frame. Faded over transparency, each pixel is what the blend at
        // that opacity would lay over the frame, and drawing it plainly
        // gives the same pixels with one multiplication less.
        const QRect spot = target.toAlignedRect();
        const qreal opacity = graph_.OverlayOpacity();
        if (overlayKey_ != overlay.cacheKey() || overlayScaled_.size() != spot.size() ||
            overlayFade_ != opacity) {
            const QImage scaled =
                overlay.scaled(spot.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            overlayScaled_ = QImage(scaled.size(), QImage::Format_ARGB32_Premultiplied);
            overlayScaled_.fill(Qt::transparent);
            QPainter fade(&overlayScaled_);
            fade.setOpacity(opacity);
            fade.drawImage(0, 0, scaled);
            overlayKey_ = overlay.cacheKey();
            overlayFade_ = opacity;
        }
        if (opacity > 0) painter.drawImage(spot.topLeft(), overlayScaled_);
    }
    painter.restore();
    if (paintObserver_) paintObserver_(frame);
}

LetterboxBars CGrabMainPanel::Bars() const {
    return PlaceLetterbox(graph_.GetVideoRect(), size(), settings_.Get(GrabLetterbox));
}

QRect CGrabMainPanel::TopBarRect() const {
    return companions_ ? Bars().top : QRect();
}

QRect CGrabMainPanel::BottomBarRect() const {
    return companions_ ? Bars().bottom : QRect();
}

QString CGrabMainPanel::LetterboxText() const {
    return companions_ ? Bars().text : QString();
}

void CGrabMainPanel::PlaceBars() {
    const LetterboxBars bars = companions_ ? Bars() : LetterboxBars{};
    for (auto [bar, place] : {std::pair{topBar_, bars.top}, std::pair{bottomBar_, bars.bottom}}) {
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
    texts << StringText(kSourceText, {graph_.StatusText()});
    const QRect grab = graph_.GetGrabSize();
    const bool present = graph_.IsVideoPresent();
    texts << (present && !grab.isEmpty()
                  ? StringText(kResolutionText,
                               {QString::number(grab.width()), QString::number(grab.height())})
                  : StringText(kResolutionUnknown));
    const int free = present && hooks_.freeImages ? hooks_.freeImages(graph_.GetVideoRect()) : -1;
    texts << (free >= 0 ? StringText(kMemoryText, {QString::number(free)})
                        : StringText(kMemoryUnknown));
    // The name of what is on the screen: a picture not loaded yet leaves
    // the live video there.
    if (const CNode* shown = ShownImage(); shown != nullptr && !shown->texture.isNull()) {
        texts << StringText(kShowingText, {shown->name});
    } else {
        texts << StringText(kNextNameText,
                            {hooks_.nextImageName ? hooks_.nextImageName() : QString()});
    }
    return texts;
}

void CGrabMainPanel::StatusChanged() {
    statusShown_.clear();
    if (statusLine_ != nullptr && statusLine_->isVisible()) statusLine_->update();
}

void CGrabMainPanel::PaintStatus(QPainter& painter, const QRect& rect) {
    if (statusShown_.isEmpty()) statusShown_ = StatusTexts();
    painter.fillRect(rect, Qt::black);
    painter.setPen(kStatusText);
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int column = rect.width() / 4;
    for (int i = 0; i < statusShown_.size(); ++i) {
        const QRect cell(rect.left() + i * column + 1, rect.top() + 2, column - 2,
                         rect.height() - 2);
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop,
                         metrics.elidedText(statusShown_[i], Qt::ElideRight, cell.width()));
    }
}

// ---------------------------------------------------------------------------
// Mouse

void CGrabMainPanel::ToggleCompanions(bool on) {
    companions_ = on;
    PlaceBars();
    StatusChanged();
    update();
}

void CGrabMainPanel::PostGrabKey(bool press, Qt::KeyboardModifiers modifiers) {
    QWidget* target = window();
    const bool swapped = settings_.Get(SwapGrabPlayKeys) != 0;
    const int key = swapped ? Qt::Key_Space : Qt::Key_Return;
    QCoreApplication::postEvent(
        target, new QKeyEvent(press ? QEvent::KeyPress : QEvent::KeyRelease, key, modifiers));
}

// A click grabs: the frame's key handling presses and releases the "grab"
// button, and the grab runs on release.
void CGrabMainPanel::StartClickGrab(Qt::KeyboardModifiers modifiers) {
    if (clickGrabbing_) return;
    clickGrabbing_ = true;
    grabMouse();
    PostGrabKey(true, modifiers);
}

void CGrabMainPanel::EndClickGrab(Qt::KeyboardModifiers modifiers) {
    clickGrabbing_ = false;
    releaseMouse();
    PostGrabKey(false, modifiers);
}

void CGrabMainPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        ToggleCompanions(!companions_);
        return;
    }
    if (event->button() != Qt::LeftButton || settings_.NoClickGrab()) {
        CBasicPanel::mousePressEvent(event);
        return;
    }
    StartClickGrab(event->modifiers());
}

void CGrabMainPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !clickGrabbing_) {
        CBasicPanel::mouseReleaseEvent(event);
        return;
    }
    EndClickGrab(event->modifiers());
}

// ---------------------------------------------------------------------------
// "Set grab level"

void CGrabMainPanel::RunGrabLevelDialog() {
    if (grabLevel_ == nullptr || grabLevelDialog_ == nullptr || grabLevelDialog_->IsOpen()) return;
    grabLevelDialog_->Run(CAnimDialog::Mode::kGrabLevel, *grabLevel_);
    Sink().SendCommand(cmd::kMediaChanged);
    Sink().SendCommand(cmd::kGrabberRefresh);
    Sink().SendCommand(cmd::kMediaNamesChanged);
}

}  // namespace kolvane
