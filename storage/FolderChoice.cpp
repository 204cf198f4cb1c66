#include "storage/FolderChoice.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include "storage/Globber.h"

namespace kolvane {
namespace {

const QString kRoot = QStringLiteral("/");

// Collects the names of the subfolders a "/*/" pattern reports.
class CSubfolderNames final : public CGlobber {
  public:
    CSubfolderNames() : CGlobber({QStringLiteral(".*/")}) {}
    QStringList names;

  protected:
    void OnMatch(const QString& path) override {
        const QString folder = path.endsWith(u'/') ? path.chopped(1) : path;
        names << folder.mid(folder.lastIndexOf(u'/') + 1);
    }
};

bool IsFolder(const QString& path) {
    return !path.isEmpty() && !path.contains(QChar(0)) && QFileInfo(path).isDir();
}

}  // namespace

QString JoinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty()) return name;
    if (name.isEmpty()) return folder;
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString ResolveFolderText(const QString& text, const QString& remembered,
                          const QString& dotFolder) {
    if (text.contains(QChar(0))) return remembered;
    QString candidate;
    if (text == QLatin1String("..")) {
        // Above the root there is nothing: the field then offers the roots.
        if (remembered.isEmpty() || remembered == kRoot) return QString();
        candidate = QDir::cleanPath(remembered + QStringLiteral("/.."));
    } else if (text == QLatin1String(".")) {
        candidate = dotFolder;
    } else if (!text.startsWith(u'/')) {
        if (remembered.isEmpty()) return remembered;
        candidate = QDir::cleanPath(JoinPath(remembered, text));
    } else {
        candidate = QDir::cleanPath(text);
    }
    return IsFolder(candidate) ? candidate : remembered;
}

QStringList FolderChoices(const QString& folder) {
    if (folder.isEmpty()) {
        QStringList roots;
        for (const QFileInfo& drive : QDir::drives())
            roots << drive.absoluteFilePath().toUpper();
        return roots;
    }
    return QStringList{QStringLiteral("."), QStringLiteral("..")} +
           MatchingFolderNames(JoinPath(folder, QStringLiteral("*/")));
}

QStringList MatchingFolderNames(const QString& pattern) {
    CSubfolderNames scan;
    scan.Glob(pattern);
    return scan.names;
}

bool IsValidEntryName(const QString& name) {
    if (name.isEmpty() || name.count(u'.') == name.size()) return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c == u'/' || c == u'\\' || c == QChar(0) || c == u'*' || c == u'?';
    });
}

}  // namespace kolvane
