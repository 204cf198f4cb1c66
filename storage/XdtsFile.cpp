#include "storage/XdtsFile.h"

#include <algorithm>
#include <map>
#include <vector>

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include "model/MediaNames.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "model/XshtList.h"
#include "storage/SafeFile.h"
#include "storage/TimingFile.h"

namespace kolvane {
namespace {

// Limits no real sheet reaches, checked before anything is built: a hostile
// file cannot make the reader hold more than a small multiple of its size.
constexpr qint64 kMaxFileBytes = qint64{16} << 20;
constexpr int kMaxFrames = 1 << 20;
constexpr int kMaxTracks = 1000;
constexpr qint64 kMaxCells = qint64{1} << 22;  // as for timing files

constexpr int kCellField = 0;
constexpr int kDialogueField = 3;
constexpr int kCameraworkField = 5;
constexpr int kVersion = 5;

const QString kNullCell = QStringLiteral("SYMBOL_NULL_CELL");
const QString kHyphen = QStringLiteral("SYMBOL_HYPHEN");
const QString kTick1 = QStringLiteral("SYMBOL_TICK_1");
const QString kTick2 = QStringLiteral("SYMBOL_TICK_2");

QByteArray WithoutByteOrderMark(const QByteArray& bytes) {
    return bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
}

// A whole number within [low, high], or nothing.
bool WholeNumber(const QJsonValue& value, qint64 low, qint64 high, qint64& number) {
    if (!value.isDouble()) return false;
    const double d = value.toDouble();
    if (d < static_cast<double>(low) || d > static_cast<double>(high)) return false;
    number = static_cast<qint64>(d);
    return static_cast<double>(number) == d;
}

// One change of a track: from `frame` on the track shows `value`.
struct Change {
    qint64 frame = 0;
    QString value;
};

struct Track {
    int number = 0;
    std::vector<Change> changes;
};

// The value of a frame entry: the first value of its first data item.
QString EntryValue(const QJsonObject& entry) {
    const QJsonArray data = entry.value(QLatin1String("data")).toArray();
    if (data.isEmpty()) return QString();
    const QJsonArray values = data.first().toObject().value(QLatin1String("values")).toArray();
    return values.isEmpty() ? QString() : values.first().toString().trimmed();
}

bool IsHold(const QString& value) {
    return value == kHyphen || value == kTick1 || value == kTick2;
}

bool AllDigits(const QString& text) {
    return !text.isEmpty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// The cell text a value names: a number is the image of that number in the
// track's level; anything else is taken as an image name of its own.
QString CellText(const QString& trackName, const QString& value) {
    if (AllDigits(value)) return ImageName(trackName, value.toInt());
    return value;
}

class CXdtsParser {
  public:
    explicit CXdtsParser(XdtsReport& report) : report_(report) {}

    // Fills `columns` and `duration` from the document, or says why not.
    bool Parse(const QByteArray& json, std::vector<TimingColumn>& columns, int& duration) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError) {
            return Refuse(QStringLiteral("the sheet is not well-formed JSON (%1 at byte %2)")
                              .arg(error.errorString())
                              .arg(error.offset));
        }
        const QJsonArray tables = document.object().value(QLatin1String("timeTables")).toArray();
        if (tables.isEmpty()) return Refuse(QStringLiteral("the sheet has no time table"));
        if (tables.size() > 1) {
            report_.notRead.append(QStringLiteral("time tables after the first not read"));
        }
        const QJsonObject table = tables.first().toObject();

        qint64 frames = 0;
        if (!WholeNumber(table.value(QLatin1String("duration")), 1, kMaxFrames, frames)) {
            return Refuse(QStringLiteral("the time table's duration is not a number of frames "
                                         "from 1 to %1")
                              .arg(kMaxFrames));
        }
        duration = static_cast<int>(frames);

        const QStringList names = CellTrackNames(table);
        std::vector<Track> tracks;
        if (!ReadFields(table, tracks)) return false;
        if (qint64{duration} * static_cast<qint64>(tracks.size()) > kMaxCells) {
            return Refuse(QStringLiteral("the sheet has more cells than a scene can hold"));
        }
        std::sort(tracks.begin(), tracks.end(),
                  [](const Track& a, const Track& b) { return a.number < b.number; });
        for (Track& track : tracks) {
            const QString name = track.number < names.size() ? names[track.number] : QString();
            columns.push_back(Column(name, track, duration));
        }
        return true;
    }

  private:
    bool Refuse(const QString& reason) {
        report_.refusal = reason;
        return false;
    }

