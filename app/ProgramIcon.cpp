#include "app/ProgramIcon.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

namespace kolvane {

QStringList ProgramIconFiles(const QString& programFolder) {
    // Both trees hold the icon theme's layout: <size>x<size>/apps/kolvane.png.
    const QStringList themes = {
        QDir(programFolder).filePath(QStringLiteral(KOLVANE_BUILT_ICON_DIR_FROM_BIN)),
        QDir(programFolder).filePath(QStringLiteral(KOLVANE_INSTALLED_ICON_DIR_FROM_BIN))};
    const QString file =
        QStringLiteral("/apps/") + QLatin1String(kDesktopEntryId) + QStringLiteral(".png");
    for (const QString& theme : themes) {
        std::vector<std::pair<int, QString>> sized;
        const QStringList folders =
            QDir(theme).entryList({QStringLiteral("*x*")}, QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& folder : folders) {
            const int size = folder.section(u'x', 0, 0).toInt();
            const QString path = theme + u'/' + folder + file;
            if (size > 0 && QFileInfo(path).isFile()) sized.emplace_back(size, path);
        }
        if (sized.empty()) continue;
        std::sort(sized.begin(), sized.end());
        QStringList files;
        for (const auto& [size, path] : sized)
            files << QDir::cleanPath(path);
        return files;
    }
    return {};
}

QIcon ProgramIcon(const QString& programFolder) {
    QIcon icon;
    for (const QString& file : ProgramIconFiles(programFolder))
        icon.addFile(file);
    if (icon.isNull()) icon = QIcon::fromTheme(QLatin1String(kDesktopEntryId));
    return icon;
}

}  // namespace kolvane
