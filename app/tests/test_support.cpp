#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <cstring>
#include <stdexcept>

namespace vesko::lite::test {

QString libraryFile() { return QStringLiteral(VESKOLITE_TEST_LIBRARY); }
QString dataDir() { return QStringLiteral(VESKOLITE_TEST_DATA_DIR); }
QString fixturesDir() { return QStringLiteral(VESKOLITE_TEST_FIXTURES); }

QByteArray cp932(const QString& text) {
    QStringEncoder encoder("windows-31j");
    return encoder.encode(text);
}

QString writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) throw std::runtime_error("cannot write");
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QString recordPath(const AnalysisRecord& record) {
    size_t n = 0;
    while (n < VESKO_PATH_UNITS && record.fileName[n]) ++n;
    return QString::fromUtf16(record.fileName, static_cast<qsizetype>(n));
}

void FakeLibrary::getFileFormat(AnalysisRecord& record) {
    const QString path = recordPath(record);
    formatCalls << path;
    if (onFormat) onFormat(path);
    const QFileInfo info(path);
    if (throwOnFormat.contains(info.fileName())) throw std::runtime_error("identification fault");
    static const QStringList lists{"zvmtl", "pls", "lst", "zpl", "bsl", "m3u", "m3u8"};
    const auto list = lists.indexOf(info.suffix().toLower());
    if (list >= 0) record.formatCode = VESKO_FMT_LIST_ZVMTL + static_cast<int32_t>(list);
    else if (!info.isFile()) record.formatCode = VESKO_FMT_OPEN_FAILED;
    else record.formatCode = codes.value(info.fileName(), VESKO_FMT_WAVE);
}

void FakeLibrary::getFileInfo(AnalysisRecord& record) {
    const QFileInfo info(recordPath(record));
    if (throwOnInfo.contains(info.fileName())) throw std::runtime_error("analysis fault");
    record.fileSize = info.isFile() ? info.size() : 0;
}

QByteArray FakeLibrary::summaryOf(const AnalysisRecord& record) const {
    if (record.formatCode == VESKO_FMT_OPEN_FAILED) return cp932(QStringLiteral("ファイルのオープンに失敗"));
    if (!summaryOverride.isEmpty()) return cp932(summaryOverride);
    return cp932(QStringLiteral("詳細 ") + QFileInfo(recordPath(record)).fileName());
}

int32_t FakeLibrary::convertOneLen(const AnalysisRecord& record) {
    return static_cast<int32_t>(summaryOf(record).size());
}

void FakeLibrary::convertOne(const AnalysisRecord& record, char* out) {
    const QByteArray bytes = summaryOf(record);
    std::memcpy(out, bytes.constData(), static_cast<size_t>(bytes.size()));
}

ScopedHome::ScopedHome(const QString& folder)
    : folder_(folder), oldHome_(qgetenv("HOME")), oldData_(qgetenv("XDG_DATA_HOME")), oldCwd_(QDir::currentPath()) {
    QDir().mkpath(folder_ + QStringLiteral("/home"));
    QDir().mkpath(currentFolder());
    qputenv("HOME", QFile::encodeName(folder_ + QStringLiteral("/home")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder_ + QStringLiteral("/home/data")));
    QDir::setCurrent(currentFolder());
}

ScopedHome::~ScopedHome() {
    QDir::setCurrent(oldCwd_);
    if (oldHome_.isNull()) qunsetenv("HOME");
    else qputenv("HOME", oldHome_);
    if (oldData_.isNull()) qunsetenv("XDG_DATA_HOME");
    else qputenv("XDG_DATA_HOME", oldData_);
}

static QByteArray reportOf(const AnalysisRecord& record) {
    return cp932(QStringLiteral("レポート ") + QFileInfo(recordPath(record)).fileName());
}

int32_t FakeLibrary::convertFullLen(const AnalysisRecord& record) { return static_cast<int32_t>(reportOf(record).size()); }

void FakeLibrary::convertFull(const AnalysisRecord& record, char* out) {
    const QByteArray bytes = reportOf(record);
    std::memcpy(out, bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace vesko::lite::test
