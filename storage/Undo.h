#pragma once

#include <functional>
#include <future>

#include <QString>
#include <QStringList>

#include "model/SheetHistory.h"

namespace kolvane {

class CMdiaList;
class CXshtList;

// The undo history of the exposure sheet: numbered snapshot files 0001.csv,
// 0002.csv, ... in the working Undo folder, each the whole sheet as a scene
// timing file. Two lists of snapshot paths (without ".csv"), newest first,
// say where undo and redo go. The files outlive the process, so the history
// is rebuilt from them at the next start. See README.md for the invariants.
class CUndo : public ISheetHistory {
  public:
    // Writes the sheet to a snapshot path (WriteTiming unless a test puts a
    // faulty writer in). Answers 0 or a failure.
    using Writer = std::function<Result(const CXshtList& sheet, const QString& path)>;

    // A history without a folder keeps nothing until it is given one.
    explicit CUndo(const QString& folder = {});

    // The folder the snapshots go to; the lists stay as they are (Rebuild
    // reads a new folder's history).
    void SetFolder(const QString& folder);
    void SetWriter(Writer writer);

    // ---- the sheet-level operations the program uses

    // Before an edit: a new snapshot of the sheet as it stands. A snapshot
    // that cannot be written is dropped again and reported (kUndoNotSaved).
    Result RecordEdit(const CXshtList& sheet) override;
    // An edit that must outlive a crash at once (a grab), in two steps, for
    // it rests on a file still being written (the grab's picture). Prepare
    // keeps the sheet before the edit as RecordEdit does, unless the newest
    // snapshot already is that sheet; runs `edit`; and writes the sheet after
    // it under a name no history reads. Commit, once the file it rests on is
    // safe, renames it into place as the newest snapshot, which counts as
    // shown: the next start shows it and the first undo writes no copy of
    // it. Commit answers the first failure; the edit stands whatever the
    // disk says. Abandon, after the caller has undone the edit, forgets it:
    // the newest snapshot is then again the sheet shown. A snapshot left
    // prepared by a crash is deleted by the next Rebuild.
    // The text of the sheet after the edit is made by Prepare; another thread
    // writes it (a writer put in by a test runs within Prepare). Commit and
    // Abandon wait for it, and so does WaitForPrepared, which answers what
    // the edit's snapshots met so far.
    struct PreparedEdit {
        QString path;      // the snapshot's place in the history
        QString prepared;  // where it is written, or empty
        Result result = kOk;
        bool savedBefore = false;
        std::future<Result> writing;  // the prepared snapshot's write, while it runs
    };
    PreparedEdit PrepareDurableEdit(CXshtList& sheet, const std::function<void()>& edit);
    Result WaitForPrepared(PreparedEdit& edit);
    Result CommitDurableEdit(PreparedEdit& edit);
    void AbandonDurableEdit(PreparedEdit& edit);
    // Undo (32820): keeps the shown state for redo on the first undo after an
    // edit, then shows the previous snapshot. Redo (32821) goes the other way.
    // The sheet changes only when its snapshot was read; a snapshot missing or
    // unreadable leaves the sheet as it is and answers kUndoNotRead. When the
    // shown state cannot be kept, nothing moves and the answer is
    // kUndoNotSaved.
    Result UndoSheet(CXshtList& sheet, const CMdiaList& media);
    Result RedoSheet(CXshtList& sheet, const CMdiaList& media);
    // At start, after Rebuild: shows the newest snapshot, which is then the
    // state shown (the first undo writes no copy of it).
    Result LoadNewest(CXshtList& sheet, const CMdiaList& media);

    // Empties both lists, deletes every file of the folder, counter "0000".
    void Reset() override;
    // Reads the history back from the folder: snapshots 0001, 0002, ... up to
    // the first missing number, newest first; nothing to redo. Snapshots
    // numbered past that gap are deleted: they belong to no history, and a
    // later snapshot filling the gap would make them look like one.
    void Rebuild();

    // ---- the steps they are made of

    // The next snapshot path, put at the head of the undo list.
    QString Record();
    // The first undo after an edit records the state being left; after that
    // it answers an empty path (nothing to write).
    QString PrepareUndo();
    // Moves the undo head to the redo list; answers the new undo head, empty
    // when none is left.
    QString Undo();
    // Moves the redo head back; answers the undo head.
    QString Redo();
    bool CanUndo() const;
    bool CanRedo() const { return !redo_.isEmpty(); }
    // Forgets the newest snapshot path and its number.
    void DropNewest();

    const QStringList& UndoList() const { return undo_; }
    const QStringList& RedoList() const { return redo_; }
    // The last snapshot number, at least four digits ("0007").
    QString Counter() const;
    bool IsCurrentSaved() const { return currentSaved_; }

  private:
    QString PathOf(int number) const;
    QString PreparedPathOf(const QString& path) const;
    Result Write(const CXshtList& sheet, const QString& path);
    Result Load(CXshtList& sheet, const CMdiaList& media, const QString& path) const;
    void DeleteSnapshotsAfter(int number) const;

    // A prepared snapshot's write answered `written`.
    static void Settle(PreparedEdit& edit, Result written);

    QString folder_;
    Writer writer_;
    bool ownWriter_ = true;  // WriteTiming
    QStringList undo_;
    QStringList redo_;
    int counter_ = 0;
    bool currentSaved_ = false;
};

}  // namespace kolvane
