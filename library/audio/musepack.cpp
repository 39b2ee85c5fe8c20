// Musepack SV7.
#include "../analysers.h"

namespace vesko {

void analyzeMusePack(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
