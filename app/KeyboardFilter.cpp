#include "app/KeyboardFilter.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include "app/CommandTable.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "ui/BasicButton.h"
#include "ui/BasicPanel.h"
#include "ui/ScrollBar.h"

namespace kolvane {
namespace {

bool IsKey(const QEvent* event) {
    return event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
}

bool IsPress(const QKeyEvent& event) {
    return event.type() == QEvent::KeyPress;
}

}  // namespace

CKeyboardFilter::CKeyboardFilter(IKeyboardHost& host, const CSettings& settings,
                                 const CXshtList& sheet, QObject* parent)
    : QObject(parent), host_(host), settings_(settings), sheet_(sheet) {
    QCoreApplication::instance()->installEventFilter(this);
}

bool CKeyboardFilter::eventFilter(QObject* watched, QEvent* event) {
    TrackEscape(event);
    // The frame is disabled while a modal window is up, and a menu that is
    // open keeps its keys.
    if (!watched->isWidgetType() || QApplication::activeModalWidget() != nullptr ||
        QApplication::activePopupWidget() != nullptr) {
        return false;
    }
    auto* receiver = static_cast<QWidget*>(watched);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return TranslateMouse(receiver, static_cast<QMouseEvent*>(event));
        case QEvent::Wheel:
            if (receiver->window() != host_.KeyWindow()) return false;
            return RedirectWheel(static_cast<QWheelEvent*>(event));
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            if (receiver->window() != host_.KeyWindow()) return false;
            if (IsPropagating(event, receiver)) return false;
            auto* key = static_cast<QKeyEvent*>(event);
            if (TranslateKey(key)) {
                key->accept();
                return true;
            }
            passedEvent_ = event;
            passedAt_ = receiver;
            return false;
        }
        default:
            return false;
    }
}

void CKeyboardFilter::TrackEscape(const QEvent* event) {
    if (IsKey(event)) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) {
            escapeHeld_ = key->type() == QEvent::KeyPress;
        }
    } else if (event->type() == QEvent::ApplicationStateChange &&
               QGuiApplication::applicationState() != Qt::ApplicationActive) {
        // Its release goes to another program.
        escapeHeld_ = false;
    }
}

bool CKeyboardFilter::IsPropagating(const QEvent* event, QWidget* receiver) {
    if (event != passedEvent_ || passedAt_ == nullptr || passedAt_->parent() != receiver) {
        return false;
    }
    passedAt_ = receiver;
    return true;
}

// A double click counts as a single click, and the middle button as the left
// one (a panel that cares finds the middle button among the held buttons).
bool CKeyboardFilter::TranslateMouse(QWidget* receiver, QMouseEvent* event) {
    QEvent::Type type = event->type();
    Qt::MouseButton button = event->button();
    if (type == QEvent::MouseButtonDblClick) {
        type = QEvent::MouseButtonPress;
        if (button == Qt::MiddleButton) button = Qt::LeftButton;
    } else if (button == Qt::MiddleButton) {
        button = Qt::LeftButton;
    } else {
        return false;
    }
    QMouseEvent single(type, event->position(), event->scenePosition(), event->globalPosition(),
                       button, event->buttons(), event->modifiers(), event->pointingDevice());
    QApplication::sendEvent(receiver, &single);
    event->accept();
    return true;
}

bool CKeyboardFilter::RedirectWheel(QWheelEvent* event) {
    if (forwardingWheel_) return false;
    const QPointF global = event->globalPosition();
    if (QWidget* target = host_.TargetPanel(global.toPoint())) {
        QWheelEvent turned(target->mapFromGlobal(global), global, event->pixelDelta(),
                           event->angleDelta(), event->buttons(), event->modifiers(),
                           event->phase(), event->inverted(), event->source(),
                           event->pointingDevice());
        forwardingWheel_ = true;
        QApplication::sendEvent(target, &turned);
        forwardingWheel_ = false;
    }
    event->accept();
    return true;
}

bool CKeyboardFilter::TranslateKey(QKeyEvent* event) {
    // The keyboard's own repeat sends key downs only, as it always did here.
    if (!IsPress(*event) && event->isAutoRepeat()) return true;
    if (Accelerator(*event) || GrabberAndPlayOnceKeys(*event) || ScrollBarKeys(*event) ||
        GrabberDigits(*event) || PlayerJumps(*event)) {
        return true;
    }
    const int command =
        ButtonKeyCommand(event->key(), event->modifiers(), settings_.Get(SwapGrabPlayKeys) == 1);
    if (command != 0) return PressToolButton(command, *event);
    return true;  // the frame owns the keyboard: every other key is dropped
}

