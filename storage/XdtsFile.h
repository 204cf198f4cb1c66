#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/ResultCodes.h"

class QIODevice;

namespace kolvane {

class CMdiaList;
class CXshtList;

// Exchange digital time sheets (".xdts"), the exposure sheets that 2D
// animation programs trade: a first line naming the format, then one JSON
// object. Only the first time table's cell field maps onto our sheet: each
// track is an image column (track 0, the bottom layer, first), a value names
// the image of the track's level whose number it is ("12" on track "walk" is
// "walk 0012"), and a cell holds until the track changes.

inline constexpr char kXdtsIdentifier[] = "exchangeDigitalTimeSheet Save Data";

// Whether `start`, the first bytes of a file, opens an XDTS file.
bool StartsAsXdts(const QByteArray& start);

// What a read could not carry over, one line each ("dialogue field not
// read", "value "2a" of track "walk" names no image"), and why a file was
// refused. Filled when given.
struct XdtsReport {
    QStringList notRead;
    QString refusal;
};

// Reads an XDTS file from `in` onto the sheet the way a timing file is read:
// cells found by name, then by path beside `folder`; padded and normalised.
// A file that is not XDTS, malformed, or larger than a scene can be returns
// kTimingEmpty (60114) with the reason in `report` and leaves the sheet as it
// was.
Result ReadXdtsFrom(CXshtList& sheet, const CMdiaList& media, QIODevice& in, const QString& folder,
                    XdtsReport* report = nullptr);

// The sheet's image columns as an XDTS file: one cell-field track each, one
// value where the track changes, empty runs as null cells. Header and time
// table take their names from `sceneName`. Sound columns are left out and
// named in `leftOut` when given.
QByteArray FormatXdts(const CXshtList& sheet, const QString& sceneName,
                      QStringList* leftOut = nullptr);

// Writes FormatXdts through a temporary file renamed over `path`. Returns 0
// or kTimingNotSaved (60113).
Result WriteXdts(const CXshtList& sheet, const QString& sceneName, const QString& path,
                 QStringList* leftOut = nullptr);

}  // namespace kolvane
