// Run-time binding to the analysis library: the library file in the
// program's own folder is loaded by name, its exports are looked up and
// checked, and SetPath is told where FORMAT.INI and CODECS.INI lie.
#pragma once

#include <QLibrary>
#include <QString>

#include "library_api.h"

namespace vesko::lite {

enum class BindStatus {
    Bound,
    LoadFailed,   // the file could not be loaded
    Broken,       // GetDllVersion (or another call the program makes) missing
    PreUnicode,   // no Unicode export
    Ansi,         // Unicode() returned 0
};

struct BindOutcome {
    BindStatus status = BindStatus::LoadFailed;
    QString message;  // the text shown to the user; empty when bound
};

class LibraryBinding final : public LibraryApi {
public:
    LibraryBinding() = default;
    ~LibraryBinding() override;
    LibraryBinding(const LibraryBinding&) = delete;
    LibraryBinding& operator=(const LibraryBinding&) = delete;

    // "libvesko.so" on Linux, "VESKO.DLL" on Windows.
    static QString libraryFileName();

    // Loads programDir/libraryFileName(), checks it and calls SetPath with
    // programDir and a trailing separator. On any failure the library is
    // unloaded again and the outcome carries the message to show.
    BindOutcome bind(const QString& programDir);
    void unload();
    bool isBound() const { return bound_; }

    int32_t dllVersion() const override { return dllVersion_; }
    bool isUnicode() const override;
    // The library has the Unicode entry point (the About dialog's kind).
    bool hasUnicodeExport() const { return unicode_ != nullptr; }
    void getFileFormat(AnalysisRecord& record) override;
    void getFileInfo(AnalysisRecord& record) override;
    int32_t convertOneLen(const AnalysisRecord& record) override;
    void convertOne(const AnalysisRecord& record, char* out) override;
    int32_t convertFullLen(const AnalysisRecord& record) override;
    void convertFull(const AnalysisRecord& record, char* out) override;

private:
    using VersionFn = int32_t(VESKO_CALL*)();
    using SetPathFn = void(VESKO_CALL*)(const char16_t*);
    using RecordFn = void(VESKO_CALL*)(AnalysisRecord*);
    using ConvertFn = void(VESKO_CALL*)(const AnalysisRecord*, char*);
    using LengthFn = int32_t(VESKO_CALL*)(const AnalysisRecord*);

    void clearEntryPoints();

    QLibrary library_;
    bool bound_ = false;
    int32_t dllVersion_ = 0;
    VersionFn getDllVersion_ = nullptr;
    SetPathFn setPath_ = nullptr;
    RecordFn getFileFormat_ = nullptr;
    RecordFn getFileInfo_ = nullptr;
    RecordFn getFileInfoAuto_ = nullptr;
    ConvertFn convertOne_ = nullptr;
    ConvertFn convertFull_ = nullptr;
    LengthFn convertOneLen_ = nullptr;
    LengthFn convertFullLen_ = nullptr;
    VersionFn unicode_ = nullptr;
};

}  // namespace vesko::lite
