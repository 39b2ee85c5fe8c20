/*
 * vesko.h - the public interface of the Vesko media analysis library.
 *
 * One caller-owned record crosses the boundary: the caller zero-fills an
 * AnalysisRecord, writes the UTF-16 path into fileName, calls GetFileFormat
 * and GetFileInfo (or GetFileInfoAuto) and renders the result with ConvertOne
 * or ConvertFull. Every text the library writes is code page 932 (Shift-JIS).
 */
#ifndef VESKO_H
#define VESKO_H

#include <stdint.h>
#include <stddef.h>
#ifdef __cplusplus
#include <cstddef>
#else
#include <uchar.h>
#endif

#if defined(_WIN32)
#  if defined(VESKO_BUILDING)
#    define VESKO_API __declspec(dllexport)
#  else
#    define VESKO_API __declspec(dllimport)
#  endif
#  define VESKO_CALL __stdcall
#else
#  if defined(VESKO_BUILDING)
#    define VESKO_API __attribute__((visibility("default")))
#  else
#    define VESKO_API
#  endif
#  define VESKO_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define VESKO_VERSION 130324

#define VESKO_PATH_UNITS 256      /* fileName: 255 UTF-16 units and a NUL */
#define VESKO_LINE_BYTES 512      /* one description line or message */
#define VESKO_LABEL_BYTES 32      /* formatName */
#define VESKO_MAX_VIDEO 10
#define VESKO_MAX_AUDIO 10
#define VESKO_MAX_EXTRA 5

#pragma pack(push, 1)
typedef struct AnalysisRecord {
    char16_t fileName[VESKO_PATH_UNITS];
    int32_t formatCode;
    char formatName[VESKO_LABEL_BYTES];
    char errorText[VESKO_LINE_BYTES];
    char videoText[VESKO_MAX_VIDEO][VESKO_LINE_BYTES];
    int32_t videoCount;
    char audioText[VESKO_MAX_AUDIO][VESKO_LINE_BYTES];
    int32_t audioCount;
    char extraText[VESKO_MAX_EXTRA][VESKO_LINE_BYTES];
    int32_t extraCount;
    double duration;   /* seconds; -1.0 = unknown */
    int64_t fileSize;  /* bytes */
} AnalysisRecord;
#pragma pack(pop)

#ifdef __cplusplus
#define VESKO_STATIC_ASSERT static_assert
#else
#define VESKO_STATIC_ASSERT _Static_assert
#endif
VESKO_STATIC_ASSERT(sizeof(AnalysisRecord) == 13888, "AnalysisRecord is 13,888 bytes");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, fileName) == 0, "fileName");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, formatCode) == 512, "formatCode");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, formatName) == 516, "formatName");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, errorText) == 548, "errorText");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, videoText) == 1060, "videoText");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, videoCount) == 6180, "videoCount");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, audioText) == 6184, "audioText");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, audioCount) == 11304, "audioCount");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, extraText) == 11308, "extraText");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, extraCount) == 13868, "extraCount");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, duration) == 13872, "duration");
VESKO_STATIC_ASSERT(offsetof(AnalysisRecord, fileSize) == 13880, "fileSize");

/* Format codes stored in formatCode. */
enum {
    VESKO_FMT_NONE = 0,          /* not identified */
    VESKO_FMT_UNKNOWN = 1,       /* unsupported, or shorter than 40 bytes */
    VESKO_FMT_OPEN_FAILED = 2,
    VESKO_FMT_AVI = 12,
    VESKO_FMT_MPEG1_PS = 13,
    VESKO_FMT_CDXA = 14,
    VESKO_FMT_OGG = 15,
    VESKO_FMT_MPEG2_PS = 16,
    VESKO_FMT_MPEG2_TS = 17,
    VESKO_FMT_ASF_VIDEO = 18,
    VESKO_FMT_REALMEDIA = 19,
    VESKO_FMT_QUICKTIME = 20,
    VESKO_FMT_MP4 = 21,
    VESKO_FMT_MATROSKA = 25,
    VESKO_FMT_FLV = 26,
    VESKO_FMT_BMP = 51,
    VESKO_FMT_JPEG = 52,
    VESKO_FMT_GIF = 53,
    VESKO_FMT_WAVE = 101,
    VESKO_FMT_MIDI = 102,
    VESKO_FMT_RMID = 103,
    VESKO_FMT_SUN_AUDIO = 104,
    VESKO_FMT_AIFF = 105,
    VESKO_FMT_MPEG_AUDIO = 106,
    VESKO_FMT_CDDA = 107,
    VESKO_FMT_RMP3 = 108,
    VESKO_FMT_OGG_VORBIS = 109,
    VESKO_FMT_OGG_SPEEX = 110,
    VESKO_FMT_OGG_FLAC = 111,
    VESKO_FMT_ASF_AUDIO = 112,
    VESKO_FMT_AC3 = 113,
    VESKO_FMT_MONKEYS_AUDIO = 114,
    VESKO_FMT_MUSEPACK = 115,
    VESKO_FMT_FLAC = 116,
    VESKO_FMT_AAC = 117,
    VESKO_FMT_REALAUDIO = 118,
    VESKO_FMT_TTA = 119,
    VESKO_FMT_DTS14_LE = 120,
    VESKO_FMT_DTS14_BE = 121,
    VESKO_FMT_DTS16_LE = 122,
    VESKO_FMT_DTS16_BE = 123,
    VESKO_FMT_WAVPACK = 124,
    VESKO_FMT_OPTIMFROG = 125,
    VESKO_FMT_TWINVQ = 126,
    VESKO_FMT_SHOCKWAVE_AUDIO = 127,
    VESKO_FMT_QLCM = 128,
    VESKO_FMT_S98 = 129,
    VESKO_FMT_LIST_ZVMTL = 301,
    VESKO_FMT_LIST_PLS = 302,
    VESKO_FMT_LIST_LST = 303,
    VESKO_FMT_LIST_ZPL = 304,
    VESKO_FMT_LIST_BSL = 305,
    VESKO_FMT_LIST_M3U = 306,
    VESKO_FMT_LIST_M3U8 = 307
};

/* The ten exports. */
VESKO_API int32_t VESKO_CALL GetDllVersion(void);
VESKO_API void VESKO_CALL SetPath(const char16_t* directory);
VESKO_API void VESKO_CALL GetFileFormat(AnalysisRecord* record);
VESKO_API void VESKO_CALL GetFileInfo(AnalysisRecord* record);
VESKO_API void VESKO_CALL GetFileInfoAuto(AnalysisRecord* record);
VESKO_API void VESKO_CALL ConvertOne(const AnalysisRecord* record, char* out);
VESKO_API void VESKO_CALL ConvertFull(const AnalysisRecord* record, char* out);
VESKO_API int32_t VESKO_CALL ConvertOneLen(const AnalysisRecord* record);
VESKO_API int32_t VESKO_CALL ConvertFullLen(const AnalysisRecord* record);
VESKO_API int32_t VESKO_CALL Unicode(void);

#ifdef __cplusplus
}
#endif

#endif /* VESKO_H */
