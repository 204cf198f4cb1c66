#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace kolvane {

// The name of the program's desktop entry (kolvane.desktop), by which a
// desktop matches its windows to the entry and its icon.
inline constexpr char kDesktopEntryId[] = "kolvane";

// The PNG sizes of the program's icon that belong to the program in
// `programFolder`: those the build made beside it, or those installed in the
// icon theme of its install tree (found relative to it, so that a moved tree
// still has them). Smallest first; empty when neither is there.
QStringList ProgramIconFiles(const QString& programFolder);

// The icon of ProgramIconFiles, or the desktop theme's icon of that name
// when the program has none of its own beside it.
QIcon ProgramIcon(const QString& programFolder);

}  // namespace kolvane
