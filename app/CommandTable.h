#pragma once

#include <span>

#include <QString>
#include <Qt>

namespace kolvane {

// Where the menu, the accelerators and the keys of the tool-panel buttons
// meet their command numbers: one table each, nothing else names them.

// One item of the main menu. `menu` is the path of submenus it sits in,
// separated by "/"; the text after a tab names the item's key.
struct MenuItem {
    const char* menu;
    int command;
    const char* text;
    bool checkable = false;
};
std::span<const MenuItem> MenuItems();

// The MonitorAspect value a Monitor Type item stands for (32822-32827).
int MonitorTypeAspect(int command);

// Ctrl plus a letter. Two menu texts name other keys than these (Clear Scene
// Timing reads "Ctrl+I", Open Scene Timing "Ctrl+P"), as they always did.
struct Accelerator {
    Qt::Key key;
    int command;
};
// The command of Ctrl plus `key`, or 0.
int AcceleratorCommand(int key, Qt::KeyboardModifiers modifiers);

// The keys that press tool-panel buttons. Enter and the space bar press
// "grab" and "play", or the other way round with the keys swapped.
struct ButtonKey {
    Qt::Key key;
    bool keypad;  // only the numeric keypad's key
    int command;
};
// The command of the button that `key` presses, or 0.
int ButtonKeyCommand(int key, Qt::KeyboardModifiers modifiers, bool swapGrabPlay);

// The menu texts of Grab and Play, which name the key that presses them.
QString GrabMenuText(bool swapGrabPlay);
QString PlayMenuText(bool swapGrabPlay, bool playing);

}  // namespace kolvane
