// RIFF AVI and WAVE.
#include "../analysers.h"

namespace vesko {

void analyzeRiff(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
