#include "ui/BasicDialog.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include "platform/StringTable.h"
#include "ui/BasicButton.h"
#include "ui/TextButton.h"
#include "ui/UiMetrics.h"

namespace kolvane {
namespace {

constexpr int kOkText = 40001;
constexpr int kCancelText = 40002;
constexpr int kYesText = 40003;
constexpr int kNoText = 40004;
constexpr int kAbortText = 40005;
constexpr int kStopText = 40006;
constexpr int kApplyText = 40007;
constexpr int kCloseText = 40008;

struct ButtonSpec {
    int command;
    int textId;
};

// The buttons of each set, left to right; command 0 ends the set.
constexpr ButtonSpec kSets[CBasicDialog::kButtonSets][3] = {
    {},
    {{CBasicDialog::kOk, kOkText}},
    {{CBasicDialog::kYes, kYesText}, {CBasicDialog::kNo, kNoText}},
    {{CBasicDialog::kOk, kOkText}, {CBasicDialog::kCancel, kCancelText}},
    {{CBasicDialog::kAbort, kAbortText}, {CBasicDialog::kStop, kStopText}},
    {{CBasicDialog::kApply, kApplyText}, {CBasicDialog::kCancel, kCloseText}},
    {{CBasicDialog::kOk, kOkText},
     {CBasicDialog::kApply, kApplyText},
     {CBasicDialog::kCancel, kCloseText}},
};

bool EndsByDefault(int id) {
    switch (id) {
        case CBasicDialog::kOk:
        case CBasicDialog::kCancel:
        case CBasicDialog::kAbort:
        case CBasicDialog::kYes:
        case CBasicDialog::kNo:
        case CBasicDialog::kClose:
        case CBasicDialog::kApply:
        case CBasicDialog::kStop:
            return true;
        default:
            return false;
    }
}

bool IsEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

}  // namespace

int CBasicDialog::CaptionHeight() {
    return LineHeight() + 2;
}

CBasicDialog::CBasicDialog(QWidget* owner, QColor base)
    : QWidget(owner, Qt::Dialog | Qt::FramelessWindowHint), colors_(base), owner_(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Not a Tab stop itself: Tab cycles through the controls only. Keys
    // reach it when no control has the focus, or when the control leaves them.
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
}

CBasicDialog::~CBasicDialog() {
    if (modalLoop_ != nullptr) modalLoop_->exit(kClose);
}

void CBasicDialog::SetButtonSet(int set) {
    set = std::clamp(set, 0, kButtonSets - 1);
    if (set == buttonSet_ && (set == 0 || buttons_[0] != nullptr)) return;
    buttonSet_ = set;
    MakeButtons();
    Layout();
}

void CBasicDialog::MakeButtons() {
    for (CBasicButton*& button : buttons_) {
        delete button;
        button = nullptr;
    }
    keyButton_ = nullptr;
    for (int k = 0; k < 3; ++k) {
        const ButtonSpec& spec = kSets[buttonSet_][k];
        if (spec.command == 0) break;
        auto* button = new CBasicButton(spec.command, StringText(spec.textId), QString(),
                                        CBasicButton::kPlain, colors_, this);
        button->setFocusPolicy(Qt::TabFocus);
        connect(button, &CBasicButton::Command, this, &CBasicDialog::SendDialogCommand);
        button->show();
        buttons_[static_cast<std::size_t>(k)] = button;
    }
}

CBasicButton* CBasicDialog::Button(int k) const {
    if (k < 1 || k > 3) return nullptr;
    return buttons_[static_cast<std::size_t>(k - 1)];
}

QRect CBasicDialog::CaptionRect() const {
    const int line = LineHeight();
    return QRect(kFrameWidth, kFrameWidth, std::max(0, width() - line - 2 * kFrameWidth),
                 CaptionHeight());
}

QRect CBasicDialog::CloseBoxRect() const {
    const int line = LineHeight();
    return QRect(width() - kFrameWidth - line, kFrameWidth, line, CaptionHeight());
}

// The area below the caption inside the frames.
static QRect InnerArea(const QWidget& window) {
    const int top = CBasicDialog::kFrameWidth + CBasicDialog::CaptionHeight();
    return QRect(CBasicDialog::kFrameWidth, top, window.width() - 2 * CBasicDialog::kFrameWidth,
                 window.height() - top - CBasicDialog::kFrameWidth);
}

QRect CBasicDialog::ButtonRowRect() const {
    if (buttonSet_ == 0) return {};
    const QRect area = InnerArea(*this);
    const int rowHeight = DialogUnit() / 2;
    return QRect(area.left() + 2, area.bottom() - 1 - rowHeight, area.width() - 4, rowHeight);
}

QRect CBasicDialog::ClientRect() const {
    const QRect area = InnerArea(*this).adjusted(2, 2, -2, -2);
    if (buttonSet_ == 0) return area;
    QRect client = area;
    client.setBottom(ButtonRowRect().top() - 3);
    return client;
}

void CBasicDialog::Layout() {
    const QRect row = ButtonRowRect();
    const int count = buttonSet_ == 6 ? 3 : 2;
    const int each = row.width() / count;
    for (int k = 0; k < 3; ++k) {
        CBasicButton* button = buttons_[static_cast<std::size_t>(k)];
        if (button == nullptr) continue;
        const QRect slot(row.left() + k * each, row.top(), each, row.height());
        button->setGeometry(slot.adjusted(1, 1, -1, -1));
    }
    LayoutClient(ClientRect());
}

void CBasicDialog::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void CBasicDialog::PlaceWindow() {
    if (positionMemory_ > 9 && openedBefore_) {
        move(rememberedTopLeft_);
        return;
    }
    QRect over;
    if (owner_ != nullptr && owner_->isVisible()) {
        over = owner_->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        over = screen->availableGeometry();
    }
    if (over.isValid()) move(over.center() - QPoint(width() / 2, height() / 2));
}

void CBasicDialog::Create(const QString& title, int width, int height) {
    if (buttonSet_ != 0 && buttons_[0] == nullptr) MakeButtons();
    setWindowTitle(title);
    resize(width, height);
    result_ = 0;
    ending_ = false;
    closeBoxPressed_ = false;
    pointerInCloseBox_ = false;
    hiddenWithArea_ = false;
    Layout();
    PlaceWindow();
    OnOpen();
    open_ = true;
    openedBefore_ = true;
    show();
    raise();
    activateWindow();
    if (focusWidget() == nullptr || focusWidget() == this) focusNextChild();
    update();
}

int CBasicDialog::DoModal(const QString& title, int width, int height) {
    setWindowModality(Qt::ApplicationModal);
    Create(title, width, height);
    QEventLoop loop;
    modalLoop_ = &loop;
    const QPointer<CBasicDialog> alive(this);
    loop.exec(QEventLoop::DialogExec);
    if (alive.isNull()) return kClose;  // destroyed with its owner meanwhile
    modalLoop_ = nullptr;
    CloseWindow();
    setWindowModality(Qt::NonModal);
    return result_;
}

void CBasicDialog::End(int id) {
    result_ = id;
    if (modalLoop_ != nullptr) {
        modalLoop_->exit(id);
        return;
    }
    CloseWindow();
}

void CBasicDialog::CloseWindow() {
    if (!open_) return;
    open_ = false;
    if (keyButton_ != nullptr) keyButton_->ShowReleased();
    keyButton_ = nullptr;
    rememberedTopLeft_ = pos();
    ending_ = true;
    hide();
    ending_ = false;
    OnClosed(result_);
}

void CBasicDialog::CommitPendingEdits() {
    for (CTextButton* field : findChildren<CTextButton*>())
        field->Commit();
}

void CBasicDialog::SendDialogCommand(int id) {
    CommitPendingEdits();
    if (OnCommand(id)) return;
    if (EndsByDefault(id) && open_) End(id);
}

void CBasicDialog::closeEvent(QCloseEvent* event) {
    // A close request from the desktop (its close key or menu) is the close box.
    if (!ending_ && open_) {
        event->ignore();
        QMetaObject::invokeMethod(
            this, [this] { SendDialogCommand(kClose); }, Qt::QueuedConnection);
        return;
    }
    QWidget::closeEvent(event);
}

void CBasicDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = IsEnter(event);
    if ((!enter && event->key() != Qt::Key_Escape) || event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->isAutoRepeat()) return;
    CBasicButton* button = Button(enter ? 1 : 2);
    if (button == nullptr || !button->isEnabled()) return;
    if (keyButton_ != nullptr && keyButton_ != button) keyButton_->ShowReleased();
    keyButton_ = button;
    button->KeyDown();
}

