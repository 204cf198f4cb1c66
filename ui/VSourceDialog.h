#pragma once

#include <vector>

#include "platform/Commands.h"
#include "ui/BasicDialog.h"

namespace kolvane {

class CComboBar;
class CSettings;

// "Adjust video source": the video input, its quality, the noise reduction
// and the picture settings (settings bytes 16 to 23), modeless with OK and
// Cancel. Each change is stored at once and sent to the capture graph, which
// applies it to the live video; Cancel puts the bytes back as they were at
// opening and sends what brings the graph back to them.
class CVSourceDialog : public CBasicDialog, public ICommandTarget {
    Q_OBJECT
  public:
    static constexpr int kInputRow = 33100;
    static constexpr int kQualityRow = 33101;
    static constexpr int kDenoiseRow = 33102;
    static constexpr int kPictureRow = 33103;  // every number row

    CVSourceDialog(CSettings& settings, ICommandSink& sink, QWidget* owner);
    ~CVSourceDialog() override;

    // Opens the dialog unless it is open.
    void Open();
    // Every row from the record.
    void Reload();

    // The row of a setting byte (16 to 23), or none.
    CComboBar* Row(int setting) const;

    bool OnCommand(int id) override;

  protected:
    void OnOpen() override;
    void LayoutClient(const QRect& client) override;

  private:
    void StorePictureRows();
    void Cancel();

    CSettings& settings_;
    ICommandSink& sink_;
    std::vector<CComboBar*> rows_;  // input, quality, denoise, then the numbers
    std::vector<int> rowSettings_;
};

}  // namespace kolvane
