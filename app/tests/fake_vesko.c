/* Stand-ins for the analysis library with the faults the binding refuses:
 * built as FAKE_NO_UNICODE (no Unicode export, as a library from before
 * Unicode support), FAKE_ANSI (Unicode() returns 0) and FAKE_NO_VERSION
 * (no GetDllVersion). */
#include <string.h>

#include "vesko.h"

#ifndef FAKE_NO_VERSION
VESKO_API int32_t VESKO_CALL GetDllVersion(void) { return 100101; }
#endif

VESKO_API void VESKO_CALL SetPath(const char16_t* directory) { (void)directory; }

VESKO_API void VESKO_CALL GetFileFormat(AnalysisRecord* record) { record->formatCode = VESKO_FMT_UNKNOWN; }

VESKO_API void VESKO_CALL GetFileInfo(AnalysisRecord* record) { (void)record; }

VESKO_API void VESKO_CALL GetFileInfoAuto(AnalysisRecord* record) { record->formatCode = VESKO_FMT_UNKNOWN; }

VESKO_API void VESKO_CALL ConvertOne(const AnalysisRecord* record, char* out) {
    (void)record;
    strcpy(out, "fake");
}

VESKO_API void VESKO_CALL ConvertFull(const AnalysisRecord* record, char* out) {
    (void)record;
    strcpy(out, "fake");
}

VESKO_API int32_t VESKO_CALL ConvertOneLen(const AnalysisRecord* record) {
    (void)record;
    return 5;
}

VESKO_API int32_t VESKO_CALL ConvertFullLen(const AnalysisRecord* record) {
    (void)record;
    return 5;
}

#ifndef FAKE_NO_UNICODE
VESKO_API int32_t VESKO_CALL Unicode(void) {
#ifdef FAKE_ANSI
    return 0;
#else
    return 1;
#endif
}
#endif
