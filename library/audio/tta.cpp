// True Audio (TTA).
#include "../analysers.h"

namespace vesko {

void analyzeTta(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
