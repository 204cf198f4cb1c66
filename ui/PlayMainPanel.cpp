#include "ui/PlayMainPanel.h"

#include <algorithm>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "display/Direct3D.h"
#include "model/XshtList.h"
#include "platform/Commands.h"
#include "platform/StringTable.h"
#include "settings/Settings.h"
#include "ui/PlayStatsDialog.h"
#include "ui/StripBar.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

const QColor kPlayBase(100, 120, 130);
constexpr int kLetterboxOff = 133;
constexpr int kLetterboxStretch = 255;
constexpr int kOverlayCounter = 1;
constexpr int kRunText = 40064;     // "%s (%d)"
constexpr int kAspectText = 40065;  // "%.2f:1"
constexpr int kMaxEditorColumns = 10;
constexpr int kBoxGap = 2;

QWidget* OwnerWindow(QWidget* parent) {
    return parent != nullptr ? parent->window() : nullptr;
}

}  // namespace

CPlayMainPanel::CPlayMainPanel(ICommandSink& sink, CPlayEngine::Links links, QWidget* parent)
    : CBasicPanel(sink, kPlayBase, parent),
      display_(*links.display),
      settings_(*links.settings),
      sheet_(*links.sheet) {
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
    topBar_ = new CStripBar(this);
    bottomBar_ = new CStripBar(this);
    infoStrip_ = new CStripBar(this);
    topBar_->hide();
    bottomBar_->hide();
    topBar_->SetPainter([this](QPainter& p, const QRect& r) { PaintBar(p, r, true); });
    bottomBar_->SetPainter([this](QPainter& p, const QRect& r) { PaintBar(p, r, false); });
    infoStrip_->SetPainter([this](QPainter& p, const QRect& r) { PaintStrip(p, r); });
    // A press on a bar or the strip counts as one on the view.
    for (CStripBar* strip : {topBar_, bottomBar_, infoStrip_}) {
        connect(strip, &CStripBar::Pressed, this, [this](Qt::MouseButton button, QPoint) {
            if (button == Qt::RightButton) RightClick();
        });
    }
    stats_ = new CPlayStatsDialog(OwnerWindow(parent));
    engine_ = std::make_unique<CPlayEngine>(links);
}

CPlayMainPanel::~CPlayMainPanel() {
    engine_.reset();
    delete stats_.data();
}

CPlayStatsDialog& CPlayMainPanel::StatsDialog() const {
    return *stats_;
}

bool CPlayMainPanel::OnCommand(int id) {
    if (id == cmd::kPlayerDisplaySettings) {
        ShowInfo();
        return true;
    }
    return engine_->OnCommand(id);
}

void CPlayMainPanel::ShowInfo() {
    infoShown_ = true;
    barHeight_ = 0;
    if (!engine_->IsPlaying()) infoStrip_->show();
    update();
}

void CPlayMainPanel::PresentFrame() {
    if (painting_) return;  // the paint under way shows it
    framePresented_ = true;
    repaint();
}

QRect CPlayMainPanel::ToView(const QRect& bufferRect) const {
    const QSize buffer = display_.TargetSize();
    if (buffer.isEmpty() || buffer == size()) return bufferRect;
    const auto x = [&](int v) {
        return static_cast<int>(static_cast<long long>(v) * width() / buffer.width());
    };
    const auto y = [&](int v) {
        return static_cast<int>(static_cast<long long>(v) * height() / buffer.height());
    };
    const int left = x(bufferRect.left());
    const int top = y(bufferRect.top());
    return QRect(left, top, x(bufferRect.left() + bufferRect.width()) - left,
                 y(bufferRect.top() + bufferRect.height()) - top);
}

QRect CPlayMainPanel::ToBuffer(const QRect& viewRect) const {
    const QSize buffer = display_.TargetSize();
    if (buffer.isEmpty() || buffer == size() || width() <= 0 || height() <= 0) return viewRect;
    const auto x = [&](int v) {
        return static_cast<int>(static_cast<long long>(v) * buffer.width() / width());
    };
    const auto y = [&](int v) {
        return static_cast<int>(static_cast<long long>(v) * buffer.height() / height());
    };
    const int left = x(viewRect.left());
    const int top = y(viewRect.top());
    return QRect(left, top, x(viewRect.left() + viewRect.width()) - left,
                 y(viewRect.top() + viewRect.height()) - top);
}

// Without a device the overlays follow the default picture area: the view.
QRect CPlayMainPanel::PictureRect() const {
    const QRect picture = display_.GetPictureRect();
    return picture.isEmpty() ? rect() : ToView(picture);
}

bool CPlayMainPanel::LetterboxActive() const {
    const int aspect = settings_.Get(PlayLetterbox);
    return aspect != kLetterboxOff && aspect != kLetterboxStretch && aspect > 0;
}

