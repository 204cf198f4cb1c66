#include "storage/Undo.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "storage/TimingFile.h"
#include "storage/WorkingFolders.h"

namespace kolvane {

CUndo::CUndo(const QString& folder) : folder_(WithoutTrailingSlashes(folder)) {
    SetWriter({});
}

void CUndo::SetFolder(const QString& folder) {
    folder_ = WithoutTrailingSlashes(folder);
}

void CUndo::SetWriter(Writer writer) {
    writer_ = writer ? std::move(writer) : Writer(&WriteTiming);
}

QString CUndo::PathOf(int number) const {
    return folder_ + u'/' + QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
}

QString CUndo::Counter() const {
    return QStringLiteral("%1").arg(counter_, 4, 10, QLatin1Char('0'));
}

// ---- steps

QString CUndo::Record() {
    ++counter_;
    const QString path = PathOf(counter_);
    undo_.prepend(path);
    currentSaved_ = false;
    return path;
}

QString CUndo::PrepareUndo() {
    if (currentSaved_) return {};
    const QString path = Record();
    currentSaved_ = true;
    return path;
}

QString CUndo::Undo() {
    if (undo_.isEmpty()) return {};
    redo_.prepend(undo_.takeFirst());
    return undo_.isEmpty() ? QString() : undo_.first();
}

QString CUndo::Redo() {
    if (!redo_.isEmpty()) undo_.prepend(redo_.takeFirst());
    return undo_.isEmpty() ? QString() : undo_.first();
}

bool CUndo::CanUndo() const {
    return undo_.size() >= (currentSaved_ ? 2 : 1);
}

void CUndo::DropNewest() {
    if (undo_.isEmpty()) return;
    undo_.removeFirst();
    counter_ = std::max(0, counter_ - 1);
}

// ---- sheet-level operations

Result CUndo::Write(const CXshtList& sheet, const QString& path) {
    if (folder_.isEmpty() || !QDir().mkpath(folder_)) return msg::kUndoNotSaved;
    return writer_(sheet, path) == kOk ? kOk : msg::kUndoNotSaved;
}

Result CUndo::RecordEdit(const CXshtList& sheet) {
    const Result result = Write(sheet, Record());
    // A path in the list always has its file behind it. The edit goes on, so
    // the state shown is no snapshot's either way (current saved stays 0).
    if (result != kOk) DropNewest();
    return result;
}

Result CUndo::RecordDurableEdit(CXshtList& sheet, const std::function<void()>& edit) {
    const Result before = currentSaved_ ? kOk : RecordEdit(sheet);
    edit();
    const Result after = Write(sheet, Record());
    if (after != kOk) {
        DropNewest();
        return before != kOk ? before : after;
    }
    currentSaved_ = true;
    return before;
}

// Reads into a sheet of its own and swaps the columns in only when that
// worked, so a snapshot that is gone or broken never empties the sheet.
Result CUndo::Load(CXshtList& sheet, const CMdiaList& media, const QString& path) const {
    const QString file = TimingFilePath(path);
    if (path.isEmpty() || !QFileInfo(file).isFile()) return msg::kUndoNotRead;
    CXshtList loaded(sheet.Settings());
    loaded.SetAudioRingFactory(sheet.AudioRingFactory());
    if (ReadTimingFile(loaded, media, file) != kOk) return msg::kUndoNotRead;

    sheet.Clear();
    CNodeList& columns = sheet.Levels();
    while (!loaded.Levels().empty())
        columns.append(loaded.Levels().take(0));
    sheet.RecomputeSummaries();
    sheet.SetCurrentFrame(std::clamp(sheet.CurrentFrame(), 0, std::max(0, sheet.FrameCount() - 1)));
    return kOk;
}

Result CUndo::UndoSheet(CXshtList& sheet, const CMdiaList& media) {
    if (!CanUndo()) return kOk;
    const QString keep = PrepareUndo();
    if (!keep.isEmpty() && Write(sheet, keep) != kOk) {
        // Undoing now would lose the state shown: stay.
        DropNewest();
        currentSaved_ = false;
        return msg::kUndoNotSaved;
    }
    // A snapshot that cannot be read is stepped over: the sheet stays, and the
    // next undo goes on to the one before.
    return Load(sheet, media, Undo());
}

Result CUndo::RedoSheet(CXshtList& sheet, const CMdiaList& media) {
    if (!CanRedo()) return kOk;
    return Load(sheet, media, Redo());
}

Result CUndo::LoadNewest(CXshtList& sheet, const CMdiaList& media) {
    if (undo_.isEmpty()) return kOk;
    Undo();
    const Result result = Load(sheet, media, Redo());
    currentSaved_ = result == kOk;
    return result;
}

void CUndo::Reset() {
    undo_.clear();
    redo_.clear();
    counter_ = 0;
    currentSaved_ = false;
    if (folder_.isEmpty()) return;
    QDir folder(folder_);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        folder.remove(name);
}

void CUndo::Rebuild() {
    undo_.clear();
    redo_.clear();
    counter_ = 0;
    currentSaved_ = false;
    if (folder_.isEmpty()) return;
    for (;;) {
        const QString path = Record();
        if (!QFileInfo(TimingFilePath(path)).isFile()) {
            DropNewest();
            break;
        }
    }
    DeleteSnapshotsAfter(counter_);
}

void CUndo::DeleteSnapshotsAfter(int number) const {
    const QRegularExpression snapshotName(QStringLiteral("^(\\d{4,9})\\.csv$"));
    QDir folder(folder_);
    for (const QString& name : folder.entryList({QStringLiteral("*.csv")}, QDir::Files)) {
        const QRegularExpressionMatch match = snapshotName.match(name);
        if (!match.hasMatch()) continue;
        const int value = match.captured(1).toInt();
        // Only names this history writes: "0012.csv", never "012.csv".
        if (value > number &&
            QFileInfo(PathOf(value)).fileName() + QStringLiteral(".csv") == name) {
            folder.remove(name);
        }
    }
}

}  // namespace kolvane
