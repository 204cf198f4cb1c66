#pragma once

#include <QString>
#include <QWidget>

#include "ui/Colors.h"

namespace kolvane {

// A small floating tip that shows where a grid selection is being dragged.
class CTrackTip : public QWidget {
    Q_OBJECT
  public:
    CTrackTip(const CColors& colors, QWidget* parent);

    // Shows `text` just below and right of `globalPoint`.
    void ShowAt(QPoint globalPoint, const QString& text);
    const QString& Text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const CColors* colors_;
    QString text_;
};

}  // namespace kolvane
