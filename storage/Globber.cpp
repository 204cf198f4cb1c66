#include "storage/Globber.h"

#include <QFileInfo>

namespace kolvane {
namespace {

bool SameChar(QChar a, QChar b, bool caseSensitive) {
    return caseSensitive ? a == b : a.toUpper() == b.toUpper();
}

bool HasWildcard(const QString& component) {
    return component.contains(u'*') || component.contains(u'?');
}

// Separators made "/", and runs of three or more dots made parent steps.
QStringList SplitPattern(QString pattern) {
    pattern.replace(u'\\', u'/');
    QStringList components;
    for (const QString& component : pattern.split(u'/')) {
        const bool dotsOnly = component.size() >= 3 && component.count(u'.') == component.size();
        if (!dotsOnly) {
            components << component;
            continue;
        }
        for (qsizetype i = 1; i < component.size(); ++i)
            components << QStringLiteral("..");
    }
    return components;
}

// A folder path ends in "/"; anything else must be a file.
bool Exists(const QString& path) {
    const QFileInfo info(path);
    return path.endsWith(u'/') ? info.isDir() : info.isFile();
}

}  // namespace

bool WildcardMatch(QStringView pattern, QStringView name, bool caseSensitive) {
    // Greedy with one back-track point: linear for any number of stars.
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starAt = -1;
    qsizetype starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || SameChar(pattern[p], name[n], caseSensitive))) {
            ++p;
            ++n;
        } else if (starAt >= 0) {
            p = starAt + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

CGlobber::CGlobber(const QStringList& excluded) {
    for (const QString& pattern :
         QStringList{QStringLiteral("./"), QStringLiteral("../")} + excluded) {
        if (!excluded_.contains(pattern, Qt::CaseInsensitive)) excluded_ << pattern;
    }
}

void CGlobber::Glob(const QString& pattern) {
    Walked walked;
    GlobComponents(SplitPattern(pattern), false, walked);
}

bool CGlobber::IsExcluded(const QString& name) const {
    for (const QString& pattern : excluded_) {
        if (WildcardMatch(pattern, name, false)) return true;
    }
    return false;
}

void CGlobber::GlobComponents(const QStringList& components, bool expanded, Walked& walked) {
    qsizetype wild = 0;
    while (wild < components.size() && !HasWildcard(components[wild]))
        ++wild;
    if (wild == components.size()) {
        const QString path = components.join(u'/');
        if (!expanded || Exists(path)) OnMatch(path);
        return;
    }
    // The folder before the wildcard, ending in "/" ("" for the current one).
    const QString folder =
        wild == 0 ? QString() : components.mid(0, wild).join(u'/') + QLatin1Char('/');
    const QStringList rest = components.mid(wild + 1);

    if (components[wild] == QStringLiteral("**")) {
        const auto id = IdentifyFolder(folder);
        if (!id || !walked.insert({*id, rest.join(u'/')}).second) return;
        GlobComponents(components.mid(0, wild) + rest, true, walked);
        GlobComponents(
            components.mid(0, wild) + QStringList{QStringLiteral("*")} + components.mid(wild), true,
            walked);
        return;
    }

    const auto entries = ListFolder(folder, NameOrder::Bytes);
    if (!entries) return;
    const bool foldersOnly = !rest.isEmpty();
    for (const FolderEntry& entry : *entries) {
        if (foldersOnly ? !entry.isFolder : !entry.isFile) continue;
        if (!WildcardMatch(components[wild], entry.name, false)) continue;
        if (IsExcluded(foldersOnly ? entry.name + QLatin1Char('/') : entry.name)) continue;
        if (foldersOnly) {
            GlobComponents(components.mid(0, wild) + QStringList{entry.name} + rest, true, walked);
        } else {
            OnMatch(folder + entry.name);
        }
    }
}

}  // namespace kolvane
