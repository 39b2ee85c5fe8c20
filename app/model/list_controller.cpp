#include "list_controller.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <functional>

#include "renaming.h"

namespace vesko::lite {

namespace {

QString nameOf(const QString& path) { return fileNamePart(path); }

const QString kRenameFailed = QStringLiteral("ファイル名の変更に失敗しました");

const QString kAnalysing = QStringLiteral("詳細解析中...(ESCで中止)");

QString reexamineProgress(qsizetype done, qsizetype total) {
    return QStringLiteral("再検査中... %1/%2 (ESCで中止)").arg(done).arg(total);
}

}  // namespace

// One running loop. The first loop clears any old stop request and reports
// busy; a nested loop hands the progress text back to the outer one.
class ListController::LoopScope {
public:
    LoopScope(ListController& owner, const QString& text) : owner_(owner), outerText_(owner.progress_) {
        if (owner_.depth_++ == 0) {
            owner_.stopRequested_ = false;
            emit owner_.busyChanged(true);
        }
        owner_.setProgress(text);
    }
    ~LoopScope() {
        if (--owner_.depth_ == 0) {
            owner_.stopRequested_ = false;
            owner_.setProgress({});
            emit owner_.busyChanged(false);
        } else {
            owner_.setProgress(outerText_);
        }
    }
    LoopScope(const LoopScope&) = delete;
    LoopScope& operator=(const LoopScope&) = delete;

private:
    ListController& owner_;
    QString outerText_;
};

ListController::ListController(FileListModel& model, Prompter& prompter, QObject* parent)
    : QObject(parent), model_(model), prompter_(prompter) {}

void ListController::setProgress(const QString& text) {
    if (text == progress_) return;
    progress_ = text;
    emit progressChanged(text);
}

void ListController::pump() {
    if (pump_) pump_();
    else QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void ListController::commitRows() {
    if (staged_.isEmpty()) return;
    const QList<FileEntry> rows = std::move(staged_);
    staged_.clear();
    stagedPaths_.clear();
    model_.insertAtTop(rows);
    sinceCommit_.restart();
}

bool ListController::isListed(const QString& path) const {
    return stagedPaths_.contains(path) || model_.findByPath(path) >= 0;
}

void ListController::requestStop() {
    if (depth_ > 0) stopRequested_ = true;
}

void ListController::analyzeFiles(const QStringList& paths) {
    commitRows();
    if (!library_ || paths.isEmpty()) return;
    {
        LoopScope loop(*this, kAnalysing);
        sinceCommit_.start();
        for (const QString& path : paths) {
            if (stopRequested_ || !library_) break;
            if (options_.noSameFile && isListed(path)) continue;
            if (examineInto(path) == Outcome::Aborted) break;
            if (sinceCommit_.elapsed() >= commitIntervalMs_) commitRows();
            pump();
        }
        commitRows();
    }
    reportExtensionFailures();
}

ListController::Outcome ListController::examineInto(const QString& path) {
    Examination ex = examineFile(*library_, path, ExamineMode::Adding, options_.checkExt);
    noteExtensionRename(ex.extensionRename);
    if (ex.failed) {
        prompter_.error(nameOf(path), ex.failure);
        return Outcome::Aborted;
    }
    if (ex.isListFile) {
        commitRows();
        loadListFile(ex.fileName, listFormatForCode(ex.formatCode));
        return Outcome::Done;
    }
    if (isListedCode(ex.formatCode)) {
        staged_.append({nameOf(ex.fileName), ex.summary, ex.sizeText, ex.fileName});
        stagedPaths_.insert(ex.fileName);
    }
    return Outcome::Done;
}

void ListController::addPaths(const QStringList& paths) {
    QStringList files;
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir()) files += enumerateFolder(path, options_.dirRecursive);
        else files << path;
    }
    analyzeFiles(files);
}

QStringList ListController::enumerateFolder(const QString& folder, bool recursive) {
    QStringList files;
    QSet<QString> seen;
    std::function<void(const QString&)> walk = [&](const QString& path) {
        const QString key = QFileInfo(path).canonicalFilePath();
        if (key.isEmpty() || seen.contains(key)) return;
        seen.insert(key);
        // Names without a dot are files too; FIFOs and the like are listed
        // and left to the library, which opens regular files only. The
        // directory's own entry types spare a status call per file.
        QStringList here, folders;
        QDirIterator entries(path, QDir::Files | QDir::Hidden | QDir::System | (recursive ? QDir::Dirs : QDir::Filters()) |
                                       QDir::NoDotAndDotDot);
        while (entries.hasNext()) {
            const QString entry = entries.next();
            if (recursive && entries.fileInfo().isDir()) folders << entry;
            else here << QDir::toNativeSeparators(entry);
        }
        here.sort();
        files += here;
        folders.sort();
        for (const QString& folder : folders) walk(folder);
    };
    walk(QDir::fromNativeSeparators(folder));
    return files;
}

