#pragma once

#include <set>
#include <utility>

#include <QString>
#include <QStringList>

#include "storage/FolderListing.h"

namespace kolvane {

// Whether `name` matches `pattern` as a whole: "*" stands for any run of
// characters (also none), "?" for exactly one, every other character for
// itself, compared in upper case unless `caseSensitive`.
bool WildcardMatch(QStringView pattern, QStringView name, bool caseSensitive);

// Walks folders by a pattern and reports every matching path to OnMatch: the
// base of the file lists of the scene and movie dialogs.
//
// Patterns: "\" and "/" both separate components; a component of n >= 3 dots
// stands for n - 1 parent steps; "*" and "?" match within one component
// (without regard to case); "**" stands for any number of folder levels,
// none included. A pattern ending in "/" matches folders only and reports them
// with the "/"; otherwise the last component matches files only. Matches come
// in byte order of their names, folder by folder. A pattern without wildcards
// is reported as it stands, whether it exists or not; what a wildcard leads to
// is reported only when it exists ("*/clip.avi" lists the folders that hold
// a clip.avi, not every folder). Links are followed, but
// "**" never enters a folder it has already walked, so a link that leads back
// up cannot make the walk endless.
class CGlobber {
  public:
    // `excluded` name patterns are never reported nor entered; "./" and "../"
    // are always among them. A folder is tested as its name followed by "/".
    explicit CGlobber(const QStringList& excluded = {});
    virtual ~CGlobber() = default;

    void Glob(const QString& pattern);

    const QStringList& Excluded() const { return excluded_; }

  protected:
    // Receives each match.
    virtual void OnMatch(const QString& path) = 0;

  private:
    using Walked = std::set<std::pair<FolderId, QString>>;

    // `expanded`: the components came from a wildcard, so a path without
    // wildcards is reported only when it exists.
    void GlobComponents(const QStringList& components, bool expanded, Walked& walked);
    bool IsExcluded(const QString& name) const;

    QStringList excluded_;
};

}  // namespace kolvane
