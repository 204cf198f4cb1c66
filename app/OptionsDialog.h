#pragma once

#include <array>
#include <vector>

#include "platform/Commands.h"
#include "ui/BasicDialog.h"

namespace kolvane {

class CComboBar;
class CSettings;

// "Set options": the settings of bytes 1 to 15 on three pages (grabber,
// editor, player) of five rows each, modeless, with OK and Cancel. Each row
// shows its setting in the short form and sets it from its text when the
// user changes it, then tells the panels that read it. Cancel puts bytes 1 to
// 15 back as they were when the dialog opened and tells every panel.
class COptionsDialog : public CBasicDialog, public ICommandTarget {
    Q_OBJECT
  public:
    static constexpr int kPageCommand = 33080;
    // Pages by the string numbers of their names.
    static constexpr int kGrabberPage = 40030;
    static constexpr int kEditorPage = 40040;
    static constexpr int kPlayerPage = 40050;
    static constexpr int kRowsPerPage = 5;

    COptionsDialog(CSettings& settings, ICommandSink& sink, QWidget* owner);
    ~COptionsDialog() override;

    // Opens the dialog unless it is open, on page `pageTextId`.
    void Open(int pageTextId);
    void SelectPage(int pageTextId);
    int Page() const { return page_; }
    // Every row from the record.
    void Reload();

    CComboBar* PageSelector() const { return pageSelector_; }
    // The row sending `command` (33081 to 33095), or none.
    CComboBar* Row(int command) const;

    // Routing from the frame (33025 reloads) and the dialog's own commands.
    bool OnCommand(int id) override;

  protected:
    void OnOpen() override;
    void LayoutClient(const QRect& client) override;

  private:
    struct RowSpec;
    static const std::vector<RowSpec>& Specs();
    static int PageIndex(int pageTextId);

    void RowChanged(int command);
    void ShowRow(const RowSpec& spec);
    void Cancel();
    int SettingOf(int command) const;

    CSettings& settings_;
    ICommandSink& sink_;
    CComboBar* pageSelector_ = nullptr;
    std::vector<CComboBar*> rows_;  // in the order of Specs()
    int page_ = kGrabberPage;
};

}  // namespace kolvane