void CPlayMainPanel::DrawOverlays() {
    DrawLetterbox();
    if (settings_.Get(Overlay) == kOverlayCounter) DrawCounter();
    UpdateInfoStrip();
}

// Bars over the picture leave the aspect the letterbox setting names: half of
// what the picture is taller than that aspect at its width, top and bottom.
void CPlayMainPanel::DrawLetterbox() {
    if (!LetterboxActive() || !infoShown_) {
        topBar_->hide();
        bottomBar_->hide();
        barHeight_ = 0;
        return;
    }
    const int aspect = settings_.Get(PlayLetterbox);
    const QRect p = PictureRect();
    const int pictureBottom = p.top() + p.height();
    const int b = (-(p.width() * 100 / aspect) + p.height()) / 2;
    barHeight_ = b;
    bottomBar_->setGeometry(0, pictureBottom - b, width(),
                            std::max(0, height() - (pictureBottom - b)));
    topBar_->setGeometry(0, 0, width(), std::max(0, p.top() + b));
    const int shownHeight = p.height() - 2 * b;
    QString text;
    if (shownHeight > 0) {
        text = QString::asprintf(StringText(kAspectText).toUtf8().constData(),
                                 static_cast<double>(p.width()) / shownHeight);
    }
    if (text != aspectText_) {
        aspectText_ = text;
        topBar_->update();
    }
    topBar_->show();
    bottomBar_->show();
}

void CPlayMainPanel::PaintBar(QPainter& painter, const QRect& rect, bool top) const {
    painter.fillRect(rect, Qt::black);
    if (!top || aspectText_.isEmpty()) return;
    painter.setPen(Colors().Text(CColors::kField));
    painter.drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter, aspectText_);
}

// The frame number in a white box near the picture's lower right corner,
// above the bottom bar, and a line clear of the info strip.
void CPlayMainPanel::DrawCounter() {
    const QRect p = PictureRect();
    const int line = LineHeight();
    int above = bottomBar_->isHidden() ? 0 : std::max(0, barHeight_);
    if (!infoStrip_->isHidden() && above < line) above = line;
    const int bottom = p.top() + p.height() - above - line / 2;
    const int right = p.left() + p.width() - line / 2;
    counterRect_ = QRect(right - 2 * line, bottom - line, 2 * line, line);
    if (!display_.HasDevice()) return;
    const QRect box = ToBuffer(counterRect_);
    display_.Clear(box, 0xFFFFFF);
    display_.DrawText(box, 0x000000,
                      QString::number(sheet_.CurrentFrame() + settings_.Get(FrameStart)));
}

CPlayMainPanel::EditorColumns CPlayMainPanel::Columns() const {
    if (editorColumns_) return editorColumns_();
    EditorColumns columns;
    columns.counterWidth = fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 8;
    columns.visibleColumns = std::clamp(settings_.Get(ColumnCount), 1, kMaxEditorColumns);
    return columns;
}

// The strip shows, under the columns the editor shows, what each column has at
// the current frame: its name and the length of its run.
void CPlayMainPanel::UpdateInfoStrip() {
    const int line = LineHeight();
    const QRect place(0, height() - (line + 1), width(), line + 1);
    if (infoStrip_->geometry() != place) infoStrip_->setGeometry(place);
    stripBoxes_.clear();
    stripFrameText_.clear();
    if (sheet_.Levels().empty()) {
        infoStrip_->update();
        return;
    }
    const EditorColumns columns = Columns();
    const int count = std::max(1, columns.visibleColumns);
    const int left = std::clamp(columns.counterWidth, 0, place.width());
    if (engine_->ShowsSomething()) {
        stripFrameText_ = QString::number(sheet_.CurrentFrame() + settings_.Get(FrameStart));
    }
    const int each = (place.width() - left) / count;
    const QFontMetrics metrics = fontMetrics();
    const auto& levels = sheet_.Levels();
    for (int i = 0; i < count; ++i) {
        const int index = columns.firstColumn + i;
        if (index < 0 || index >= static_cast<int>(levels.size())) break;
        const CNode& column = *levels.at(index);
        StripBox box;
        const int x0 = left + i * each + kBoxGap;
        const int x1 = i + 1 == count ? place.width() : left + (i + 1) * each;
        box.rect = QRect(x0, 0, std::max(0, x1 - x0), place.height());
        const bool on = (column.flags & kFlagOn) != 0;
        box.fill = Colors().Fill(CColors::kField, on ? CColors::kNormal : CColors::kOff);
        const CNode* cell = CPlayEngine::CurrentCell(column);
        if (on && cell != nullptr && engine_->CellPasses(*cell) && cell->item != nullptr) {
            box.text = cell->name;
            if (!cell->name.isEmpty()) {
                const int run = CXshtList::RunLength(column, column.summary->currentCell);
                box.text = StringText(kRunText, {cell->name, QString::number(run)});
            }
            box.textColour = Colors().Text(
                CColors::kField, cell->IsSelected() ? CColors::kSelected : CColors::kNormal);
            box.flags = Qt::AlignVCenter | Qt::TextSingleLine;
            box.flags |= metrics.horizontalAdvance(box.text) > box.rect.width() ? Qt::AlignRight
                                                                                : Qt::AlignHCenter;
        }
        stripBoxes_.push_back(box);
    }
    infoStrip_->update();
}