bool ListController::loadListFile(const QString& path, ListFormat format) {
    QString key = QFileInfo(path).canonicalFilePath();
    if (key.isEmpty()) key = path;
    // A list that names itself (or a ring of lists) is read once.
    if (openLists_.contains(key)) return false;
    openLists_.insert(key);
    ListReadResult read = readListFile(path, format);
    if (!read.ok) prompter_.error(nameOf(path), read.error);
    else if (format == ListFormat::Own) model_.append(read.entries);
    else analyzeFiles(read.paths);
    openLists_.remove(key);
    return read.ok;
}

bool ListController::loadOwnList(const QString& path) {
    commitRows();
    return loadListFile(path, ListFormat::Own);
}

void ListController::reexamine(const QList<int>& rows) {
    // The rows name model rows as they are now: nothing is committed here.
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QList<QPersistentModelIndex> indexes;
    for (int row : sorted)
        if (row >= 0 && row < model_.count()) indexes << QPersistentModelIndex(model_.index(row, 0));
    reexamineIndexes(indexes);
}

void ListController::reexamineAll() {
    commitRows();
    QList<QPersistentModelIndex> indexes;
    indexes.reserve(model_.count());
    for (int row = 0; row < model_.count(); ++row) indexes << QPersistentModelIndex(model_.index(row, 0));
    reexamineIndexes(indexes);
}

// Rows are held as persistent indexes: rows added, removed or sorted while
// the loop pumps do not make it skip or repeat an entry.
void ListController::reexamineIndexes(const QList<QPersistentModelIndex>& rows) {
    if (!library_ || rows.isEmpty()) return;
    const qsizetype total = rows.size();
    {
        LoopScope loop(*this, reexamineProgress(0, total));
        for (qsizetype i = 0; i < total; ++i) {
            if (stopRequested_ || !library_) break;
            setProgress(reexamineProgress(i, total));
            if (!reexamineRow(rows[i])) break;
            pump();
        }
    }
    reportExtensionFailures();
}

bool ListController::reexamineRow(const QPersistentModelIndex& index) {
    if (!index.isValid()) return true;  // removed in the meantime
    FileEntry entry = model_.entry(index.row());
    Examination ex = examineFile(*library_, entry.fullPath, ExamineMode::Reexamining, options_.checkExt);
    noteExtensionRename(ex.extensionRename);  // the entry follows a new name
    if (ex.failed) {
        prompter_.error(nameOf(entry.fullPath), ex.failure);
        return false;
    }
    if (!index.isValid()) return true;
    entry = model_.entry(index.row());
    entry.details = ex.summary;
    entry.sizeText = ex.sizeText;
    if (index.isValid()) model_.updateEntry(index.row(), entry);
    return true;
}

void ListController::removeRows(const QList<int>& rows) { model_.removeEntries(rows); }

void ListController::sortByColumn(int column) {
    if (column < 0 || column >= ColumnCount) return;
    commitRows();
    for (int c = 0; c < ColumnCount; ++c)
        if (c != column) sortAscending_[c] = false;
    sortAscending_[column] = !sortAscending_[column];
    model_.sortByColumn(column, sortAscending_[column]);
}

ListWriteResult ListController::saveList(const QString& path, ListFormat format, const QList<int>& rows) {
    return writeListFile(path, format, model_.entriesAt(rows), encoder_);
}

