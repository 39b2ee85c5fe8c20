#include "binding.h"

#include <QDir>

#include "platform.h"

namespace vesko::lite {

namespace {

template <typename Fn>
Fn lookUp(QLibrary& library, const char* name) {
    return reinterpret_cast<Fn>(library.resolve(name));
}

}  // namespace

LibraryBinding::~LibraryBinding() { unload(); }

QString LibraryBinding::libraryFileName() {
#if defined(Q_OS_WIN)
    return QStringLiteral("VESKO.DLL");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("libvesko.dylib");
#else
    return QStringLiteral("libvesko.so");
#endif
}

void LibraryBinding::clearEntryPoints() {
    bound_ = false;
    dllVersion_ = 0;
    getDllVersion_ = nullptr;
    setPath_ = nullptr;
    getFileFormat_ = nullptr;
    getFileInfo_ = nullptr;
    getFileInfoAuto_ = nullptr;
    convertOne_ = nullptr;
    convertFull_ = nullptr;
    convertOneLen_ = nullptr;
    convertFullLen_ = nullptr;
    unicode_ = nullptr;
}

BindOutcome LibraryBinding::bind(const QString& programDir) {
    unload();
    const QString path = QDir(programDir).absoluteFilePath(libraryFileName());
    library_.setFileName(path);
    if (!library_.load()) {
        int code = platform::libraryLoadErrorCode(path);
        QString message = QStringLiteral("VESKO.DLLの読み込みに失敗しました(%1)").arg(code);
        const QString detail = library_.errorString();
        if (!detail.isEmpty()) message += QStringLiteral("\n\n") + detail;
        return {BindStatus::LoadFailed, message};
    }

    getDllVersion_ = lookUp<VersionFn>(library_, "GetDllVersion");
    setPath_ = lookUp<SetPathFn>(library_, "SetPath");
    getFileFormat_ = lookUp<RecordFn>(library_, "GetFileFormat");
    getFileInfo_ = lookUp<RecordFn>(library_, "GetFileInfo");
    getFileInfoAuto_ = lookUp<RecordFn>(library_, "GetFileInfoAuto");
    convertOne_ = lookUp<ConvertFn>(library_, "ConvertOne");
    convertFull_ = lookUp<ConvertFn>(library_, "ConvertFull");
    convertOneLen_ = lookUp<LengthFn>(library_, "ConvertOneLen");
    convertFullLen_ = lookUp<LengthFn>(library_, "ConvertFullLen");
    unicode_ = lookUp<VersionFn>(library_, "Unicode");

    auto refuse = [this](BindStatus status, const QString& message) {
        unload();
        return BindOutcome{status, message};
    };
    if (!getDllVersion_) return refuse(BindStatus::Broken, QStringLiteral("VESKO.DLLが異常です"));
    if (!unicode_) return refuse(BindStatus::PreUnicode, QStringLiteral("Unicode対応前のVESKO.DLLは使えません"));
    if (unicode_() == 0) return refuse(BindStatus::Ansi, QStringLiteral("ANSI版のVESKO.DLLは使えません"));
    // The program calls these for every file: a library without them is as
    // unusable as one without GetDllVersion.
    if (!setPath_ || !getFileFormat_ || !getFileInfo_ || !convertOne_ || !convertOneLen_ || !convertFull_ ||
        !convertFullLen_)
        return refuse(BindStatus::Broken, QStringLiteral("VESKO.DLLが異常です"));

    dllVersion_ = getDllVersion_();
    QString directory = QDir::toNativeSeparators(QDir(programDir).absolutePath());
    if (!directory.endsWith(QDir::separator())) directory += QDir::separator();
    setPath_(reinterpret_cast<const char16_t*>(directory.utf16()));
    bound_ = true;
    return {BindStatus::Bound, {}};
}

void LibraryBinding::unload() {
    clearEntryPoints();
    if (library_.isLoaded()) library_.unload();
}

bool LibraryBinding::isUnicode() const { return unicode_ && unicode_() == 1; }

void LibraryBinding::getFileFormat(AnalysisRecord& record) { getFileFormat_(&record); }
void LibraryBinding::getFileInfo(AnalysisRecord& record) { getFileInfo_(&record); }
int32_t LibraryBinding::convertOneLen(const AnalysisRecord& record) { return convertOneLen_(&record); }
void LibraryBinding::convertOne(const AnalysisRecord& record, char* out) { convertOne_(&record, out); }
int32_t LibraryBinding::convertFullLen(const AnalysisRecord& record) { return convertFullLen_(&record); }
void LibraryBinding::convertFull(const AnalysisRecord& record, char* out) { convertFull_(&record, out); }

}  // namespace vesko::lite
