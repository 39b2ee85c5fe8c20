#include "file_ops.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "platform.h"
#include "renaming.h"

namespace vesko::lite {

namespace {

constexpr qint64 kBlockSize = 1 << 20;
constexpr int kBlocksBetweenPumps = 8;

QString sameFileText() { return QStringLiteral("コピー元とコピー先が同じファイルです"); }
QString notAFileText() { return QStringLiteral("ファイルではありません"); }
QString folderInTheWayText() { return QStringLiteral("同じ名前のフォルダがあります"); }
QString noFolderText() { return QStringLiteral("フォルダが見つかりません"); }

bool existsOrDangles(const QFileInfo& info) { return info.exists() || info.isSymLink(); }

bool isSameFile(const QFileInfo& a, const QFileInfo& b) {
    if (!a.exists() || !b.exists()) return false;
    const QString x = a.canonicalFilePath();
    return !x.isEmpty() && x == b.canonicalFilePath();
}

FileOpItem failed(FileOpItem item, const QString& error) {
    item.status = FileOpStatus::Failed;
    item.error = error;
    return item;
}

QString renameError(const platform::RenameResult& r) {
    switch (r.status) {
    case platform::RenameStatus::TargetExists: return targetExistsText();
    case platform::RenameStatus::SourceMissing: return sourceMissingText();
    case platform::RenameStatus::CrossDevice: return QStringLiteral("別のドライブには移動できません");
    default: return r.error;
    }
}

enum class CopyOutcome { Copied, Failed, Stopped };

// Copies the file's bytes, permissions and modification time to `target`
// through a temporary file in the target's folder.
CopyOutcome copyContents(const QString& source, const QString& target, bool replace,
                         const std::function<bool()>& keepGoing, QString& error) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        error = in.errorString();
        return CopyOutcome::Failed;
    }
    QTemporaryFile out(QDir(folderPart(target)).filePath(QStringLiteral(".veskolite-XXXXXX.part")));
    if (!out.open()) {
        error = out.errorString();
        return CopyOutcome::Failed;
    }
    QByteArray block;
    for (int blocks = 1;; ++blocks) {
        block = in.read(kBlockSize);
        if (block.isEmpty()) {
            if (in.error() != QFileDevice::NoError) {
                error = in.errorString();
                return CopyOutcome::Failed;
            }
            break;
        }
        if (out.write(block) != block.size()) {
            error = out.errorString();
            return CopyOutcome::Failed;
        }
        if (blocks % kBlocksBetweenPumps == 0 && keepGoing && !keepGoing()) return CopyOutcome::Stopped;
    }
    if (!out.flush()) {
        error = out.errorString();
        return CopyOutcome::Failed;
    }
    out.setPermissions(in.permissions());
    out.setFileTime(QFileInfo(source).lastModified(), QFileDevice::FileModificationTime);
    out.close();
    const platform::RenameResult placed = replace ? platform::renameReplacing(out.fileName(), target)
                                                  : platform::renameNoReplace(out.fileName(), target);
    if (placed.status != platform::RenameStatus::Renamed) {
        error = renameError(placed);
        return CopyOutcome::Failed;
    }
    out.setAutoRemove(false);
    return CopyOutcome::Copied;
}

FileOpItem copyOne(FileOpItem item, bool replace, const std::function<bool()>& keepGoing) {
    if (!QFileInfo(item.source).isFile()) return failed(item, notAFileText());
    QString error;
    switch (copyContents(item.source, item.target, replace, keepGoing, error)) {
    case CopyOutcome::Copied: item.status = FileOpStatus::Done; return item;
    case CopyOutcome::Stopped: item.status = FileOpStatus::NotAttempted; return item;
    case CopyOutcome::Failed: break;
    }
    return failed(item, error);
}