bool CKeyboardFilter::Accelerator(const QKeyEvent& event) {
    if (!IsPress(event)) return false;
    const int command = AcceleratorCommand(event.key(), event.modifiers());
    if (command == 0) return false;
    if (!escapeHeld_ && host_.QueryCommand(command).enabled) host_.SendCommand(command);
    return true;
}

bool CKeyboardFilter::GrabberAndPlayOnceKeys(const QKeyEvent& event) {
    if (!IsPress(event)) return false;
    int command = 0;
    switch (event.key()) {
        case Qt::Key_Left:
            if (host_.GrabberVisible()) command = cmd::kShowPrev;
            break;
        case Qt::Key_Right:
            if (host_.GrabberVisible()) command = cmd::kShowNext;
            break;
        case Qt::Key_F11:
            if (host_.GrabberVisible()) command = cmd::kLoopSelected;
            break;
        case Qt::Key_F12:
            command = cmd::kPlayOnce;
            break;
        default:
            break;
    }
    if (command == 0) return false;
    host_.SendCommand(command);
    return true;
}

bool CKeyboardFilter::ScrollBarKeys(const QKeyEvent& event) {
    const int key = event.key();
    switch (key) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down:
            break;
        default:
            return false;
    }
    const auto* panel = qobject_cast<const CBasicPanel*>(host_.TargetPanel(QCursor::pos()));
    if (panel == nullptr || !panel->HasScrollBars()) return false;
    if (!IsPress(event)) {
        if (arrowButton_ != nullptr) arrowButton_->ShowReleased();
        arrowButton_ = nullptr;
        return true;
    }
    CScrollBar* vertical = panel->VerticalBar();
    CScrollBar* horizontal = panel->HorizontalBar();
    CBasicButton* arrow = nullptr;
    switch (key) {
        case Qt::Key_PageUp:
            vertical->Scroll(CScrollBar::kPageBack);
            break;
        case Qt::Key_PageDown:
            vertical->Scroll(CScrollBar::kPageOn);
            break;
        case Qt::Key_Home:
            vertical->ToStart();
            break;
        case Qt::Key_End:
            vertical->ToEnd();
            break;
        case Qt::Key_Up:
            arrow = vertical->BackButton();
            break;
        case Qt::Key_Down:
            arrow = vertical->OnButton();
            break;
        case Qt::Key_Left:
            arrow = horizontal->BackButton();
            break;
        default:
            arrow = horizontal->OnButton();
            break;
    }
    if (arrow != nullptr) {
        if (arrowButton_ != nullptr && arrowButton_ != arrow) arrowButton_->ShowReleased();
        arrowButton_ = arrow;
        arrow->KeyDown(!escapeHeld_);
    }
    return true;
}

bool CKeyboardFilter::GrabberDigits(const QKeyEvent& event) {
    const int key = event.key();
    if (!IsPress(event) || !host_.GrabberVisible() || !(event.modifiers() & Qt::KeypadModifier) ||
        key < Qt::Key_1 || key > Qt::Key_9) {
        return false;
    }
    host_.GrabberDigit(key - Qt::Key_0);
    return true;
}

bool CKeyboardFilter::PlayerJumps(const QKeyEvent& event) {
    const int key = event.key();
    if (!IsPress(event) || !host_.PlayerVisible()) return false;
    if (key != Qt::Key_Home && key != Qt::Key_End && key != Qt::Key_PageUp &&
        key != Qt::Key_PageDown) {
        return false;
    }
    // An empty sheet has no frame to go to (its last frame would be -2).
    if (sheet_.FrameCount() == 0) return true;
    const int second = settings_.Get(FrameRate);
    switch (key) {
        case Qt::Key_Home:
            host_.PlayerGoToFrame(0);
            break;
        case Qt::Key_End:
            host_.PlayerGoToFrame(sheet_.SheetLength() - 2);
            break;
        case Qt::Key_PageUp:
            host_.PlayerGoToFrame(sheet_.CurrentFrame() - second);
            break;
        default:
            host_.PlayerGoToFrame(sheet_.CurrentFrame() + second);
            break;
    }
    return true;
}

bool CKeyboardFilter::PressToolButton(int command, const QKeyEvent& event) {
    CBasicButton* button = host_.ToolButton(command);
    if (button == nullptr) return true;
    if (IsPress(event)) {
        if (keyButton_ != nullptr && keyButton_ != button) keyButton_->ShowReleased();
        keyButton_ = button;
        return button->KeyDown(!escapeHeld_);
    }
    // Only the key that pressed the button lets it go; a key up whose key
    // down went elsewhere (a dialog it closed) fires nothing.
    if (button != keyButton_) return true;
    keyButton_ = nullptr;
    return button->KeyUp(!escapeHeld_);
}

}  // namespace kolvane
