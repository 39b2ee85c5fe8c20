// The seven list formats: the program's own list (".zvmtl"), which keeps
// details and sizes, and six play lists that keep only paths.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "file_list_model.h"

namespace vesko::lite {

// Numbered like the save dialog's filters (1 to 7) and like the format
// codes 301 to 307 less 300.
enum class ListFormat { Own = 1, Pls = 2, Lst = 3, Zpl = 4, Bsl = 5, M3u = 6, M3u8 = 7 };

ListFormat listFormatForCode(int formatCode);  // 301..307
QString listExtension(ListFormat format);      // "zvmtl", "pls", ...
QString listFilterText(ListFormat format);     // "Veskolab (*.zvmtl)", ...
QString listWriteErrorCaption(ListFormat format);  // "*.zvmtlの書込時エラー", ...
bool usesEightBitEncoding(ListFormat format);  // ".lst", ".bsl", ".m3u"

// Encodes one text in the 8-bit encoding of ".lst", ".bsl" and ".m3u";
// false when a character cannot be represented.
using EightBitEncoder = std::function<bool(const QString& text, QByteArray& out)>;
EightBitEncoder systemEightBitEncoder();

struct ListWriteResult {
    enum Status { Written, NothingToWrite, Unwritable, Failed };
    Status status = Failed;
    QStringList unwritable;  // full paths that the format cannot carry
    QString error;           // Failed: the system's message
};

// Writes the entries in order, replacing the file atomically: a failed
// write leaves the old file. An empty entry list writes nothing. When an
// entry cannot be written (a character outside the 8-bit encoding, a line
// break in a path) nothing is written and the entries are named.
ListWriteResult writeListFile(const QString& path, ListFormat format, const QList<FileEntry>& entries,
                              const EightBitEncoder& encoder = systemEightBitEncoder());

struct ListReadResult {
    bool ok = false;
    QString error;
    QList<FileEntry> entries;  // own list: the stored rows
    QStringList paths;         // play lists: absolute paths to examine
};

// Relative entries are taken against the list file's folder; the process's
// current folder is neither used nor changed.
ListReadResult readListFile(const QString& path, ListFormat format);

// Text of a list file: byte-order mark first; without one, UTF-16LE for the
// formats stored that way (unless the bytes hold no NUL at all), else UTF-8
// when valid, else the 8-bit fallback (code page 932 on Linux).
QString decodeListText(const QByteArray& bytes, ListFormat format);

}  // namespace vesko::lite
