// AC-3.
#include "../analysers.h"

namespace vesko {

void analyzeAc3(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
