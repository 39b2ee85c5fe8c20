#include "list_controller.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <functional>

namespace vesko::lite {

namespace {

// The name part of a path (no file-system access).
QString nameOf(const QString& path) {
    qsizetype slash = path.lastIndexOf(u'/');
#if defined(Q_OS_WIN)
    slash = std::max(slash, path.lastIndexOf(u'\\'));
#endif
    return path.mid(slash + 1);
}

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

ListController::Outcome ListController::examineInto(const QString& path) {
    Examination ex = examineFile(*library_, path, ExamineMode::Adding);
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
    LoopScope loop(*this, reexamineProgress(0, total));
    for (qsizetype i = 0; i < total; ++i) {
        if (stopRequested_ || !library_) break;
        setProgress(reexamineProgress(i, total));
        if (!reexamineRow(rows[i])) break;
        pump();
    }
}

bool ListController::reexamineRow(const QPersistentModelIndex& index) {
    if (!index.isValid()) return true;  // removed in the meantime
    FileEntry entry = model_.entry(index.row());
    Examination ex = examineFile(*library_, entry.fullPath, ExamineMode::Reexamining);
    if (ex.failed) {
        prompter_.error(nameOf(entry.fullPath), ex.failure);
        return false;
    }
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

}  // namespace vesko::lite
