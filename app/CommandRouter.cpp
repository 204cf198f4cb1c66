#include "app/CommandRouter.h"

namespace kolvane {

CCommandRouter::CCommandRouter(FrameHandler frame, Rules rules, QObject* parent)
    : QObject(parent), frame_(std::move(frame)), rules_(std::move(rules)) {}

void CCommandRouter::Send(int id) {
    for (ICommandTarget* target : targets_) {
        if (target->OnCommand(id)) return;
    }
    frame_(id);
}

void CCommandRouter::Post(int id) {
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            Send(id);
            if (afterPosted_) afterPosted_();
        },
        Qt::QueuedConnection);
}

CommandState CCommandRouter::Query(int id) const {
    CommandState state;
    for (ICommandTarget* target : targets_) {
        if (target->OnCommandState(id, state)) return state;
    }
    return rules_(id);
}

}  // namespace kolvane
