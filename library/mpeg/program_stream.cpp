// MPEG-1 and MPEG-2 program streams.
#include "../analysers.h"

namespace vesko {

void analyzeMpegProgramStream(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