FileOpItem moveOne(FileOpItem item, bool replace, const std::function<bool()>& keepGoing) {
    const platform::RenameResult moved = replace ? platform::renameReplacing(item.source, item.target)
                                                 : platform::renameNoReplace(item.source, item.target);
    if (moved.status == platform::RenameStatus::Renamed) {
        item.status = FileOpStatus::Done;
        return item;
    }
    if (moved.status != platform::RenameStatus::CrossDevice) return failed(item, renameError(moved));

    // Another file system: copy, then remove the source.
    if (!QFileInfo(item.source).isFile()) return failed(item, notAFileText());
    QString error;
    switch (copyContents(item.source, item.target, replace, keepGoing, error)) {
    case CopyOutcome::Copied: break;
    case CopyOutcome::Stopped: item.status = FileOpStatus::NotAttempted; return item;
    case CopyOutcome::Failed: return failed(item, error);
    }
    QFile source(item.source);
    if (source.remove()) {
        item.status = FileOpStatus::Done;
        return item;
    }
    const QString why = source.errorString();
    // Without a replaced file the copy is taken back: all is as before.
    if (!replace && QFile::remove(item.target))
        return failed(item, QStringLiteral("移動元のファイルを削除できません: ") + why);
    return failed(item, QStringLiteral("移動先にコピーしましたが、移動元のファイルを削除できません: ") + why);
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// The freedesktop.org trash. Qt establishes the home trash in
// $XDG_DATA_HOME/Trash but does not create $XDG_DATA_HOME itself; when the
// trash cannot be established it carries on with an empty trash folder and
// "trashes" into the current folder (./files, ./info). The data folder is
// made first, and a file that did not land in a trash's "files" folder with
// its ".trashinfo" beside it is put back.
void prepareTrash() { QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)); }

bool isInTrash(const QString& trashed) {
    const QFileInfo info(trashed);
    if (!info.isAbsolute()) return false;
    QDir root = info.dir();
    if (root.dirName() != u"files" || !root.cdUp()) return false;
    const QString name = root.dirName();
    QDir above = root;
    const bool adminTrash = above.cdUp() && above.dirName() == u".Trash";  // $topdir/.Trash/$uid
    if (name != u"Trash" && !name.startsWith(QStringLiteral(".Trash-")) && !adminTrash) return false;
    return QFileInfo(root.filePath(QStringLiteral("info/") + info.fileName() + QStringLiteral(".trashinfo"))).isFile();
}

// Undoes a move that did not reach a trash; false when the file could not be
// put back (it is then where `trashed` says).
bool putBack(const QString& trashed, const QString& original) {
    const QFileInfo info(trashed);
    const QString from = info.absoluteFilePath();
    if (platform::renameNoReplace(from, original).status != platform::RenameStatus::Renamed) return false;
    QDir root(QFileInfo(info.absolutePath()).absolutePath());  // the folder above "files"
    QFile::remove(root.filePath(QStringLiteral("info/") + info.fileName() + QStringLiteral(".trashinfo")));
    root.rmdir(QStringLiteral("files"));  // only when empty
    root.rmdir(QStringLiteral("info"));
    return true;
}
#else
void prepareTrash() {}
bool isInTrash(const QString&) { return true; }
bool putBack(const QString&, const QString&) { return true; }
#endif

}  // namespace

QString targetExistsText() { return QStringLiteral("同じ名前のファイルが既にあります"); }
QString sourceMissingText() { return QStringLiteral("ファイルが見つかりません"); }

QString pathInFolder(const QString& folder, const QString& name) {
    if (folder.endsWith(u'/') || folder.endsWith(QDir::separator())) return folder + name;
    return folder + QDir::separator() + name;
}

