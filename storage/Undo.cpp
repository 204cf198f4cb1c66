#include "storage/Undo.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "model/MdiaList.h"
#include "model/XshtList.h"
#include "platform/BackgroundWork.h"
#include "storage/SafeFile.h"
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
    ownWriter_ = !writer;
    writer_ = writer ? std::move(writer) : Writer(&WriteTiming);
}

QString CUndo::PathOf(int number) const {
    return folder_ + u'/' + QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
}

// Hidden, and not of the "0012.csv" form: no history takes it for a
// snapshot.
QString CUndo::PreparedPathOf(const QString& path) const {
    return folder_ + QStringLiteral("/.") + QFileInfo(path).fileName() +
           QStringLiteral(".prepared");
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

CUndo::PreparedEdit CUndo::PrepareDurableEdit(CXshtList& sheet, const std::function<void()>& edit) {
    PreparedEdit prepared;
    prepared.result = currentSaved_ ? kOk : RecordEdit(sheet);
    prepared.savedBefore = currentSaved_ || prepared.result == kOk;
    currentSaved_ = prepared.savedBefore;
    edit();
    prepared.path = Record();
    prepared.prepared = PreparedPathOf(prepared.path);
    if (!ownWriter_ || folder_.isEmpty() || !QDir().mkpath(folder_)) {
        Settle(prepared, Write(sheet, prepared.prepared));
        return prepared;
    }
    // Its flush to the disk takes as long as the grab's own: both go on
    // at once.
    auto write = [path = prepared.prepared, text = FormatTiming(sheet)] {
        return WriteTimingText(text, path) == kOk ? kOk : msg::kUndoNotSaved;
    };
    prepared.writing = StartBackgroundWork(std::move(write));
    return prepared;
}

void CUndo::Settle(PreparedEdit& edit, Result written) {
    if (written == kOk) return;
    edit.prepared.clear();
    if (edit.result == kOk) edit.result = written;
}

Result CUndo::WaitForPrepared(PreparedEdit& edit) {
    if (edit.writing.valid()) Settle(edit, edit.writing.get());
    return edit.result;
}

Result CUndo::CommitDurableEdit(PreparedEdit& edit) {
    Result result = WaitForPrepared(edit);
    if (edit.path.isEmpty() || undo_.isEmpty() || undo_.first() != edit.path) return kFail;
    // Over whatever stale file has the name, as a snapshot written there
    // directly would be.
    if (!edit.prepared.isEmpty() &&
        std::rename(QFile::encodeName(TimingFilePath(edit.prepared)).constData(),
                    QFile::encodeName(TimingFilePath(edit.path)).constData()) == 0) {
        SyncFolder(folder_);
        currentSaved_ = true;
    } else {
        // The edit stands; only its snapshot is missing.
        if (!edit.prepared.isEmpty()) QFile::remove(TimingFilePath(edit.prepared));
        DropNewest();
        if (result == kOk) result = msg::kUndoNotSaved;
    }
    edit = {};
    return result;
}

void CUndo::AbandonDurableEdit(PreparedEdit& edit) {
    WaitForPrepared(edit);
    if (!edit.path.isEmpty() && !undo_.isEmpty() && undo_.first() == edit.path) {
        if (!edit.prepared.isEmpty()) QFile::remove(TimingFilePath(edit.prepared));
        DropNewest();
        currentSaved_ = edit.savedBefore;
    }
    edit = {};
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
    // What a crash left prepared was never committed: no history holds it.
    const QRegularExpression preparedName(QStringLiteral("^\\.\\d{4,9}\\.prepared\\.csv$"));
    for (const QString& name :
         folder.entryList({QStringLiteral(".*.prepared.csv")}, QDir::Files | QDir::Hidden)) {
        if (preparedName.match(name).hasMatch()) folder.remove(name);
    }
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
