// OptimFROG.
#include "../analysers.h"

namespace vesko {

void analyzeOptimFrog(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
