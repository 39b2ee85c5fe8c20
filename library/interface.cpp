// The ten exports and the dispatcher.
#include <cfenv>
#include <cstring>

#include "analysers.h"
#include "identify.h"
#include "io.h"
#include "messages.h"
#include "record.h"
#include "render.h"
#include "templates.h"

namespace vesko {

namespace {

struct DispatchEntry {
    int32_t code;
    Analyser analyser;
};

// One row per format that has its own analyser; every other code goes to
// the generic analyser.
constexpr DispatchEntry kDispatch[] = {
    {VESKO_FMT_NONE, analyzeGeneric},
    {VESKO_FMT_MPEG_AUDIO, analyzeMpegAudio},
    {VESKO_FMT_AC3, analyzeAc3},
    {VESKO_FMT_AAC, analyzeAac},
    {VESKO_FMT_DTS14_LE, analyzeDts},
    {VESKO_FMT_DTS14_BE, analyzeDts},
    {VESKO_FMT_DTS16_LE, analyzeDts},
    {VESKO_FMT_DTS16_BE, analyzeDts},
    {VESKO_FMT_MIDI, analyzeMidi},
    {VESKO_FMT_S98, analyzeS98},
    {VESKO_FMT_FLAC, analyzeFlac},
    {VESKO_FMT_WAVPACK, analyzeWavPack},
    {VESKO_FMT_AVI, analyzeRiff},
    {VESKO_FMT_WAVE, analyzeRiff},
    {VESKO_FMT_CDXA, analyzeRiff},
    {VESKO_FMT_RMID, analyzeRiff},
    {VESKO_FMT_AIFF, analyzeRiff},
    {VESKO_FMT_CDDA, analyzeRiff},
    {VESKO_FMT_RMP3, analyzeRiff},
    {VESKO_FMT_QLCM, analyzeRiff},
    {VESKO_FMT_MPEG1_PS, analyzeMpegProgramStream},
    {VESKO_FMT_MPEG2_PS, analyzeMpegProgramStream},
    {VESKO_FMT_MPEG2_TS, analyzeMpegTransportStream},
    {VESKO_FMT_OGG, analyzeOgg},
    {VESKO_FMT_OGG_VORBIS, analyzeOgg},
    {VESKO_FMT_OGG_SPEEX, analyzeOgg},
    {VESKO_FMT_OGG_FLAC, analyzeOgg},
    {VESKO_FMT_QUICKTIME, analyzeQuickTime},
    {VESKO_FMT_MP4, analyzeQuickTime},
    {VESKO_FMT_ASF_VIDEO, analyzeAsf},
    {VESKO_FMT_ASF_AUDIO, analyzeAsf},
    {VESKO_FMT_REALMEDIA, analyzeRealMedia},
    {VESKO_FMT_REALAUDIO, analyzeRealAudio},
    {VESKO_FMT_FLV, analyzeFlashVideo},
    {VESKO_FMT_MATROSKA, analyzeMatroskaFile},
    {VESKO_FMT_MONKEYS_AUDIO, analyzeApe},
    {VESKO_FMT_TTA, analyzeTta},
    {VESKO_FMT_OPTIMFROG, analyzeOptimFrog},
    {VESKO_FMT_MUSEPACK, analyzeMusePack},
    {VESKO_FMT_TWINVQ, analyzeTwinVq},
    {VESKO_FMT_SHOCKWAVE_AUDIO, analyzeShockwaveAudio},
    {VESKO_FMT_SUN_AUDIO, analyzeAu},
    {VESKO_FMT_BMP, analyzeBmp},
    {VESKO_FMT_JPEG, analyzeJpeg},
    {VESKO_FMT_GIF, analyzeGif},
};

// Whatever the library computes, the caller's floating-point environment
// (flags and modes) is the same after a call as before it.
class FloatEnvironmentGuard {
public:
    FloatEnvironmentGuard() { std::fegetenv(&saved_); }
    ~FloatEnvironmentGuard() { std::fesetenv(&saved_); }

private:
    std::fenv_t saved_;
};

void runAnalyser(AnalysisRecord& record) {
    if (record.formatCode == VESKO_FMT_OPEN_FAILED) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    runGuarded(record, analyserFor(record.formatCode));
}

void appendRendering(char* out, const std::string& text, bool replace) {
    if (!out) return;
    size_t at = replace ? 0 : std::strlen(out);
    std::memcpy(out + at, text.data(), text.size());
    out[at + text.size()] = '\0';
}

bool hasError(const AnalysisRecord& r) { return r.errorText[0] != '\0'; }

int32_t renderingLength(const AnalysisRecord& r, const std::string& text) {
    return static_cast<int32_t>(hasError(r) ? text.size() : text.size() + 1);
}

}  // namespace

void runGuarded(AnalysisRecord& record, Analyser analyser) {
    try {
        analyser(record);
    } catch (...) {
        // Whatever the analyser stored before the fault stays; the error
        // text alone says that the analysis ended early.
        setErrorText(record, format(msgException(), record.formatCode));
    }
}

Analyser analyserFor(int32_t formatCode) {
    for (const auto& entry : kDispatch)
        if (entry.code == formatCode) return entry.analyser;
    return analyzeGeneric;
}

}  // namespace vesko

using namespace vesko;

extern "C" {

VESKO_API int32_t VESKO_CALL GetDllVersion(void) { return VESKO_VERSION; }

VESKO_API int32_t VESKO_CALL Unicode(void) { return 1; }

VESKO_API void VESKO_CALL SetPath(const char16_t* directory) {
    size_t n = 0;
    if (directory)
        while (n < 256 && directory[n] != 0) ++n;
    setDataDirectory(std::u16string_view(directory ? directory : u"", n));
}

VESKO_API void VESKO_CALL GetFileFormat(AnalysisRecord* record) {
    if (!record) return;
    FloatEnvironmentGuard guard;
    try {
        identifyFormat(*record);
    } catch (...) {
        record->formatCode = VESKO_FMT_UNKNOWN;
    }
}

VESKO_API void VESKO_CALL GetFileInfo(AnalysisRecord* record) {
    if (!record) return;
    FloatEnvironmentGuard guard;
    runAnalyser(*record);
}

VESKO_API void VESKO_CALL GetFileInfoAuto(AnalysisRecord* record) {
    GetFileFormat(record);
    GetFileInfo(record);
}

VESKO_API void VESKO_CALL ConvertOne(const AnalysisRecord* record, char* out) {
    if (!record) return;
    FloatEnvironmentGuard guard;
    try {
        appendRendering(out, renderOne(*record), hasError(*record));
    } catch (...) {
    }
}

VESKO_API void VESKO_CALL ConvertFull(const AnalysisRecord* record, char* out) {
    if (!record) return;
    FloatEnvironmentGuard guard;
    try {
        appendRendering(out, renderFull(*record), hasError(*record));
    } catch (...) {
    }
}

VESKO_API int32_t VESKO_CALL ConvertOneLen(const AnalysisRecord* record) {
    if (!record) return 0;
    FloatEnvironmentGuard guard;
    try {
        return renderingLength(*record, renderOne(*record));
    } catch (...) {
        return 0;
    }
}

VESKO_API int32_t VESKO_CALL ConvertFullLen(const AnalysisRecord* record) {
    if (!record) return 0;
    FloatEnvironmentGuard guard;
    try {
        return renderingLength(*record, renderFull(*record));
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
