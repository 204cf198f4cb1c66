#pragma once

#include <QWidget>

namespace kolvane {

// The borderless start-up picture, centred on the screen above the frame;
// it closes itself after `milliseconds`, saying Finished.
class CSplashWnd : public QWidget {
    Q_OBJECT
  public:
    CSplashWnd(QWidget* owner, int milliseconds);

  signals:
    void Finished();

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kolvane
