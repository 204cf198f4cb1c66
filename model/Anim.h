#pragma once

#include <vector>

#include <QString>

namespace kolvane {

class CMdiaList;
class CNode;
class CXshtList;
class ISheetHistory;

// The five values of an image sequence as the naming dialog shows them.
struct AnimValues {
    QString name;
    int first = 0;
    int last = 0;
    int next = 1;
    int step = 1;

    bool operator==(const AnimValues&) const = default;
};

// An image sequence: images named "<name> <number>" with the number at least
// four digits wide ("walk 0007"). The grabber keeps one for the level it
// grabs into, the media panel one for renaming the selected images.
//
// Every look-up searches the image level of the media list and ignores case.
// Numbers are read from all of an image's trailing digits, so 10000 and up
// read back as written. `images` refers to media items it does not own.
class CAnim {
  public:
    // Numbers stay within this, so that sums of them never overflow.
    static constexpr int kMaxNumber = 999'999'999;

    // Made at once reset: named "A" for an empty media list.
    explicit CAnim(CMdiaList& media);

    // Clears the numbers and the images, then advances the name to the next
    // one that covers no image ("A" -> "B", "Z" -> "ZA", "z" -> "za").
    void Reset();
    // Derives the sequence from the images of the level that `text` names:
    // "walk 0001" takes every image of "walk".
    void TakeLevel(const QString& text);
    // Derives the sequence from the selected images, in list order; images
    // of different levels make the name "MIXED".
    void TakeSelection();
    // Takes `item` into the sequence when it belongs to it (same base name,
    // number above 0), widening first and last and moving next past it.
    void AddImage(CNode* item);

    // The name the next grabbed image gets: the first "<name> <next>" that
    // names no image, stepping next on by step; next is left there.
    QString NextName();

    // Corrects the five values in place against the sequence as it stands:
    // a changed first moves last and next along, a hand-typed next stays
    // fixed, and next moves on to a free number.
    void Normalise(AnimValues& values);

    AnimValues Get() const;
    // Takes the five values as they are.
    void Set(const AnimValues& values);

    const QString& Name() const { return name_; }
    int First() const { return first_; }
    int Last() const { return last_; }
    int Next() const { return next_; }
    int Step() const { return step_; }
    bool IsNextFixed() const { return nextFixed_; }
    CMdiaList& Media() const { return *media_; }
    const std::vector<CNode*>& Images() const { return images_; }
    void SetImages(const std::vector<CNode*>& images) { images_ = images; }

    // Whether renaming would take the name of an image that is not itself
    // being renamed.
    bool RenameWouldClash() const;
    // Renames the images to "<name> <first + i * step>" in order while the
    // number stays within last. An image already holding a new name, and not
    // renamed itself, is removed from the media list (the user agreed to
    // replace it); cells that showed it go too. The undo history is reset:
    // its snapshots name the images by their old names.
    void ApplyRename(ISheetHistory& history, CXshtList& sheet);

    // A sequence name becomes part of file names: it must not hold "/" or a
    // control character (NUL among them), nor be "." or "..".
    static bool IsValidName(const QString& name);
    // The name with its last character advanced: "Z" gets "A" appended, "z"
    // gets "a", "9" gets "0"; any other character becomes the next one. Works
    // on whole characters, never on bytes, and never yields "/" there.
    static QString AdvanceName(const QString& name);

  private:
    void Clear();
    void FinishDerived();
    CNode* ImageLevel() const;
    // How many of the images a rename gives new names.
    int RenamedCount() const;

    CMdiaList* media_;
    QString name_;
    int first_ = 0;
    int last_ = 0;
    int next_ = 1;
    int step_ = 1;
    bool nextFixed_ = false;
    std::vector<CNode*> images_;
};

}  // namespace kolvane
