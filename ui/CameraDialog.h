#pragma once

#include <functional>
#include <vector>

#include "platform/Commands.h"
#include "ui/BasicDialog.h"

namespace kolvane {

class CComboBar;
class CSettings;

// "Camera setup": the camera's white balance, ISO, aperture and picture size
// (settings bytes 32 to 35), modeless with OK and Cancel. Opening has the
// camera remember what it has; each change is stored and written to the
// camera at once; Cancel puts the bytes back and gives the camera back what
// it had.
class CCameraDialog : public CBasicDialog, public ICommandTarget {
    Q_OBJECT
  public:
    static constexpr int kRowCommand = 33104;

    // `cameraName` answers the connected camera's model, empty without one.
    CCameraDialog(CSettings& settings, ICommandSink& sink, std::function<QString()> cameraName,
                  QWidget* owner);
    ~CCameraDialog() override;

    void Open();
    void Reload();

    CComboBar* CameraRow() const { return cameraRow_; }
    // The row of a setting byte (32 to 35), or none.
    CComboBar* Row(int setting) const;

    bool OnCommand(int id) override;

  protected:
    void OnOpen() override;
    void LayoutClient(const QRect& client) override;

  private:
    void StoreRows();
    void Cancel();

    CSettings& settings_;
    ICommandSink& sink_;
    std::function<QString()> cameraName_;
    CComboBar* cameraRow_ = nullptr;
    std::vector<CComboBar*> rows_;  // the camera row, then bytes 32 to 35
};

}  // namespace kolvane
