// MPEG audio (MP1, MP2, MP3).
#include "../analysers.h"

namespace vesko {

void analyzeMpegAudio(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
