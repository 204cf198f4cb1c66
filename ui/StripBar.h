#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>

namespace kolvane {

// A plain strip window (letterbox bars, status lines). It paints nothing of
// its own: its owner draws into it through the painter hook. Left and right
// presses go to the owner with the point in the owner's coordinates.
class CStripBar : public QWidget {
    Q_OBJECT
  public:
    using Painter = std::function<void(QPainter& painter, const QRect& rect)>;

    // The owner is the parent unless another is given.
    explicit CStripBar(QWidget* parent, QWidget* owner = nullptr);

    void SetOwner(QWidget* owner) { owner_ = owner; }
    QWidget* Owner() const { return owner_ != nullptr ? owner_.data() : parentWidget(); }
    void SetPainter(Painter painter);

  signals:
    void Pressed(Qt::MouseButton button, QPoint ownerPoint);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QPointer<QWidget> owner_;
    Painter painter_;
};

}  // namespace kolvane
