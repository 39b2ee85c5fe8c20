// WavPack.
#include "../analysers.h"

namespace vesko {

void analyzeWavPack(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
