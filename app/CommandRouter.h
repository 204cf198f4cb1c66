#pragma once

#include <functional>
#include <vector>

#include <QObject>

#include "platform/Commands.h"

namespace kolvane {

// Offers every command to the panels and dialogs in routing order; the first
// that takes it ends the route, and the frame handles what none took. A sent
// command is handled at once; a posted one when the event loop comes round.
// State queries go the same way and end in the enable and check rules.
class CCommandRouter : public QObject {
    Q_OBJECT
  public:
    using FrameHandler = std::function<bool(int id)>;
    using Rules = std::function<CommandState(int id)>;

    CCommandRouter(FrameHandler frame, Rules rules, QObject* parent = nullptr);

    void SetTargets(std::vector<ICommandTarget*> targets) { targets_ = std::move(targets); }
    const std::vector<ICommandTarget*>& Targets() const { return targets_; }
    // Runs after each posted command: a posted command is input to idle
    // processing, a timer is not.
    void SetAfterPosted(std::function<void()> afterPosted) {
        afterPosted_ = std::move(afterPosted);
    }

    void Send(int id);
    void Post(int id);
    CommandState Query(int id) const;

  private:
    FrameHandler frame_;
    Rules rules_;
    std::vector<ICommandTarget*> targets_;
    std::function<void()> afterPosted_;
};

}  // namespace kolvane
