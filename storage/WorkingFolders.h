#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "platform/ResultCodes.h"

namespace kolvane {

// The folders the working scene lives in, each path ending in "/":
//   Grab   grabbed images and "ScenePath.txt" (the scene folder last opened
//          or saved), below the application's local data folder
//   Undo   the undo snapshots, beside Grab
//   Sounds "My Sounds" in the documents folder: sounds every scene offers
// Grab and Undo keep one backup generation each ("Grab~", "Undo~"); "Grab$"
// and "Undo$" exist only while two generations swap places. Grab and Undo
// move together, and a crash halfway is finished at the next start, so the
// images and the snapshots that name them stay one generation. See README.md.
class CWorkingFolders {
  public:
    // `workingRoot` holds Grab and Undo, `documents` holds "My Sounds". A
    // rotation or swap that a crash interrupted is finished, then the folders
    // are created when missing.
    CWorkingFolders(const QString& workingRoot, const QString& documents);

    // The application's local data folder (it survives a reboot, unlike the
    // temporary folder) and the user's documents folder.
    static QString DefaultWorkingRoot();
    static QString DefaultDocuments();

    const QString& Grab() const { return grab_; }
    const QString& Undo() const { return undo_; }
    const QString& Sounds() const { return sounds_; }

    // "<folder without trailing slashes>~/" and "...$/".
    static QString BackupOf(const QString& folder);
    static QString SwapPathOf(const QString& folder);

    // Creates the folder and its missing parents: 0, or 60120.
    static Result CreateFolder(const QString& folder);
    // The same answering the errno of the mkdir that failed; `made` (when
    // given) receives the folders it created, the outermost first, so that a
    // failure can take them away again.
    static Result MakeFolders(const QString& folder, QStringList* made = nullptr);
    // Deletes every file and, depth first, every subfolder below the folder,
    // leaving the folder itself; a link is removed, never followed. Stops at
    // the first entry that cannot be deleted and answers its errno.
    static Result DeleteFolderContents(const QString& folder);
    // Whether the folder has no entries; a missing folder counts as empty.
    static bool IsEmptyFolder(const QString& folder);

    // Moves a non-empty folder into its backup, dropping the old backup, and
    // makes the folder again, empty. An empty folder stays as it is.
    Result RotateFolder(const QString& folder) const;
    // Rotates Grab, then Undo. When Undo's fails, Grab's is taken back.
    Result RotateWorkingFolders() const;
    // Swaps Grab and then Undo with their backups (a missing backup counts as
    // an empty one). Both folders exist afterwards. A failed move is undone,
    // Grab's swap too when Undo's fails.
    Result SwapBackups() const;
    // Whether Grab's backup exists and is not empty (Restore Last Scene).
    bool HasBackup() const;

    // "ScenePath.txt" in the Grab folder: one line, the folder path with its
    // trailing "/", no line end.
    QString ReadScenePath() const;
    Result WriteScenePath(const QString& folder) const;

    // Tests stand in for a crash here: called before every change on disk
    // that rotating and swapping make, it may throw to stop them dead.
    void SetCheckpoint(std::function<void()> checkpoint) { checkpoint_ = std::move(checkpoint); }

  private:
    enum class Move { Rotate, Swap };

    Result SwapWithBackup(const QString& folder) const;
    Result MoveBoth(Move move) const;
    void FinishInterruptedSwap(const QString& folder) const;
    void FinishInterruptedMove() const;
    QString JournalPath() const;
    void Checkpoint() const {
        if (checkpoint_) checkpoint_();
    }

    QString root_;
    QString grab_;
    QString undo_;
    QString sounds_;
    std::function<void()> checkpoint_;
};

// The path with exactly one trailing "/".
QString WithTrailingSlash(const QString& folder);
// `path` without its trailing slashes ("/" stays "/").
QString WithoutTrailingSlashes(QString path);

}  // namespace kolvane
