// Advanced Systems Format (Windows Media audio and video).
#include "../analysers.h"

namespace vesko {

void analyzeAsf(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
