#pragma once

#include <functional>
#include <optional>

#include <QList>
#include <QString>

#include "ui/BasicDialog.h"

namespace kolvane {

class CComboBar;
class CListList;
class CNode;

// The entries of a grid header's level menu (their string numbers).
namespace level_menu {
inline constexpr int kSetName = 40011;
inline constexpr int kSetRank = 40012;
inline constexpr int kAddItem = 40013;
inline constexpr int kSortList = 40014;
inline constexpr int kSelectAll = 40015;
inline constexpr int kUnselectAll = 40016;
inline constexpr int kSelectUnused = 40017;

// The media list's menu, and the sheet's with "add item...".
QList<int> MediaEntries();
QList<int> SheetEntries();
// Whether the entry asks for a text first.
bool AsksForText(int entry);
// "Set level name (walk)" and the others, for `levelName`.
QString DialogTitle(int entry, const QString& levelName);
// What the entry changes: the selection only, or names or order.
bool ChangesSelectionOnly(int entry);
}  // namespace level_menu

// Asks for one line of text under a title; none when cancelled.
using TextQuery = std::function<std::optional<QString>(const QString& title, const QString& text)>;

// The name dialog of the level commands: one text row, ok and cancel.
class CNameDialog : public CBasicDialog {
    Q_OBJECT
  public:
    explicit CNameDialog(QWidget* owner);

    // Runs modally; the entered text, or none when cancelled.
    std::optional<QString> Ask(const QString& title, const QString& text);

  protected:
    void OnOpen() override;
    void LayoutClient(const QRect& client) override;

  private:
    CComboBar* row_;
    QString initial_;
};

}  // namespace kolvane
