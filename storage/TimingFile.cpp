#include "storage/TimingFile.h"
#include "storage/WorkingFolders.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include "display/ImageFiles.h"
#include "model/MdiaList.h"
#include "model/MediaInfo.h"
#include "model/MediaNames.h"
#include "model/XshtList.h"
#include "settings/Settings.h"
#include "storage/MediaFiles.h"
#include "storage/MediaIndex.h"
#include "storage/SafeFile.h"
#include "storage/XdtsFile.h"

namespace kolvane {
namespace {

// Limits that no real scene reaches; past them a damaged or hostile file
// cannot exhaust memory. A longer line is cut, further fields are ignored.
constexpr qint64 kMaxLineBytes = qint64{1} << 20;
constexpr int kMaxColumns = 1000;
constexpr qint64 kMaxCells = qint64{1} << 22;

// A TVPaint sheet names its layers on line 5; its frames start on line 10.
constexpr int kTvPaintNamesLine = 5;
constexpr int kTvPaintFirstFrameLine = 10;

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

// ---- writing

// Every name is quoted; one that holds a comma or a double quote is quoted
// the CSV way, so that it reads back. Other names are written as they always
// were, and older readers still read them.
QByteArray Quoted(const QString& name) {
    QByteArray text = name.toUtf8();
    text.replace('"', QByteArrayLiteral("\"\""));
    return '"' + text + '"';
}

Result WriteFileSafely(const QString& path, const QByteArray& text) {
    return WriteFileAtomically(path, text) == kOk ? kOk : msg::kTimingNotSaved;
}

// The time of a cell in the source sequence: image n is at (n - 1) / rate,
// the number read by the media list's rule; a name without a number, or
// numbered 0, is at 0 rather than before the sequence starts.
float KeyframeSeconds(const CNode& cell, int frameRate) {
    const int number = TrailingNumber(cell.name);
    const double seconds = (static_cast<double>(number) - 1.0) / frameRate;
    return std::max(0.0f, static_cast<float>(seconds));
}

// "%g" in the C locale, whatever the user's locale.
QByteArray FormatG(float value) {
    char text[32];
    const auto result = std::to_chars(std::begin(text), std::end(text), static_cast<double>(value),
                                      std::chars_format::general, 6);
    return QByteArray(text, result.ptr - text);
}

// The size of the first image the column shows; read from the file's header
// when the picture is not loaded yet. None (0 × 0) for a column without one.
QSize SourceSize(const CNode& column) {
    for (const CNode* cell : *column.children) {
        const CNode* item = cell->item;
        if (item == nullptr || !item->HasAny(kTypeImage) || !item->imageInfo) continue;
        const CImageInfo& info = *item->imageInfo;
        if (info.imageWidth > 0 && info.imageHeight > 0) {
            return QSize(info.imageWidth, info.imageHeight);
        }
        const QSize size = ProbeImageSize(info.path);
        return size.isValid() ? size : QSize(0, 0);
    }
    return QSize(0, 0);
}

// ---- reading

// Reads lines without their line end (CR LF or LF) through one buffer. A
// line longer than kMaxLineBytes keeps its start; the rest is skipped.
class CLineReader {
  public:
    explicit CLineReader(QIODevice& in) : in_(in), buffer_(kMaxLineBytes + 1, Qt::Uninitialized) {}

    bool Next(QByteArray& line) {
        qint64 length = in_.readLine(buffer_.data(), buffer_.size());
        if (length <= 0) return false;
        line = QByteArray(buffer_.constData(), length);
        while (length == buffer_.size() - 1 && buffer_[length - 1] != '\n') {
            length = in_.readLine(buffer_.data(), buffer_.size());
            if (length <= 0) break;
        }
        if (line.endsWith('\n')) line.chop(1);
        if (line.endsWith('\r')) line.chop(1);
        return true;
    }

