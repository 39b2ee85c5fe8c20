// examineFile: the fixed per-file sequence of library calls.
#pragma once

#include <QString>
#include <cstdint>

#include "file_ops.h"
#include "library_api.h"

namespace vesko::lite {

// Format codes 301 to 307: the list files.
constexpr bool isListFileCode(int32_t code) { return code >= VESKO_FMT_LIST_ZVMTL && code <= VESKO_FMT_LIST_M3U8; }
// Codes that become rows when a file is added.
constexpr bool isListedCode(int32_t code) { return code >= 0 && code <= 202; }

struct Examination {
    int32_t formatCode = 0;
    QString fileName;  // the record's fileName after the calls
    QString summary;   // ConvertOne, decoded
    QString sizeText;  // fileSize with digit grouping
    // Adding only: the file is a list file; identification stopped there.
    bool isListFile = false;
    // A fault inside the sequence; `failure` is the text to show.
    bool failed = false;
    QString failure;
    // With the extension correction: the rename tried (Done: `fileName` is
    // the new path; Failed: the file kept its name). NotAttempted when the
    // name was right or the option is off.
    FileOpItem extensionRename;
};

enum class ExamineMode {
    Adding,       // list files stop after identification
    Reexamining,  // every file is analysed
};

// Paths longer than the record holds (255 UTF-16 units) are never handed to
// the library: they come back as files that could not be opened. With
// `checkExt` ("拡張子自動リネーム") a file whose extension does not match its
// identified format is renamed between identification and analysis; an
// existing file of the new name is never replaced.
Examination examineFile(LibraryApi& library, const QString& path, ExamineMode mode, bool checkExt = false);

// "詳細のコピー": the full report of one file (identification, the same
// extension correction, analysis, ConvertFull).
struct FullReport {
    QString fileName;  // the record's fileName after the calls
    QString report;    // ConvertFull, decoded
    bool failed = false;
    QString failure;   // "詳細解析中の例外:" and the exception's message
    FileOpItem extensionRename;
};
FullReport reportFile(LibraryApi& library, const QString& path, bool checkExt);

// The text the library gives a file it cannot open.
QString openFailedText();

}  // namespace vesko::lite
