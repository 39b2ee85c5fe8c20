// Entry points of the analysers. Each takes the record with fileName and
// formatCode set, opens the file itself and reports everything through the
// record. The dispatch table in interface.cpp maps format codes to them.
#pragma once

#include "vesko.h"

namespace vesko {

using Analyser = void (*)(AnalysisRecord&);

// Formats without an analyser of their own: the first 16 bytes as hex and text.
void analyzeGeneric(AnalysisRecord& record);

// Elementary audio streams.
void analyzeMpegAudio(AnalysisRecord& record);  // 106
void analyzeAac(AnalysisRecord& record);        // 117
void analyzeAc3(AnalysisRecord& record);        // 113
void analyzeDts(AnalysisRecord& record);        // 120 to 123
void analyzeMidi(AnalysisRecord& record);       // 102
void analyzeS98(AnalysisRecord& record);        // 129
void analyzeFlac(AnalysisRecord& record);       // 116
void analyzeWavPack(AnalysisRecord& record);    // 124
void analyzeApe(AnalysisRecord& record);        // 114
void analyzeTta(AnalysisRecord& record);        // 119
void analyzeOptimFrog(AnalysisRecord& record);  // 125
void analyzeMusePack(AnalysisRecord& record);   // 115
void analyzeTwinVq(AnalysisRecord& record);     // 126
void analyzeShockwaveAudio(AnalysisRecord& record);  // 127
void analyzeAu(AnalysisRecord& record);         // 104

// Pictures.
void analyzeBmp(AnalysisRecord& record);        // 51
void analyzeJpeg(AnalysisRecord& record);       // 52
void analyzeGif(AnalysisRecord& record);        // 53

// Containers.
void analyzeRiff(AnalysisRecord& record);       // 12, 14, 101, 103, 105, 107, 108, 128
void analyzeMpegProgramStream(AnalysisRecord& record);    // 13, 16
void analyzeMpegTransportStream(AnalysisRecord& record);  // 17
void analyzeOgg(AnalysisRecord& record);        // 15, 109, 110, 111
void analyzeQuickTime(AnalysisRecord& record);  // 20, 21
void analyzeAsf(AnalysisRecord& record);        // 18, 112
void analyzeRealMedia(AnalysisRecord& record);  // 19
void analyzeRealAudio(AnalysisRecord& record);  // 118
void analyzeFlashVideo(AnalysisRecord& record); // 26
void analyzeMatroskaFile(AnalysisRecord& record);  // 25

// Runs an analyser; any exception it lets out becomes the record's
// "[Exception]" error text.
void runGuarded(AnalysisRecord& record, Analyser analyser);

// The analyser of a format code (the generic one for codes without one).
Analyser analyserFor(int32_t formatCode);

}  // namespace vesko
