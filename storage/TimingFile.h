#pragma once

#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/ResultCodes.h"

class QIODevice;

namespace kolvane {

class CMdiaList;
class CNode;
class CXshtList;

// The timing of a scene as text: the scene timing file (one line per frame,
// one quoted cell name per column), TVPaint timing sheets (read only) and
// After Effects keyframe files (one per named column). All are UTF-8 with CR
// LF line ends; reading takes LF alone too. Numbers are written the same in
// every locale. Undo snapshots are scene timing files.

// Where WriteTiming(path) writes: a folder gets "<folder>/<folder's name>.csv",
// any other path gets ".csv" appended; trailing "/" and "~" are dropped first.
QString TimingFilePath(const QString& path);

// The scene timing file's text for the sheet, frames numbered from the
// FrameStart setting. Names holding a comma or a double quote are quoted the
// CSV way (a quote doubled); others are written exactly as before.
QByteArray FormatTiming(const CXshtList& sheet);

// Writes the scene timing file through a temporary file renamed over the
// target, so that a failure never leaves a truncated file. Returns 0, or
// kTimingNotSaved (60113).
Result WriteTiming(const CXshtList& sheet, const QString& path);
// The same for a sheet's text already made with FormatTiming.
Result WriteTimingText(const QByteArray& text, const QString& path);

// The first "*.csv" of a folder in name order, or none (empty).
QString FirstTimingFileIn(const QString& folder);
// A scene folder's timing file: the one named after the folder, which a save
// writes, else the first "*.csv", else the first "*.xdts" exposure sheet;
// none (empty) without one.
QString SceneTimingFileIn(const QString& folder);

// Reads a timing file onto the sheet: `path` is a folder (its scene timing
// file, SceneTimingFileIn) or a path without the ".csv". A missing file changes nothing and returns
// 0; an empty one returns kTimingEmpty (60114); one that is not a regular file (a FIFO, a link to a
// device) is not read and returns kNotARegularFile (60129). Cells are found in `media` by name,
// then by file path beside the timing file; a cell that names nothing becomes blank. Ends by
// normalising the sheet. `readFile` (when given) receives the file when reading it failed.
Result ReadTiming(CXshtList& sheet, const CMdiaList& media, const QString& path,
                  QStringList* notes = nullptr, QString* readFile = nullptr);
// The same for exactly the file `file` (whatever its extension). An XDTS
// exposure sheet is read as such, whatever its name; what of it could not be
// read goes to `notes`, when given, one line each.
Result ReadTimingFile(CXshtList& sheet, const CMdiaList& media, const QString& file,
                      QStringList* notes = nullptr);
// The same from an open device; `folder` serves the lookups by path. Reading
// stops with EFBIG ("File too large"), keeping what it read, when the sheet
// would grow beyond what a scene can use.
Result ReadTimingFrom(CXshtList& sheet, const CMdiaList& media, QIODevice& in,
                      const QString& folder, QStringList* notes = nullptr);

// A sheet given column by column as runs of cell texts: a run starts at its
// frame and holds until the next run of its column; an empty text is a blank
// cell, as is every frame before a column's first run.
struct TimingRun {
    int frame = 0;
    QString text;
};
struct TimingColumn {
    QString name;
    std::vector<TimingRun> runs;  // in frame order
};
// Reads `frameCount` frames of such columns onto the sheet the way the lines
// of a timing file are read: the columns named in order, cells found by name,
// then by path beside `folder`, then padded and normalised. Texts that found
// no item are added to `unfound` once each, when given.
Result ReadTimingColumns(CXshtList& sheet, const CMdiaList& media,
                         const std::vector<TimingColumn>& columns, int frameCount,
                         const QString& folder, QStringList* unfound = nullptr);

// The keyframe file's text for one column: a time-remap line for each cell
// that shows a media item.
QByteArray FormatKeyframes(const CNode& column, int frameStart, int frameRate);
// "<folder>/<column name> timing.txt"; a "/" in the name becomes "_".
QString KeyframeFilePath(const QString& folder, const QString& columnName);
// Writes a keyframe file for every named column into `folder`. Stops at the
// first file that cannot be written and returns kTimingNotSaved; the files
// are extras, so a scene save goes on regardless.
Result WriteKeyframes(const CXshtList& sheet, const QString& folder);

}  // namespace kolvane
