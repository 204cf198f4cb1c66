#pragma once

#include <functional>
#include <map>

#include <QObject>
#include <QString>

#include "platform/Commands.h"

class QAction;
class QMenu;
class QMenuBar;

namespace kolvane {

// The main menu, built from the menu table. Each menu takes its items'
// enabled and checked states and their run-time texts from the router just
// before it opens.
class CMainMenu : public QObject {
    Q_OBJECT
  public:
    using StateQuery = std::function<CommandState(int id)>;

    CMainMenu(QMenuBar& bar, StateQuery query, QObject* parent = nullptr);

    QAction* Action(int command) const;
    // The menu at `path` ("Tools/Player"), or none.
    QMenu* Menu(const QString& path) const;
    // What aboutToShow does: the states of the menu's own items.
    void Refresh(QMenu& menu);

  signals:
    // An item was chosen.
    void Command(int id);

  private:
    QMenu* MenuAt(QMenuBar& bar, const QString& path);

    StateQuery query_;
    std::map<QString, QMenu*> menus_;
    std::map<int, QAction*> actions_;
    std::map<int, QString> tableTexts_;
};

}  // namespace kolvane
