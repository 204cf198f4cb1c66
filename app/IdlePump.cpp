#include "app/IdlePump.h"

#include <QCoreApplication>
#include <QEvent>

namespace kolvane {

CIdlePump::CIdlePump(std::function<bool(int)> handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    // A zero timer fires only when the loop has no other pending events.
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &CIdlePump::RunPass);
    QCoreApplication::instance()->installEventFilter(this);
    Wake();
}

void CIdlePump::Wake() {
    count_ = 0;
    if (!timer_.isActive()) timer_.start();
}

void CIdlePump::RunPass() {
    const bool more = handler_(count_);
    ++count_;
    if (!more) timer_.stop();
}

bool CIdlePump::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            if (count_ != 0 || !timer_.isActive()) Wake();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kolvane
