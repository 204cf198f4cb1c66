#pragma once

#include <vector>

#include <QHash>
#include <QString>

namespace kolvane {

class CMdiaList;
class CNode;

// The media list's lookups by path and by name, answered from hashes built
// once, so that a walk over n files or cells asks in O(1) each instead of
// walking the list: the same answers as CListList::FindItemByPath and
// FindItemByName for a list that does not change meanwhile (a timing file
// being read), or that changes only by the items added through Add (an
// import). Each hash is made at its first question: an import asks only
// by path, a timing file mostly by name, and at 20,000 items the hash
// nobody asks would cost as much as the read.
class CMediaIndex {
  public:
    explicit CMediaIndex(const CMdiaList& media);

    // Whether an item's path equals `path` with both extensions dropped,
    // case ignored.
    bool HasPath(const QString& path) const;
    // The first item, in list order, of that path; none when there is none.
    CNode* FindByPath(const QString& path) const;
    // The first item, in list order, whose name equals `name` case ignored
    // (in a sound level the name less a ":frame" suffix too).
    CNode* FindByName(const QString& name) const;
    // An item added to the list after the index was made.
    void Add(CNode* item);

  private:
    struct Entry {
        CNode* item = nullptr;
        int rank = 0;  // place in list order, for "the first" (names only)
    };
    struct Level {
        bool sounds = false;
        QHash<QString, Entry> names;
    };

    static QString PathKey(const QString& path);
    static void KeepFirst(QHash<QString, Entry>& hash, const QString& key, Entry entry);
    const QHash<QString, Entry>& Paths() const;
    const std::vector<Level>& Levels() const;

    const CMdiaList& media_;
    mutable bool pathsMade_ = false;
    mutable bool namesMade_ = false;
    mutable QHash<QString, Entry> paths_;
    mutable std::vector<Level> levels_;
};

}  // namespace kolvane
