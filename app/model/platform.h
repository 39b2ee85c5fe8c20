// The few services VeskoLite needs from the operating system that Qt does
// not offer in the same shape. One source per system implements them
// (platform_posix.cpp, platform_win.cpp).
#pragma once

#include <QByteArray>
#include <QString>

namespace vesko::lite::platform {

// The logon user's name; empty when it cannot be read.
QString userName();

// Code page 932 text to UTF-16, for a Qt without the ICU converters.
// Invalid sequences become U+FFFD.
QString decodeCp932(const char* bytes, qsizetype size);

// The system's 8-bit encoding for the play lists that have no encoding of
// their own (".lst", ".bsl", ".m3u"): UTF-8 on Linux, the ANSI code page on
// Windows. Returns false, leaving `out` unspecified, when a character of
// `text` has no representation in it.
bool encodeEightBit(const QString& text, QByteArray& out);

// The reverse, used when a list file carries no byte-order mark and is not
// valid UTF-8: code page 932 on Linux, the ANSI code page on Windows.
QString decodeEightBitFallback(const QByteArray& bytes);

// The system's error code for a library file that could not be loaded
// (shown in the binding's failure message).
int libraryLoadErrorCode(const QString& path);

enum class RenameStatus {
    Renamed,
    TargetExists,   // something already has the new name: nothing changed
    SourceMissing,  // the file is gone
    CrossDevice,    // the new name lies on another file system
    Failed,
};

struct RenameResult {
    RenameStatus status = RenameStatus::Failed;
    QString error;  // the system's message when Failed
};

// Renames a file or folder, refusing when the new name exists: Linux
// renameat2(RENAME_NOREPLACE), where the file system lacks it link() and
// unlink(); Windows MoveFileExW without MOVEFILE_REPLACE_EXISTING. A change
// of letter case alone on a file system that ignores case is allowed.
RenameResult renameNoReplace(const QString& from, const QString& to);

// Renames, replacing a file that has the new name (the user chose to
// replace it): rename(2), MoveFileExW with MOVEFILE_REPLACE_EXISTING.
RenameResult renameReplacing(const QString& from, const QString& to);

}  // namespace vesko::lite::platform