QList<FileOpItem> transferFiles(TransferKind kind, const QString& folder, const QStringList& paths,
                                const TransferHooks& hooks) {
    QList<FileOpItem> items;
    QSet<QString> seen;
    bool haveChoice = false;
    ConflictChoice choiceForAll = ConflictChoice::Skip;
    bool stopped = false;
    const bool folderExists = QFileInfo(folder).isDir();

    for (const QString& path : paths) {
        if (seen.contains(path)) continue;
        seen.insert(path);
        FileOpItem item;
        item.source = path;
        item.target = pathInFolder(folder, fileNamePart(path));
        if (stopped) {
            items.append(item);
            continue;
        }

        const QFileInfo source(path);
        const QFileInfo target(item.target);
        bool replace = false;
        if (!existsOrDangles(source)) {
            item = failed(item, sourceMissingText());
        } else if (!folderExists) {
            item = failed(item, noFolderText());
        } else if (isSameFile(source, target)) {
            if (kind == TransferKind::Copy) {
                item = failed(item, sameFileText());
            } else {  // already there
                item.target = item.source;
                item.status = FileOpStatus::Done;
            }
        } else if (existsOrDangles(target)) {
            if (target.isDir() && !target.isSymLink()) {
                item = failed(item, folderInTheWayText());
            } else {
                ConflictChoice choice = ConflictChoice::Skip;
                if (haveChoice) {
                    choice = choiceForAll;
                } else if (hooks.askConflict) {
                    const ConflictAnswer answer = hooks.askConflict(item.source, item.target);
                    choice = answer.choice;
                    if (answer.forAll && choice != ConflictChoice::Cancel) {
                        haveChoice = true;
                        choiceForAll = choice;
                    }
                }
                if (choice == ConflictChoice::Cancel) stopped = true;
                else if (choice == ConflictChoice::Skip) item.status = FileOpStatus::Skipped;
                else replace = true;
            }
        }

        if (!stopped && item.status == FileOpStatus::NotAttempted) {
            item = kind == TransferKind::Copy ? copyOne(item, replace, hooks.keepGoing)
                                              : moveOne(item, replace, hooks.keepGoing);
            if (item.status == FileOpStatus::NotAttempted) stopped = true;
        }
        items.append(item);
        if (!stopped && hooks.keepGoing && !hooks.keepGoing()) stopped = true;
    }
    return items;
}

FileOpItem renameFile(const QString& from, const QString& to) {
    FileOpItem item;
    item.source = from;
    item.target = to;
    const platform::RenameResult r = platform::renameNoReplace(from, to);
    if (r.status == platform::RenameStatus::Renamed) item.status = FileOpStatus::Done;
    else item = failed(item, renameError(r));
    return item;
}

QList<FileOpItem> trashFiles(const QStringList& paths, const std::function<bool()>& keepGoing) {
    QList<FileOpItem> items;
    QSet<QString> seen;
    bool stopped = false;
    if (!paths.isEmpty()) prepareTrash();
    for (const QString& path : paths) {
        if (seen.contains(path)) continue;
        seen.insert(path);
        FileOpItem item;
        item.source = path;
        if (!stopped) {
            QFile file(path);
            if (!existsOrDangles(QFileInfo(path))) {
                item = failed(item, sourceMissingText());
            } else if (!file.moveToTrash()) {
                item = failed(item, QStringLiteral("ごみ箱に移せません"));
            } else if (!isInTrash(file.fileName())) {
                const QString where = QFileInfo(file.fileName()).absoluteFilePath();
                item = failed(item, putBack(file.fileName(), path)
                                        ? QStringLiteral("ごみ箱が見つかりません")
                                        : QStringLiteral("ごみ箱に移せず、ファイルは次の場所にあります: ") + where);
                if (!QFileInfo::exists(path)) item.target = where;
            } else {
                item.status = FileOpStatus::Done;
                item.target = file.fileName();
            }
        }
        items.append(item);
        if (!stopped && keepGoing && !keepGoing()) stopped = true;
    }
    return items;
}

QString describeFailures(const QList<FileOpItem>& items, bool newNames, int limit) {
    QString text;
    int shown = 0, more = 0;
    for (const FileOpItem& item : items) {
        if (item.status != FileOpStatus::Failed) continue;
        if (shown >= limit) {
            ++more;
            continue;
        }
        ++shown;
        text += fileNamePart(item.source);
        if (newNames) text += QStringLiteral(" → ") + fileNamePart(item.target);
        text += QStringLiteral(": ") + item.error + QStringLiteral("\r\n");
    }
    if (more > 0) text += QStringLiteral("ほか%1件\r\n").arg(more);
    return text;
}

}  // namespace vesko::lite
