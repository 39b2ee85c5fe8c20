// The operations on the file list: adding files (with folders, list files
// and the no-duplicates option), re-examining, stopping, sorting, removing,
// and saving and loading list files.
//
// Long loops run in the caller's thread and pump the event queue after each
// file, so the window stays responsive and other commands can run in the
// middle of a loop. New rows are handed to the model in groups (at most
// every commitInterval ms): a view then lays itself out a few dozen times a
// second instead of once per file. Every operation, and the window before
// it reads the selection, commits the rows examined so far first. Loops nest: a play list inside a batch, a drop or a
// hand-over during a batch run to completion inside the outer loop, which
// then goes on. Stopping (ESC) ends every running loop.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPersistentModelIndex>
#include <QSet>
#include <QStringList>
#include <functional>
#include <optional>

#include "examine.h"
#include "file_list_model.h"
#include "file_ops.h"
#include "list_files.h"
#include "prompter.h"

namespace vesko::lite {

struct ListOptions {
    bool noSameFile = false;    // S_NoSameFile
    bool dirRecursive = false;  // S_DirRecursive
    bool checkExt = false;      // S_CheckExt: extensions follow the identified format
};

class ListController : public QObject {
    Q_OBJECT
public:
    ListController(FileListModel& model, Prompter& prompter, QObject* parent = nullptr);

    void setLibrary(LibraryApi* library) { library_ = library; }
    LibraryApi* library() const { return library_; }
    ListOptions& options() { return options_; }
    // Called after each file of a loop; by default processes the pending
    // events of the thread's event loop.
    void setPump(std::function<void()> pump) { pump_ = std::move(pump); }
    void setEightBitEncoder(EightBitEncoder encoder) { encoder_ = std::move(encoder); }
    // 0: every row goes to the model at once.
    void setCommitInterval(int milliseconds) { commitIntervalMs_ = milliseconds; }
    // Hands the rows examined but not yet shown to the model.
    void commitRows();
    // Whether a path is listed, among the model's rows and those not yet shown.
    bool isListed(const QString& path) const;
    const EightBitEncoder& eightBitEncoder() const { return encoder_; }

    FileListModel& model() { return model_; }

    // Examines absolute paths in order; each listed file becomes the top row.
    void analyzeFiles(const QStringList& paths);
    // The same after replacing folders by their files.
    void addPaths(const QStringList& paths);
    // A folder's files (name order; hidden ones too), then, when recursive,
    // those of its subfolders; a folder reached twice (symbolic links) is
    // read once.
    static QStringList enumerateFolder(const QString& folder, bool recursive);

    // Re-examines the rows (selected ones, or all), pumping after each.
    void reexamine(const QList<int>& rows);
    void reexamineAll();

    // File operations on the files of rows (list order). Every entry of a
    // file that moved or was renamed takes the new path; entries of files
    // that did not are left as they were, and the failures are reported
    // once at the end. A file at a destination is replaced only when the
    // user answers Replace. One file operation runs at a time.
    QList<FileOpItem> copyFiles(const QList<int>& rows, const QString& folder);
    QList<FileOpItem> moveFiles(const QList<int>& rows, const QString& folder);
    // Asks first; the files go to the trash, and the entries of the files
    // that went there leave the list.
    QList<FileOpItem> deleteFiles(const QList<int>& rows);
    // "リネーム": asks for the new name of the row's file.
    void renameEntry(int row);
    // "詳細付リネーム": " [details]" before each file's extension.
    void renameWithDetails(const QList<int>& rows);
    // "詳細のコピー": the full reports of the rows and the footer naming
    // `title` and the library; nothing when the list is empty.
    std::optional<QString> copyDetails(const QList<int>& rows, const QString& title);
    bool isFileOperationRunning() const { return fileOpRunning_; }

    // ESC: the running loops stop before their next file.
    void requestStop();
    // A loop is running and has not been asked to stop.
    bool isAnalysisRunning() const { return depth_ > 0 && !stopRequested_ && !fileOpRunning_; }
    // A loop is on the stack (running or stopping).
    bool isBusy() const { return depth_ > 0; }
    QString progressText() const { return progress_; }

    void removeRows(const QList<int>& rows);

    // A click on a column heading: ascending first, then alternating;
    // another column starts ascending again.
    void sortByColumn(int column);
    bool isSortedAscending(int column) const { return sortAscending_[column]; }

    // List files.
    ListWriteResult saveList(const QString& path, ListFormat format, const QList<int>& rows);
    bool loadOwnList(const QString& path);
    // The automatic list on closing: an empty list removes the file, so
    // that a cleared list stays cleared.
    bool saveOwnListOnClose(const QString& path);

signals:
    void progressChanged(const QString& text);
    // true when the first loop starts, false when the last one has ended.
    void busyChanged(bool busy);

private:
    class LoopScope;
    friend class LoopScope;

    enum class Outcome { Done, Aborted };
    Outcome examineInto(const QString& path);
    bool loadListFile(const QString& path, ListFormat format);
    bool reexamineRow(const QPersistentModelIndex& row);
    void reexamineIndexes(const QList<QPersistentModelIndex>& rows);
    void setProgress(const QString& text);
    void pump();
    // Every entry of `from` takes the path `to` and its name.
    void repath(const QString& from, const QString& to);
    // An extension correction: followed by the entries, or kept for the
    // report at the end of the outermost operation.
    void noteExtensionRename(const FileOpItem& item);
    void reportExtensionFailures();
    QStringList pathsOf(const QList<int>& rows);
    QList<FileOpItem> transfer(TransferKind kind, const QList<int>& rows, const QString& folder);

    FileListModel& model_;
    Prompter& prompter_;
    LibraryApi* library_ = nullptr;
    ListOptions options_;
    std::function<void()> pump_;
    EightBitEncoder encoder_ = systemEightBitEncoder();
    int depth_ = 0;
    bool stopRequested_ = false;
    QString progress_;
    QSet<QString> openLists_;
    QList<FileOpItem> extensionFailures_;
    bool fileOpRunning_ = false;
    QList<FileEntry> staged_;      // examined, not yet in the model (oldest first)
    QSet<QString> stagedPaths_;
    QElapsedTimer sinceCommit_;
    int commitIntervalMs_ = 40;  // list files being read, against self-inclusion
    bool sortAscending_[ColumnCount] = {false, false, false, false};
};

}  // namespace vesko::lite
