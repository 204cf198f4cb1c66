#pragma once

#include <optional>

#include <QString>

namespace kolvane {

class CNode;

// Orders names by Unicode code point, which is the byte order of their UTF-8
// form: the order the media levels keep. Returns <0, 0, >0.
int CompareNames(const QString& a, const QString& b);

// Equal without regard to case.
bool SameNameIgnoringCase(const QString& a, const QString& b);

// The name with trailing ":", "_", "-", ".", " " removed, and for images the
// trailing digits too ("A 0012" -> "A", "walk_3" -> "walk").
QString BaseName(const QString& name, bool isImage);
QString BaseName(const CNode& node);

// The value of the trailing digits, 0 when there are none.
int TrailingNumber(const QString& name);

// A string with its last `count` characters dropped; never underflows.
QString DropLast(const QString& text, int count);

// The image name "%s %04d" of a base name and a number.
QString ImageName(const QString& base, int number);

// Sound cells are named "%s:%4d" of the sound's name and the cell's 1-based
// frame index within the sound; the index grows past four characters after
// 9999 frames, so it is read back from the digits after the last ":".
QString SoundCellName(const QString& soundName, int index);

struct SoundCellNameParts {
    QString soundName;
    int index = 0;
};
// Splits a sound cell name; none when the name does not end in ":" followed by
// optional spaces and at least one digit.
std::optional<SoundCellNameParts> ParseSoundCellName(const QString& cellName);

// A file's item name: the file name after the last "/" less its extension's
// four characters (".png").
QString ItemNameFromPath(const QString& path);

// Paths compared as the media list does: the last four characters (the
// extension with its dot) dropped from both, case ignored.
bool SamePathIgnoringExtension(const QString& a, const QString& b);

}  // namespace kolvane
