#include "examine.h"

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "library_text.h"
#include "renaming.h"

namespace vesko::lite {

namespace {

constexpr qsizetype kMaxPathUnits = VESKO_PATH_UNITS - 1;
// A one-line summary is a few hundred bytes; a length past this is a broken
// library, not a summary.
constexpr int32_t kMaxSummaryBytes = 1 << 20;

QString exceptionText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

// A full report is longer than a summary, but not this long.
constexpr int32_t kMaxReportBytes = 16 << 20;

bool fitsRecord(const QString& path) { return path.size() <= kMaxPathUnits && !path.contains(QChar(u'\0')); }

void setRecordPath(AnalysisRecord& record, const QString& path) {
    std::memset(record.fileName, 0, sizeof record.fileName);
    std::memcpy(record.fileName, path.utf16(), static_cast<size_t>(path.size()) * sizeof(char16_t));
}

// The extension correction between identification and analysis: on success
// the record names the new path.
FileOpItem correctExtension(AnalysisRecord& record, const QString& path) {
    FileOpItem item;
    const QString corrected = extensionCorrectedPath(path, record.formatCode);
    if (corrected.isEmpty()) return item;
    item.source = path;
    item.target = corrected;
    if (!fitsRecord(corrected)) {
        item.status = FileOpStatus::Failed;
        item.error = QStringLiteral("パスが長すぎます");
        return item;
    }
    item = renameFile(path, corrected);
    if (item.status == FileOpStatus::Done) setRecordPath(record, corrected);
    return item;
}

}  // namespace

QString openFailedText() { return QStringLiteral("ファイルのオープンに失敗"); }

Examination examineFile(LibraryApi& library, const QString& path, ExamineMode mode, bool checkExt) {
    Examination result;
    result.fileName = path;
    if (!fitsRecord(path)) {
        result.formatCode = VESKO_FMT_OPEN_FAILED;
        result.summary = openFailedText();
        result.sizeText = groupThousands(0);
        return result;
    }

    // One record and one summary buffer per thread, zero-filled for each
    // file: no allocation of 14 KB per file.
    thread_local auto record = std::make_unique<AnalysisRecord>();
    thread_local std::vector<char> summary;
    std::memset(record.get(), 0, sizeof(AnalysisRecord));
    std::memcpy(record->fileName, path.utf16(), static_cast<size_t>(path.size()) * sizeof(char16_t));

    try {
        library.getFileFormat(*record);
    } catch (...) {
        result.failed = true;
        result.failure = QStringLiteral("詳細解析中(ファイル種別判定)の例外:\r\n\r\n") + exceptionText(std::current_exception());
        return result;
    }
    result.formatCode = record->formatCode;
    if (mode == ExamineMode::Adding && isListFileCode(record->formatCode)) {
        result.isListFile = true;
        return result;
    }
    if (checkExt) {
        result.extensionRename = correctExtension(*record, path);
        if (result.extensionRename.status == FileOpStatus::Done) result.fileName = result.extensionRename.target;
    }

    try {
        library.getFileInfo(*record);
        int32_t length = library.convertOneLen(*record);
        if (length < 0) length = 0;
        if (length > kMaxSummaryBytes) length = kMaxSummaryBytes;
        // ConvertOneLen counts the terminator only for some renderings: one
        // byte more is always enough.
        summary.assign(static_cast<size_t>(length) + 1, '\0');
        library.convertOne(*record, summary.data());
    } catch (...) {
        result.failed = true;
        result.failure = QStringLiteral("詳細解析中(解析,詳細組立)の例外:\r\n\r\n") + exceptionText(std::current_exception());
        return result;
    }
    // The name the file has now, whatever the library left in the record.
    const QString current = result.fileName;

    record->fileName[kMaxPathUnits] = 0;
    result.formatCode = record->formatCode;
    // Usually the name is the one given: share it rather than copy it.
    const bool same = std::memcmp(record->fileName, current.utf16(), static_cast<size_t>(current.size() + 1) * 2) == 0;
    result.fileName = same ? current : QString::fromUtf16(record->fileName);
    result.summary = decodeLibraryText(summary.data(), static_cast<qsizetype>(summary.size()));
    result.sizeText = groupThousands(record->fileSize);
    return result;
}

FullReport reportFile(LibraryApi& library, const QString& path, bool checkExt) {
    FullReport result;
    result.fileName = path;
    if (!fitsRecord(path)) {
        result.report = openFailedText();
        return result;
    }
    auto record = std::make_unique<AnalysisRecord>();  // zero-filled
    setRecordPath(*record, path);
    std::vector<char> report;
    try {
        library.getFileFormat(*record);
        if (checkExt) {
            result.extensionRename = correctExtension(*record, path);
            if (result.extensionRename.status == FileOpStatus::Done) result.fileName = result.extensionRename.target;
        }
        library.getFileInfo(*record);
        int32_t length = library.convertFullLen(*record);
        if (length < 0) length = 0;
        if (length > kMaxReportBytes) length = kMaxReportBytes;
        report.assign(static_cast<size_t>(length) + 1, '\0');
        library.convertFull(*record, report.data());
    } catch (...) {
        result.failed = true;
        result.failure = QStringLiteral("詳細解析中の例外:\r\n\r\n") + exceptionText(std::current_exception());
        return result;
    }
    result.report = decodeLibraryText(report.data(), static_cast<qsizetype>(report.size()));
    return result;
}

}  // namespace vesko::lite