    // The names of the cell field's tracks, by track number.
    static QStringList CellTrackNames(const QJsonObject& table) {
        for (const QJsonValue header : table.value(QLatin1String("timeTableHeaders")).toArray()) {
            const QJsonObject object = header.toObject();
            qint64 id = -1;
            if (!WholeNumber(object.value(QLatin1String("fieldId")), 0, 1000, id) ||
                id != kCellField) {
                continue;
            }
            QStringList names;
            for (const QJsonValue name : object.value(QLatin1String("names")).toArray()) {
                if (names.size() >= kMaxTracks) break;
                names.append(name.toString().trimmed());
            }
            return names;
        }
        return {};
    }

    bool ReadFields(const QJsonObject& table, std::vector<Track>& tracks) {
        std::map<int, bool> seen;
        for (const QJsonValue fieldValue : table.value(QLatin1String("fields")).toArray()) {
            const QJsonObject field = fieldValue.toObject();
            qint64 id = -1;
            if (!WholeNumber(field.value(QLatin1String("fieldId")), 0, 1 << 20, id)) {
                report_.notRead.append(QStringLiteral("a field without a field id not read"));
                continue;
            }
            if (id != kCellField) {
                report_.notRead.append(
                    id == kDialogueField     ? QStringLiteral("dialogue field not read")
                    : id == kCameraworkField ? QStringLiteral("camerawork field not read")
                                             : QStringLiteral("field %1 not read").arg(id));
                continue;
            }
            for (const QJsonValue trackValue : field.value(QLatin1String("tracks")).toArray()) {
                const QJsonObject object = trackValue.toObject();
                qint64 number = -1;
                if (!WholeNumber(object.value(QLatin1String("trackNo")), 0, kMaxTracks - 1,
                                 number)) {
                    return Refuse(QStringLiteral("a track number is not one from 0 to %1")
                                      .arg(kMaxTracks - 1));
                }
                if (seen[static_cast<int>(number)]) {
                    report_.notRead.append(
                        QStringLiteral("a second track %1 not read").arg(number));
                    continue;
                }
                seen[static_cast<int>(number)] = true;
                Track track;
                track.number = static_cast<int>(number);
                for (const QJsonValue entryValue :
                     object.value(QLatin1String("frames")).toArray()) {
                    const QJsonObject entry = entryValue.toObject();
                    qint64 frame = 0;
                    if (!WholeNumber(entry.value(QLatin1String("frame")), -(qint64{1} << 40),
                                     qint64{1} << 40, frame)) {
                        return Refuse(
                            QStringLiteral("a frame of track %1 is not a number").arg(number));
                    }
                    track.changes.push_back({frame, EntryValue(entry)});
                }
                // Entries may come in any order; equal frames keep theirs.
                std::stable_sort(
                    track.changes.begin(), track.changes.end(),
                    [](const Change& a, const Change& b) { return a.frame < b.frame; });
                tracks.push_back(std::move(track));
            }
        }
        return true;
    }

    // A track as runs of cell texts. A frame before 0 (which some programs
    // write) sets the cell the track opens with; changes past the duration are
    // beyond the sheet.
    TimingColumn Column(const QString& name, const Track& track, int duration) {
        TimingColumn column;
        column.name = name;
        const QString label = name.isEmpty() ? QString::number(track.number) : name;
        bool before = false;
        bool after = false;
        for (const Change& change : track.changes) {
            if (change.value.isEmpty()) continue;
            if (change.frame >= duration) {
                after = after || change.value != kNullCell;
                continue;
            }
            if (IsHold(change.value)) continue;  // the cell before holds; a tick is a note
            before = before || change.frame < 0;
            const int frame = static_cast<int>(std::max<qint64>(change.frame, 0));
            QString text = change.value == kNullCell ? QString() : CellText(name, change.value);
            if (!column.runs.empty() && column.runs.back().frame == frame) {
                column.runs.back().text = std::move(text);
            } else {
                column.runs.push_back({frame, std::move(text)});
            }
        }
        if (before) {
            report_.notRead.append(
                QStringLiteral("frames before the first of track \"%1\" taken as its first cell")
                    .arg(label));
        }
        if (after) {
            report_.notRead.append(
                QStringLiteral("cells after the last frame of track \"%1\" not read").arg(label));
        }
        return column;
    }