  private:
    QIODevice& in_;
    QByteArray buffer_;
};

// UTF-8; a line that is not (an older file in a Windows code page) is taken
// as Latin-1 rather than losing its accented letters.
QString DecodeLine(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// Splits a line at commas into at most `maxFields` fields, each without its
// leading white space. A field that then opens with a double quote runs to
// the closing quote, commas included, with "" standing for one quote.
// Elsewhere double quotes are dropped, as older files wrote names unescaped.
QStringList SplitFields(const QString& line, int maxFields) {
    QStringList fields;
    const qsizetype end = line.size();
    qsizetype i = 0;
    while (fields.size() < maxFields) {
        while (i < end && line[i].isSpace())
            ++i;
        QString field;
        if (i < end && line[i] == u'"') {
            for (++i; i < end; ++i) {
                if (line[i] != u'"') {
                    field += line[i];
                } else if (i + 1 < end && line[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        }
        for (; i < end && line[i] != u','; ++i) {
            if (line[i] != u'"') field += line[i];
        }
        fields.append(field);
        if (i >= end) break;
        ++i;
    }
    return fields;
}

// A cell's item found from the text of its field, and the text that found it.
struct CellLookup {
    CNode* item = nullptr;
    QString text;
};

class CCellFinder {
  public:
    CCellFinder(const CMdiaList& media, const QString& folder) : index_(media), folder_(folder) {}

    // By name, then by the path beside the timing file; the text as it stands
    // first, then without a media extension (so "shot.1 0001" keeps its dot).
    // A held cell repeats the text above it, so each column keeps its last
    // answer: a hash of every text read would cost more than it saves.
    const CellLookup& Find(int column, const QString& text) {
        if (column >= static_cast<int>(last_.size())) last_.resize(column + 1);
        Last& last = last_[column];
        if (last.valid && last.text == text) return last.found;
        CellLookup found{FindItem(text), text};
        if (found.item == nullptr) {
            if (auto stem = WithoutMediaExtension(text)) {
                if (CNode* item = FindItem(*stem)) found = {item, *stem};
            }
        }
        last = {true, text, std::move(found)};
        return last.found;
    }

  private:
    CNode* FindItem(const QString& text) const {
        if (text.isEmpty()) return nullptr;
        if (CNode* item = index_.FindByName(text)) return item;
        // Paths are compared without their last four characters, the
        // extension: any four stand in for it here.
        return index_.FindByPath(folder_ + u'/' + text + QStringLiteral(".ext"));
    }

    struct Last {
        bool valid = false;
        QString text;
        CellLookup found;
    };

    const CMediaIndex index_;
    const QString folder_;
    std::vector<Last> last_;
};

// Reads the data lines onto the sheet: field i of a line goes to column i - 1
// in the line's row, whatever fields the line before had.
class CTimingRows {
  public:
    CTimingRows(CXshtList& sheet, CCellFinder& finder, QStringList* unfound = nullptr)
        : sheet_(sheet), finder_(finder), firstRow_(sheet.SheetLength()), unfound_(unfound) {}

    // False when the sheet would outgrow kMaxCells.
    bool Add(const QStringList& fields) {
        if (fields.size() < 2) return true;  // no cells: not a frame
        const int row = firstRow_ + rows_;
        if (!Fits(row, 0)) return false;
        for (int i = 1; i < fields.size(); ++i) {
            const int index = i - 1;
            const CellLookup& found = finder_.Find(index, fields[i]);
            if (!Fits(row, index)) return false;
            CNode* column = ColumnAt(index, found.item);
            CNodeList& cells = *column->children;
            while (cells.size() < row)
                cells.append(CNode::NewCell(nullptr));
            CNode* cell = cells.append(CNode::NewCell(found.item));
            if (cell->HasAny(kTypeSound)) cell->name = found.text;
            if (found.item == nullptr && unfound_ != nullptr && !fields[i].isEmpty() &&
                !reported_.contains(fields[i])) {
                reported_.insert(fields[i]);
                unfound_->append(fields[i]);
            }
        }
        ++rows_;
        return true;
    }

  private:
    // Whether row `row` of column `index` keeps the sheet within kMaxCells,
    // counting every column that holds read cells as filled to that row.
    bool Fits(int row, int index) {
        if (index >= static_cast<int>(columnUsed_.size())) columnUsed_.resize(index + 1, false);
        const qint64 columns = usedColumns_ + (columnUsed_[index] ? 0 : 1);
        if (qint64{row + 1} * columns > kMaxCells) return false;
        if (!columnUsed_[index]) {
            columnUsed_[index] = true;
            ++usedColumns_;
        }
        return true;
    }

    // Column `index`, made in front of the trailing blank column when the
    // sheet has none yet. Fields are taken in order, so that is its place.
    CNode* ColumnAt(int index, const CNode* item) {
        CNodeList& columns = sheet_.Levels();
        if (index + 1 < columns.size()) return columns.at(index);
        const QString name = item != nullptr ? CXshtList::ColumnNameFor(*item) : QString();
        return columns.insert(columns.size() - 1, sheet_.MakeLevel(kTypeLevel, name, 0));
    }

    CXshtList& sheet_;
    CCellFinder& finder_;
    const int firstRow_;
    QStringList* unfound_;
    QSet<QString> reported_;
    int rows_ = 0;
    std::vector<bool> columnUsed_;
    qint64 usedColumns_ = 0;
};

// Field i of the names line (whose field 0 is a label, empty in our own
// files) names column i - 1: an unnamed column takes the name, a named one
// keeps its own, a missing one is made in front of the trailing blank column.
// The sheet then ends in an unnamed column, in front of which the data lines
// make the columns they need.
void NameColumns(CXshtList& sheet, const QStringList& fields) {
    CNodeList& columns = sheet.Levels();
    const CNode* last = columns.back();
    const bool hasTrailing =
        last != nullptr && last->type == kTypeBlankColumn && last->name.isEmpty();
    int named = columns.size() - (hasTrailing ? 1 : 0);
    for (int i = 1; i < fields.size(); ++i) {
        if (i - 1 < named) {
            CNode* column = columns.at(i - 1);
            if (column->name.isEmpty()) column->name = fields[i];
        } else {
            columns.insert(named++, sheet.MakeLevel(kTypeLevel, fields[i], 0));
        }
    }
    if (!hasTrailing) columns.append(sheet.MakeLevel(kTypeBlankColumn, QString(), 0));
}

void ReverseColumns(CXshtList& sheet) {
    CNodeList& columns = sheet.Levels();
    for (int i = 0; i + 1 < columns.size(); ++i)
        columns.move(columns.size() - 1, i);
}

}  // namespace

QString TimingFilePath(const QString& path) {
    QString file = WithoutTrailingSlashes(path);
    const QFileInfo info(file);
    if (info.isDir()) file += u'/' + info.fileName();
    while (file.endsWith(u'~'))
        file.chop(1);
    return file + QStringLiteral(".csv");
}

QByteArray FormatTiming(const CXshtList& sheet) {
    const CNodeList& columns = sheet.Levels();
    const int frameStart = sheet.Settings().Get(FrameStart);
    QByteArray text = QByteArrayLiteral(",");
    for (int i = 0; i < columns.size(); ++i) {
        if (i > 0) text += ',';
        text += Quoted(columns.at(i)->name);
    }
    text += kLineEnd;
    const int length = sheet.SheetLength();
    for (int row = 0; row < length; ++row) {
        text += QByteArray::number(frameStart + row);
        text += ',';
        for (int i = 0; i < columns.size(); ++i) {
            if (i > 0) text += ", ";
            const CNode* cell = columns.at(i)->children->at(row);
            text += Quoted(cell != nullptr ? cell->name : QString());
        }
        text += kLineEnd;
    }
    return text;
}

Result WriteTiming(const CXshtList& sheet, const QString& path) {
    return WriteTimingText(FormatTiming(sheet), path);
}

Result WriteTimingText(const QByteArray& text, const QString& path) {
    if (path.isEmpty()) return msg::kTimingNotSaved;
    return WriteFileSafely(TimingFilePath(path), text);
}

QString FirstTimingFileIn(const QString& folder) {
    const QDir dir(folder);
    const QStringList found = dir.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QString() : dir.filePath(found.first());
}

QString SceneTimingFileIn(const QString& folder) {
    const QString own = TimingFilePath(folder);
    // One there but unreadable is reported, not passed over for another.
    const QFileInfo info(own);
    if (info.exists() && !info.isDir()) return own;
    const QString first = FirstTimingFileIn(folder);
    if (!first.isEmpty()) return first;
    const QDir dir(folder);
    const QStringList sheets = dir.entryList({QStringLiteral("*.xdts")}, QDir::Files, QDir::Name);
    return sheets.isEmpty() ? QString() : dir.filePath(sheets.first());
}

Result ReadTiming(CXshtList& sheet, const CMdiaList& media, const QString& path, QStringList* notes,
                  QString* readFile) {
    QString file = WithoutTrailingSlashes(path);
    if (file.isEmpty()) return kOk;
    if (QFileInfo(file).isDir()) {
        file = SceneTimingFileIn(file);
        if (file.isEmpty()) return kOk;
    } else {
        file += QStringLiteral(".csv");
    }
    const Result result = ReadTimingFile(sheet, media, file, notes);
    if (result != kOk && readFile != nullptr) *readFile = file;
    return result;
}

Result ReadTimingFile(CXshtList& sheet, const CMdiaList& media, const QString& file,
                      QStringList* notes) {
    QFile in;
    const Result opened = OpenRegularFile(file, in);
    if (opened == msg::kNotARegularFile) return opened;
    if (opened != kOk) return kOk;  // nothing to read is no failure
    const QString folder = QFileInfo(file).absolutePath();
    // A sheet named ".xdts" that is none is refused, not taken for a table.
    if (file.endsWith(QLatin1String(".xdts"), Qt::CaseInsensitive) && !StartsAsXdts(in.peek(64))) {
        XdtsReport report;
        const Result result = ReadXdtsFrom(sheet, media, in, folder, &report);
        if (notes != nullptr) notes->append(report.refusal);
        return result;
    }
    return ReadTimingFrom(sheet, media, in, folder, notes);
}

Result ReadTimingFrom(CXshtList& sheet, const CMdiaList& media, QIODevice& in,
                      const QString& folder, QStringList* notes) {
    if (StartsAsXdts(in.peek(64))) {
        XdtsReport report;
        const Result result = ReadXdtsFrom(sheet, media, in, folder, &report);
        if (notes != nullptr) {
            if (!report.refusal.isEmpty()) notes->append(report.refusal);
            notes->append(report.notRead);
        }
        return result;
    }
    CLineReader lines(in);
    QByteArray line;
    if (!lines.Next(line)) return msg::kTimingEmpty;
    QString names = DecodeLine(line);
    // Our own names line opens with an empty field; a column may well be
    // called "TVPaint" without making the file one.
    const bool tvPaint = !names.startsWith(u',') && names.contains(QStringLiteral("TVPaint"));
    if (tvPaint) {
        names.clear();
        for (int number = 2; number < kTvPaintFirstFrameLine && lines.Next(line); ++number) {
            if (number == kTvPaintNamesLine) names = DecodeLine(line);
        }
    }

    NameColumns(sheet, SplitFields(names, kMaxColumns + 1));
    sheet.Pad(true);

    // Every data line, TVPaint's too, opens with its frame label: field i goes
    // to column i - 1 as the names do. Frame numbers are not read; rows are
    // taken in file order.
    CCellFinder finder(media, folder);
    CTimingRows rows(sheet, finder);
    Result result = kOk;
    while (lines.Next(line)) {
        if (!rows.Add(SplitFields(DecodeLine(line), kMaxColumns + 1))) {
            result = EFBIG;
            break;
        }
    }

    // TVPaint lists its layers from the top one down.
    if (tvPaint) ReverseColumns(sheet);
    sheet.Normalise();  // which also evens the columns out
    return result;
}

Result ReadTimingColumns(CXshtList& sheet, const CMdiaList& media,
                         const std::vector<TimingColumn>& columns, int frameCount,
                         const QString& folder, QStringList* unfound) {
    QStringList names{QString()};
    for (const TimingColumn& column : columns)
        names.append(column.name);
    NameColumns(sheet, names);
    sheet.Pad(true);

    CCellFinder finder(media, folder);
    CTimingRows rows(sheet, finder, unfound);
    // Field 0 is the frame label, as on a timing file's line.
    QStringList fields(static_cast<qsizetype>(columns.size()) + 1);
    std::vector<std::size_t> next(columns.size(), 0);
    Result result = kOk;
    for (int frame = 0; frame < frameCount; ++frame) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::vector<TimingRun>& runs = columns[c].runs;
            while (next[c] < runs.size() && runs[next[c]].frame <= frame) {
                fields[static_cast<qsizetype>(c) + 1] = runs[next[c]].text;
                ++next[c];
            }
        }
        if (!rows.Add(fields)) {
            result = EFBIG;
            break;
        }
    }
    sheet.Normalise();
    return result;
}

QByteArray FormatKeyframes(const CNode& column, int frameStart, int frameRate) {
    frameRate = std::max(frameRate, 1);
    const QSize size = SourceSize(column);
    QByteArray text;
    text += "Adobe After Effects 4.0 Keyframe Data\r\n\r\n";
    text += "\tUnits Per Second\t" + QByteArray::number(frameRate) + kLineEnd;
    text += "\tSource Width\t" + QByteArray::number(size.width()) + kLineEnd;
    text += "\tSource Height\t" + QByteArray::number(size.height()) + kLineEnd;
    text += "\tSource Pixel Aspect Ratio\t1\r\n";
    text += "\tComp Pixel Aspect Ratio\t1\r\n\r\n";
    text += "Time Remap\r\n\tFrame\tseconds\r\n";
    int frame = frameStart - 1;
    for (const CNode* cell : *column.children) {
        if (cell->item != nullptr) {
            text += '\t' + QByteArray::number(frame) + '\t' +
                    FormatG(KeyframeSeconds(*cell, frameRate)) + kLineEnd;
        }
        ++frame;
    }
    text += "\r\n\r\nEnd of Keyframe Data\r\n";
    return text;
}

QString KeyframeFilePath(const QString& folder, const QString& columnName) {
    QString name = columnName;
    name.replace(u'/', u'_');  // a name from a timing file must not leave the folder
    return WithoutTrailingSlashes(folder) + u'/' + name + QStringLiteral(" timing.txt");
}

Result WriteKeyframes(const CXshtList& sheet, const QString& folder) {
    const int frameStart = sheet.Settings().Get(FrameStart);
    const int frameRate = sheet.Settings().Get(FrameRate);
    for (const CNode* column : sheet.Levels()) {
        if (column->name.isEmpty() || column->type == kTypeBlankColumn) continue;
        const Result result = WriteFileSafely(KeyframeFilePath(folder, column->name),
                                              FormatKeyframes(*column, frameStart, frameRate));
        if (result != kOk) return result;
    }
    return kOk;
}

}  // namespace kolvane
