#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "platform/Commands.h"

namespace kolvane {

// A main panel whose work is not built yet: it shows the area's name on the
// area's colour and takes part in routing without handling anything.
class CPlaceholderPanel : public QWidget, public ICommandTarget {
    Q_OBJECT
  public:
    CPlaceholderPanel(QColor base, QString title, QWidget* parent);
    bool OnCommand(int) override { return false; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor base_;
    QString title_;
};

}  // namespace kolvane