    XdtsReport& report_;
};

// The value that names a cell's image on its track: its number when the image
// belongs to the track's level, else its whole name.
QString ValueFor(const CNode& item, const QString& trackName) {
    const int number = TrailingNumber(item.name);
    if (item.name == ImageName(trackName, number)) return QString::number(number);
    return item.name;
}

bool IsSoundColumn(const CNode& column) {
    for (const CNode* cell : *column.children) {
        if (cell->item != nullptr) return cell->item->HasAny(kTypeSound);
    }
    return false;
}

bool HasItems(const CNode& column) {
    for (const CNode* cell : *column.children) {
        if (cell->item != nullptr) return true;
    }
    return false;
}

QJsonObject Entry(int frame, const QString& value) {
    return QJsonObject{{QStringLiteral("frame"), frame},
                       {QStringLiteral("data"),
                        QJsonArray{QJsonObject{{QStringLiteral("id"), 0},
                                               {QStringLiteral("values"), QJsonArray{value}}}}}};
}

QJsonObject TrackOf(const CNode& column, int trackNumber, int frameCount) {
    QJsonArray frames;
    QString previous;
    for (int row = 0; row < frameCount; ++row) {
        const CNode* cell = row < column.children->size() ? column.children->at(row) : nullptr;
        const QString value = cell != nullptr && cell->item != nullptr
                                  ? ValueFor(*cell->item, column.name)
                                  : kNullCell;
        if (row == 0 || value != previous) frames.append(Entry(row, value));
        previous = value;
    }
    // The end of the last cell, as the programs that write these files mark it.
    if (previous != kNullCell) frames.append(Entry(frameCount, kNullCell));
    return QJsonObject{{QStringLiteral("trackNo"), trackNumber},
                       {QStringLiteral("frames"), frames}};
}

// Header values are short numbers: the scene name's own number for the cut.
QString CutOf(const QString& sceneName) {
    const int number = TrailingNumber(sceneName);
    return number > 0 && number <= 9999 ? QString::number(number) : QStringLiteral("1");
}

}  // namespace

bool StartsAsXdts(const QByteArray& start) {
    return WithoutByteOrderMark(start).startsWith(kXdtsIdentifier);
}

Result ReadXdtsFrom(CXshtList& sheet, const CMdiaList& media, QIODevice& in, const QString& folder,
                    XdtsReport* report) {
    XdtsReport own;
    XdtsReport& out = report != nullptr ? *report : own;
    const QByteArray bytes = WithoutByteOrderMark(in.read(kMaxFileBytes + 1));
    if (bytes.size() > kMaxFileBytes) {
        out.refusal = QStringLiteral("the sheet is larger than %1 MB").arg(kMaxFileBytes >> 20);
        return msg::kTimingEmpty;
    }
    if (!bytes.startsWith(kXdtsIdentifier)) {
        out.refusal = QStringLiteral("the file is not an XDTS exposure sheet");
        return msg::kTimingEmpty;
    }
    std::vector<TimingColumn> columns;
    int duration = 0;
    CXdtsParser parser(out);
    if (!parser.Parse(bytes.mid(qsizetype(sizeof kXdtsIdentifier) - 1), columns, duration)) {
        return msg::kTimingEmpty;
    }
    QStringList unfound;
    const Result result = ReadTimingColumns(sheet, media, columns, duration, folder, &unfound);
    for (const QString& text : unfound)
        out.notRead.append(QStringLiteral("\"%1\" names no image: not read").arg(text));
    return result;
}

QByteArray FormatXdts(const CXshtList& sheet, const QString& sceneName, QStringList* leftOut) {
    const int frameCount = std::max(sheet.FrameCount(), 1);
    QJsonArray tracks;
    QJsonArray names;
    for (const CNode* column : sheet.Levels()) {
        if (column->type == kTypeBlankColumn || !HasItems(*column)) continue;
        if (IsSoundColumn(*column)) {
            if (leftOut != nullptr) leftOut->append(column->name);
            continue;
        }
        tracks.append(TrackOf(*column, static_cast<int>(names.size()), frameCount));
        names.append(column->name);
    }
    const QJsonObject table{
        {QStringLiteral("name"), sceneName},
        {QStringLiteral("duration"), frameCount},
        {QStringLiteral("timeTableHeaders"),
         QJsonArray{QJsonObject{{QStringLiteral("fieldId"), kCellField},
                                {QStringLiteral("names"), names}}}},
        {QStringLiteral("fields"), QJsonArray{QJsonObject{{QStringLiteral("fieldId"), kCellField},
                                                          {QStringLiteral("tracks"), tracks}}}},
    };
    const QJsonObject root{
        {QStringLiteral("version"), kVersion},
        {QStringLiteral("header"), QJsonObject{{QStringLiteral("cut"), CutOf(sceneName)},
                                               {QStringLiteral("scene"), QStringLiteral("1")}}},
        {QStringLiteral("timeTables"), QJsonArray{table}},
    };
    return QByteArray(kXdtsIdentifier) + '\n' + QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Result WriteXdts(const CXshtList& sheet, const QString& sceneName, const QString& path,
                 QStringList* leftOut) {
    if (path.isEmpty()) return msg::kTimingNotSaved;
    return WriteFileAtomically(path, FormatXdts(sheet, sceneName, leftOut)) == kOk
               ? kOk
               : msg::kTimingNotSaved;
}

}  // namespace kolvane
