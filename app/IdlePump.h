#pragma once

#include <functional>

#include <QObject>
#include <QTimer>

namespace kolvane {

// Idle processing: while the event loop has nothing else to do, runs the idle
// handler with a growing idle count, one pass per loop turn, for as long as
// the handler wants more. User input (keys, mouse) starts the count again at
// 0; timers do not count as input.
class CIdlePump : public QObject {
    Q_OBJECT
  public:
    // The handler gets the idle count and answers whether it wants more.
    explicit CIdlePump(std::function<bool(int)> handler, QObject* parent = nullptr);

    // Starts idle passes again (after input, or when new idle work arrived).
    void Wake();
    int IdleCount() const { return count_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void RunPass();

    std::function<bool(int)> handler_;
    QTimer timer_;
    int count_ = 0;
};

}  // namespace kolvane
