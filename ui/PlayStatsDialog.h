#pragma once

#include <cstdint>

#include <QStringList>

#include "display/PictureCache.h"
#include "ui/BasicDialog.h"

namespace kolvane {

// "playback statistics": after a run that dropped frames, how many it
// dropped and the lowest and highest rate it measured, then what the picture
// cache holds against its budget and its hits and misses so far. Modeless,
// without buttons, reused, and reopened where the user left it.
class CPlayStatsDialog : public CBasicDialog {
    Q_OBJECT
  public:
    explicit CPlayStatsDialog(QWidget* owner);

    void Show(std::uint32_t skippedFrames, std::uint32_t lowestRate, std::uint32_t highestRate,
              const PictureCacheStatistics& cache = {});
    // The lines as shown.
    const QStringList& Lines() const { return lines_; }

  protected:
    void PaintClient(QPainter& painter, const QRect& client) override;

  private:
    QStringList lines_;
};

}  // namespace kolvane