bool ListController::saveOwnListOnClose(const QString& path) {
    commitRows();
    if (model_.count() == 0) return !QFile::exists(path) || QFile::remove(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeListFile(path, ListFormat::Own, model_.entries(), encoder_).status == ListWriteResult::Written;
}

// --- Renames and file operations -------------------------------------------

void ListController::repath(const QString& from, const QString& to) {
    if (from == to) return;
    for (int row = model_.findByPath(from); row >= 0 && row < model_.count(); ++row) {
        if (model_.entry(row).fullPath != from) continue;
        FileEntry entry = model_.entry(row);
        entry.fullPath = to;
        entry.caption = nameOf(to);
        model_.updateEntry(row, entry);
    }
}

void ListController::noteExtensionRename(const FileOpItem& item) {
    if (item.status == FileOpStatus::Done) repath(item.source, item.target);
    else if (item.status == FileOpStatus::Failed) extensionFailures_.append(item);
}

// One message for the outermost operation, not one per file of a batch.
void ListController::reportExtensionFailures() {
    if (depth_ > 0 || extensionFailures_.isEmpty()) return;
    const QList<FileOpItem> failures = std::move(extensionFailures_);
    extensionFailures_.clear();
    prompter_.error(QStringLiteral("エラー"),
                    kRenameFailed + QStringLiteral("\r\n\r\n") + describeFailures(failures, /*newNames=*/true));
}

QStringList ListController::pathsOf(const QList<int>& rows) {
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QStringList paths;
    for (const FileEntry& e : model_.entriesAt(sorted)) paths << e.fullPath;
    return paths;
}

QList<FileOpItem> ListController::transfer(TransferKind kind, const QList<int>& rows, const QString& folder) {
    commitRows();
    if (fileOpRunning_) return {};
    const QStringList paths = pathsOf(rows);
    if (paths.isEmpty()) return {};
    const bool copying = kind == TransferKind::Copy;

    QList<FileOpItem> items;
    {
        fileOpRunning_ = true;
        LoopScope loop(*this, copying ? QStringLiteral("ファイルコピー中...(ESCで中止)")
                                      : QStringLiteral("ファイル移動中...(ESCで中止)"));
        TransferHooks hooks;
        hooks.askConflict = [&](const QString&, const QString& target) {
            return prompter_.askConflict(
                QStringLiteral("確認"),
                (copying ? QStringLiteral("コピー先に同じ名前のファイルがあります。置き換えますか?")
                         : QStringLiteral("移動先に同じ名前のファイルがあります。置き換えますか?")) +
                    QStringLiteral("\r\n\r\n") + target);
        };
        hooks.keepGoing = [this] {
            pump();
            return !stopRequested_;
        };
        items = transferFiles(kind, folder, paths, hooks);
        fileOpRunning_ = false;
    }
    if (!copying)
        for (const FileOpItem& item : items)
            if (item.status == FileOpStatus::Done) repath(item.source, item.target);

    const QString failures = describeFailures(items);
    if (!failures.isEmpty())
        prompter_.error(copying ? QStringLiteral("ファイルコピー中のエラー") : QStringLiteral("ファイル移動中のエラー"),
                        (copying ? QStringLiteral("次のファイルはコピーできませんでした:")
                                 : QStringLiteral("次のファイルは移動できませんでした:")) +
                            QStringLiteral("\r\n\r\n") + failures);
    return items;
}

QList<FileOpItem> ListController::copyFiles(const QList<int>& rows, const QString& folder) {
    return transfer(TransferKind::Copy, rows, folder);
}

QList<FileOpItem> ListController::moveFiles(const QList<int>& rows, const QString& folder) {
    return transfer(TransferKind::Move, rows, folder);
}

QList<FileOpItem> ListController::deleteFiles(const QList<int>& rows) {
    commitRows();
    if (fileOpRunning_) return {};
    if (!prompter_.confirm(QStringLiteral("確認"), QStringLiteral("選択してあるファイルを削除します。宜しいですか?")))
        return {};
    // The rows as they are after the question.
    const QStringList paths = pathsOf(rows);
    if (paths.isEmpty()) return {};
    QList<FileOpItem> items;
    {
        fileOpRunning_ = true;
        LoopScope loop(*this, QStringLiteral("ファイル削除中...(ESCで中止)"));
        items = trashFiles(paths, [this] {
            pump();
            return !stopRequested_;
        });
        fileOpRunning_ = false;
    }
    // Only the entries of files that are in the trash now leave the list.
    commitRows();
    QSet<QString> trashed;
    for (const FileOpItem& item : items) {
        if (item.status == FileOpStatus::Done) trashed.insert(item.source);
        else if (item.status == FileOpStatus::Failed && !item.target.isEmpty()) repath(item.source, item.target);
    }
    QList<int> gone;
    for (int row = 0; row < model_.count(); ++row)
        if (trashed.contains(model_.entry(row).fullPath)) gone << row;
    model_.removeEntries(gone);

    const QString failures = describeFailures(items);
    if (!failures.isEmpty())
        prompter_.error(QStringLiteral("ファイル削除中のエラー"),
                        QStringLiteral("次のファイルはごみ箱に移せなかったので、削除していません:\r\n\r\n") + failures);
    return items;
}

void ListController::renameEntry(int row) {
    commitRows();
    if (row < 0 || row >= model_.count()) return;
    // The rows may change while the question is open (a drop, a hand-over).
    const QPersistentModelIndex index(model_.index(row, 0));
    const FileEntry asked = model_.entry(row);
    const std::optional<QString> answer =
        prompter_.askText(QStringLiteral("ファイル名の変更"), QStringLiteral("ファイル名"), asked.caption);
    if (!answer || *answer == asked.caption || !index.isValid()) return;
    const FileEntry entry = model_.entry(index.row());
    if (!isAcceptableFileName(*answer)) {
        prompter_.error(QStringLiteral("エラー"),
                        kRenameFailed + QStringLiteral("\r\n\r\nファイル名に使えない名前です: ") + *answer);
        return;
    }
    const FileOpItem item = renameFile(entry.fullPath, pathInFolder(folderPart(entry.fullPath), *answer));
    if (item.status != FileOpStatus::Done) {
        prompter_.error(QStringLiteral("エラー"), kRenameFailed + QStringLiteral("\r\n\r\n") + item.error);
        return;
    }
    repath(item.source, item.target);
}

void ListController::renameWithDetails(const QList<int>& rows) {
    commitRows();
    if (fileOpRunning_) return;
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QList<QPersistentModelIndex> indexes;
    for (int row : sorted)
        if (row >= 0 && row < model_.count()) indexes << QPersistentModelIndex(model_.index(row, 0));
    if (indexes.isEmpty()) return;

    QList<FileOpItem> items;
    QSet<QString> renamed;  // new paths: a second entry of a file is not renamed twice
    {
        fileOpRunning_ = true;
        LoopScope loop(*this, QStringLiteral("リネーム中...(ESCで中止)"));
        for (const QPersistentModelIndex& index : indexes) {
            pump();
            if (stopRequested_) break;
            if (!index.isValid()) continue;
            const FileEntry entry = model_.entry(index.row());
            if (renamed.contains(entry.fullPath)) continue;
            const QString target = detailsRenamedPath(entry.fullPath, entry.details);
            if (target.isEmpty()) continue;  // a name without extension
            const FileOpItem item = renameFile(entry.fullPath, target);
            if (item.status == FileOpStatus::Done) {
                renamed.insert(target);
                repath(item.source, item.target);
            }
            items.append(item);
        }
        fileOpRunning_ = false;
    }
    const QString failures = describeFailures(items, /*newNames=*/true);
    if (!failures.isEmpty())
        prompter_.error(QStringLiteral("エラー"), kRenameFailed + QStringLiteral("\r\n\r\n") + failures);
}

std::optional<QString> ListController::copyDetails(const QList<int>& rows, const QString& title) {
    commitRows();
    if (model_.count() == 0 || !library_) return std::nullopt;
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QList<QPersistentModelIndex> indexes;
    for (int row : sorted)
        if (row >= 0 && row < model_.count()) indexes << QPersistentModelIndex(model_.index(row, 0));

    QString text;
    for (const QPersistentModelIndex& index : indexes) {
        if (!index.isValid() || !library_) continue;
        // Read now: an earlier entry of the same file may have renamed it.
        const QString path = model_.entry(index.row()).fullPath;
        const FullReport report = reportFile(*library_, path, options_.checkExt);
        noteExtensionRename(report.extensionRename);
        if (report.failed) {
            prompter_.error(nameOf(report.fileName), report.failure);
            continue;
        }
        text += QStringLiteral("[%1]\r\n").arg(nameOf(report.fileName)) + report.report + QStringLiteral("\r\n\r\n");
    }
    const int32_t version = library_ ? library_->dllVersion() : 0;
    const bool unicode = library_ && library_->isUnicode();
    text += QStringLiteral("%1 / DLL %2 %3\r\n")
                .arg(title)
                .arg(version, 6, 10, QChar(u'0'))
                .arg(unicode ? QStringLiteral("Unicode") : QStringLiteral("ANSI"));
    reportExtensionFailures();
    return text;
}

}  // namespace vesko::lite