void CPlayMainPanel::PaintStrip(QPainter& painter, const QRect& rect) const {
    painter.fillRect(rect, Qt::black);
    const int left = stripBoxes_.empty() ? 0 : stripBoxes_.front().rect.left() - kBoxGap;
    if (!stripFrameText_.isEmpty() && left > 0) {
        painter.setPen(Colors().Text(CColors::kField));
        painter.drawText(QRect(0, 0, left, rect.height()), Qt::AlignCenter | Qt::TextSingleLine,
                         stripFrameText_);
    }
    for (const StripBox& box : stripBoxes_) {
        painter.fillRect(box.rect, box.fill);
        if (box.text.isEmpty()) continue;
        painter.setPen(box.textColour);
        painter.drawText(box.rect, box.flags, box.text);
    }
}

void CPlayMainPanel::HideInfoStripForRun() {
    infoStrip_->hide();
}

void CPlayMainPanel::RestoreInfoStrip() {
    if (infoShown_) infoStrip_->show();
}

void CPlayMainPanel::ShowStatistics(const PlayStatistics& statistics) {
    if (stats_ != nullptr)
        stats_->Show(statistics.skippedFrames, statistics.lowestRate, statistics.highestRate,
                     display_.CacheStatistics());
}

void CPlayMainPanel::CloseStatistics() {
    if (stats_ != nullptr && stats_->IsOpen()) stats_->End(CBasicDialog::kClose);
}

void CPlayMainPanel::paintEvent(QPaintEvent*) {
    // A paint the engine did not ask for (exposed, invalidated) draws the
    // current frame anew; during a run the next tick does that, and drawing
    // here would write its sound a second time.
    if (!framePresented_ && !engine_->IsPlaying()) {
        painting_ = true;
        barHeight_ = 0;
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

void CPlayMainPanel::PostPlayKey(bool down) {
    const int key = settings_.Get(SwapGrabPlayKeys) == 1 ? Qt::Key_Return : Qt::Key_Space;
    QCoreApplication::postEvent(
        window(), new QKeyEvent(down ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier));
}

// The left button plays; with the middle button held as well (the frame hands
// the middle button on as the left one) it scrubs.
void CPlayMainPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        RightClick();
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (event->buttons() & Qt::MiddleButton) {
        setCursor(Qt::SizeHorCursor);
        scrubFrame_ = sheet_.CurrentFrame();
        scrubX_ = event->position().toPoint().x();
        engine_->StopPlayback();
        return;
    }
    PostPlayKey(true);
}

// One frame a pixel, three pixels a frame with Alt; held between the first
// and the last frame (the engine would wrap a frame past the end).
void CPlayMainPanel::mouseMoveEvent(QMouseEvent* event) {
    if (!scrubFrame_ || !(event->buttons() & Qt::MiddleButton)) return;
    int moved = event->position().toPoint().x() - scrubX_;
    if (event->modifiers() & Qt::AltModifier) moved /= 3;
    const int frame = std::clamp(*scrubFrame_ + moved, 0, std::max(0, engine_->LastFrame()));
    engine_->GoToFrame(static_cast<std::uint32_t>(frame));
}

void CPlayMainPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (scrubFrame_) {
        scrubFrame_.reset();
        unsetCursor();
        return;
    }
    PostPlayKey(false);
}

void CPlayMainPanel::RightClick() {
    if (engine_->IsPlaying()) {
        infoStrip_->setVisible(infoStrip_->isHidden());
        return;
    }
    infoShown_ = !infoShown_;
    infoStrip_->setVisible(infoShown_);
    if (!infoShown_) {
        topBar_->hide();
        bottomBar_->hide();
    }
    barHeight_ = 0;
    update();
}

void CPlayMainPanel::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (engine_->IsPlaying()) return;
    const int delta = event->angleDelta().y();
    if (delta < 0) {
        engine_->StepBack();
    } else if (delta > 0) {
        engine_->StepForward();
    }
}

}  // namespace kolvane
