// The program's own small layer of file operations: copying and moving
// files into a folder, renaming one file, and moving files to the
// desktop's trash. None of them replaces an existing file unless the user
// chose to; an operation that fails leaves the source and the destination
// as they were and says why.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "prompter.h"

namespace vesko::lite {

enum class FileOpStatus {
    Done,          // copied, moved, renamed or in the trash
    Skipped,       // the user chose to keep the file at the destination
    Failed,        // see `error`
    NotAttempted,  // cancelled or stopped before this file
};

struct FileOpItem {
    QString source;
    QString target;  // the new path (copy, move, rename); the trash's copy
    FileOpStatus status = FileOpStatus::NotAttempted;
    QString error;   // Failed: the reason, for the user
};

// Where a file named `name` goes in `folder`: the folder, a separator unless
// the folder already ends with one (a root such as "/" or "C:\"), the name.
QString pathInFolder(const QString& folder, const QString& name);

enum class TransferKind { Copy, Move };

struct TransferHooks {
    // A file exists at the destination. Unset: the file is skipped.
    std::function<ConflictAnswer(const QString& source, const QString& target)> askConflict;
    // Called after each file and every few MiB of a copy (the caller's event
    // pump); false stops: an unfinished copy is removed, the files not yet
    // handled stay NotAttempted.
    std::function<bool()> keepGoing;
};

// Each path to pathInFolder(folder, its name). A copy is written under a
// temporary name in the folder and then given its name, so a file at the
// destination is never half-written; a move is a rename, or on another file
// system a copy and then the removal of the source (undone when the source
// cannot be removed). The same path twice is handled once.
QList<FileOpItem> transferFiles(TransferKind kind, const QString& folder, const QStringList& paths,
                                const TransferHooks& hooks);

// One file or folder to a new path, refused when the path exists.
FileOpItem renameFile(const QString& from, const QString& to);

// Each path to the desktop's trash (the freedesktop.org trash on Linux, the
// recycle bin on Windows); a file that cannot go there stays where it is:
// there is no permanent delete.
QList<FileOpItem> trashFiles(const QStringList& paths, const std::function<bool()>& keepGoing = {});

// The failed items as lines for a message: "name: reason", or with
// `newNames` "name → new name: reason"; at most `limit` lines, then
// "ほか%d件". Empty when nothing failed.
QString describeFailures(const QList<FileOpItem>& items, bool newNames = false, int limit = 10);

// The reasons given for the common failures.
QString targetExistsText();   // "同じ名前のファイルが既にあります"
QString sourceMissingText();  // "ファイルが見つかりません"

}  // namespace vesko::lite
