#include "app/MainMenu.h"

#include <QMenu>
#include <QMenuBar>

#include "app/CommandTable.h"

namespace kolvane {

CMainMenu::CMainMenu(QMenuBar& bar, StateQuery query, QObject* parent)
    : QObject(parent), query_(std::move(query)) {
    for (const MenuItem& item : MenuItems()) {
        QMenu* menu = MenuAt(bar, QString::fromLatin1(item.menu));
        const QString text = QString::fromLatin1(item.text);
        QAction* action = menu->addAction(text);
        action->setData(item.command);
        action->setCheckable(item.checkable);
        actions_[item.command] = action;
        tableTexts_[item.command] = text;
        const int command = item.command;
        connect(action, &QAction::triggered, this, [this, command] { emit Command(command); });
    }
}

QMenu* CMainMenu::MenuAt(QMenuBar& bar, const QString& path) {
    if (auto found = menus_.find(path); found != menus_.end()) return found->second;
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    QMenu* menu = nullptr;
    if (cut < 0) {
        menu = bar.addMenu(path);
    } else {
        menu = MenuAt(bar, path.left(cut))->addMenu(path.mid(cut + 1));
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { Refresh(*menu); });
    menus_[path] = menu;
    return menu;
}

QAction* CMainMenu::Action(int command) const {
    const auto found = actions_.find(command);
    return found != actions_.end() ? found->second : nullptr;
}

QMenu* CMainMenu::Menu(const QString& path) const {
    const auto found = menus_.find(path);
    return found != menus_.end() ? found->second : nullptr;
}

void CMainMenu::Refresh(QMenu& menu) {
    for (QAction* action : menu.actions()) {
        if (!action->data().isValid()) continue;  // a submenu
        const int command = action->data().toInt();
        const CommandState state = query_(command);
        action->setEnabled(state.enabled);
        if (action->isCheckable()) action->setChecked(state.checked);
        action->setText(state.text.value_or(tableTexts_[command]));
    }
}

}  // namespace kolvane
