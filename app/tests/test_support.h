// Helpers shared by the VeskoLite tests: a fake library, a prompter that
// records and answers, and the paths of the built program and library.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>

#include "file_list_model.h"
#include "library_api.h"
#include "prompter.h"

namespace vesko::lite::test {

// Paths given by the build.
QString libraryFile();   // the built libvesko.so
QString dataDir();       // data/ (FORMAT.INI, CODECS.INI)
QString fixturesDir();   // tests/fixtures/files

// Code page 932 bytes of a text (as the library writes them).
QByteArray cp932(const QString& text);

// Writes a file (creating folders) and returns its native path.
QString writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

struct PromptRecord {
    QString kind;  // "error", "warning", "confirm", "ask", "conflict"
    QString caption;
    QString text;
};

class RecordingPrompter : public Prompter {
public:
    void error(const QString& caption, const QString& text) override { record("error", caption, text); }
    void warning(const QString& caption, const QString& text) override { record("warning", caption, text); }
    bool confirm(const QString& caption, const QString& text) override {
        record("confirm", caption, text);
        return onConfirm ? onConfirm(caption, text) : answer;
    }
    // Input boxes: the next of `textAnswers` (nothing = cancelled when empty).
    std::optional<QString> askText(const QString& title, const QString& prompt, const QString& initial) override {
        record("ask", title, prompt);
        askedInitial << initial;
        if (textAnswers.isEmpty()) return std::nullopt;
        return textAnswers.takeFirst();
    }
    // Conflicts: the next of `conflictAnswers`, else Cancel.
    ConflictAnswer askConflict(const QString& caption, const QString& text) override {
        record("conflict", caption, text);
        if (conflictAnswers.isEmpty()) return {ConflictChoice::Cancel, false};
        return conflictAnswers.takeFirst();
    }
    QList<PromptRecord> ofKind(const QString& kind) const {
        QList<PromptRecord> out;
        for (const PromptRecord& r : records)
            if (r.kind == kind) out << r;
        return out;
    }

    QList<PromptRecord> records;
    bool answer = true;
    QList<std::optional<QString>> textAnswers;
    QStringList askedInitial;
    QList<ConflictAnswer> conflictAnswers;
    std::function<bool(const QString&, const QString&)> onConfirm;
    std::function<void(const PromptRecord&)> onRecord;

private:
    void record(const char* kind, const QString& caption, const QString& text) {
        records.append({QString::fromLatin1(kind), caption, text});
        if (onRecord) onRecord(records.last());
    }
};

// A library that needs no media files: the format code follows the
// extension (list files 301-307, everything else 101 unless `codes` names
// the file; 2 when the file does not exist), the summary is "詳細 " + the
// file name in code page 932, the full report "レポート " + the file name,
// the size is the file's. ConvertOneLen counts no terminator, as the real
// library does for error texts.
class FakeLibrary : public LibraryApi {
public:
    int32_t dllVersion() const override { return 130324; }
    bool isUnicode() const override { return true; }
    void getFileFormat(AnalysisRecord& record) override;
    void getFileInfo(AnalysisRecord& record) override;
    int32_t convertOneLen(const AnalysisRecord& record) override;
    void convertOne(const AnalysisRecord& record, char* out) override;
    int32_t convertFullLen(const AnalysisRecord& record) override;
    void convertFull(const AnalysisRecord& record, char* out) override;

    QStringList formatCalls;         // paths seen by GetFileFormat
    QSet<QString> throwOnFormat;     // file names whose identification throws
    QSet<QString> throwOnInfo;       // file names whose analysis throws
    QString summaryOverride;         // used instead of the default summary
    QHash<QString, int32_t> codes;   // format code by file name (else 101)
    std::function<void(const QString&)> onFormat;

private:
    QByteArray summaryOf(const AnalysisRecord& record) const;
};

QString recordPath(const AnalysisRecord& record);

// $HOME, $XDG_DATA_HOME (so the trash) and the current folder inside
// `folder` while it lives: files trashed by a test stay in its folder.
class ScopedHome {
public:
    explicit ScopedHome(const QString& folder);
    ~ScopedHome();
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;
    QString trash() const { return folder_ + QStringLiteral("/home/data/Trash"); }
    QString currentFolder() const { return folder_ + QStringLiteral("/cwd"); }

private:
    QString folder_;
    QByteArray oldHome_, oldData_;
    QString oldCwd_;
};

}  // namespace vesko::lite::test

// Readable values in test failures.
#include <ostream>
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (const QString& s : l) *os << " \"" << s.toStdString() << '"';
    *os << " }";
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"' << QString::fromLatin1(b.toPercentEncoding(" /.,:=!#\"")).toStdString() << '"';
}
QT_END_NAMESPACE
namespace vesko::lite {
inline void PrintTo(const FileEntry& e, std::ostream* os) {
    *os << "{" << e.caption.toStdString() << " | " << e.details.toStdString() << " | " << e.sizeText.toStdString()
        << " | " << e.fullPath.toStdString() << "}";
}
}  // namespace vesko::lite
