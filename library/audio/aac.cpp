// AAC (ADTS and ADIF).
#include "../analysers.h"

namespace vesko {

void analyzeAac(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