void CBasicDialog::keyReleaseEvent(QKeyEvent* event) {
    const bool enter = IsEnter(event);
    if (event->isAutoRepeat() || (!enter && event->key() != Qt::Key_Escape)) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    CBasicButton* button = Button(enter ? 1 : 2);
    if (button == nullptr || button != keyButton_) return;
    keyButton_ = nullptr;
    button->KeyUp();
}

void CBasicDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    if (CloseBoxRect().contains(at)) {
        closeBoxPressed_ = true;
        pointerInCloseBox_ = true;
        update(CloseBoxRect());
        return;
    }
    if (CaptionRect().contains(at)) {
        if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - pos();
    }
}

void CBasicDialog::mouseMoveEvent(QMouseEvent* event) {
    if (closeBoxPressed_) {
        const bool inside = CloseBoxRect().contains(event->position().toPoint());
        if (inside != pointerInCloseBox_) {
            pointerInCloseBox_ = inside;
            update(CloseBoxRect());
        }
    } else if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
    }
}

void CBasicDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    if (!closeBoxPressed_) return;
    closeBoxPressed_ = false;
    const bool inside = CloseBoxRect().contains(event->position().toPoint());
    pointerInCloseBox_ = false;
    update(CloseBoxRect());
    if (inside) {
        QMetaObject::invokeMethod(
            this, [this] { SendDialogCommand(kClose); }, Qt::QueuedConnection);
    }
}

void CBasicDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) update(CaptionRect().united(CloseBoxRect()));
    QWidget::changeEvent(event);
}

void CBasicDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintBackground(painter);
    PaintCaption(painter);
    PaintCloseBox(painter);
    PaintFrames(painter);
    painter.save();
    PaintClient(painter, ClientRect());
    painter.restore();
}

void CBasicDialog::PaintBackground(QPainter& painter) const {
    painter.save();
    painter.fillRect(rect(), Qt::black);
    painter.setPen(colors_.Line(CColors::kFace));
    painter.drawRect(ClientRect().adjusted(-1, -1, 0, 0));
    if (buttonSet_ != 0) painter.drawRect(ButtonRowRect().adjusted(-1, -1, 0, 0));
    painter.restore();
}

void CBasicDialog::PaintCaption(QPainter& painter) const {
    painter.save();
    const QRect bar = CaptionRect();
    const CColors::State state = isActiveWindow() ? CColors::kNormal : CColors::kOff;
    painter.fillRect(bar, colors_.Fill(CColors::kFace, state));
    painter.setPen(colors_.Text(CColors::kFace, state));
    painter.drawText(bar.adjusted(kFrameWidth, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, windowTitle());
    painter.restore();
}

void CBasicDialog::PaintCloseBox(QPainter& painter) const {
    painter.save();
    const QRect box = CloseBoxRect();
    const bool lit = closeBoxPressed_ && pointerInCloseBox_;
    painter.fillRect(box, colors_.Fill(lit ? CColors::kTrack : CColors::kFace));
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::max(4, std::min(box.width(), box.height()) / 3);
    const QRectF glyph(box.center().x() - side / 2.0 + 0.5, box.center().y() - side / 2.0 + 0.5,
                       side, side);
    painter.setPen(QPen(colors_.Text(CColors::kFace), 2.0));
    painter.drawLine(glyph.topLeft(), glyph.bottomRight());
    painter.drawLine(glyph.topRight(), glyph.bottomLeft());
    painter.restore();
}

void CBasicDialog::PaintFrames(QPainter& painter) const {
    painter.save();
    painter.setPen(colors_.Line(CColors::kField));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(colors_.Line(CColors::kFace));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
    painter.drawRect(rect().adjusted(2, 2, -3, -3));
    painter.restore();
}

void CBasicDialog::ShowWithArea(bool shown) {
    if (!IsOpen()) return;
    if (shown && hiddenWithArea_) {
        show();
    } else if (!shown) {
        hide();
    }
    hiddenWithArea_ = !shown;
}

}  // namespace kolvane
