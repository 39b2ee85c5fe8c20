// TwinVQ.
#include "../analysers.h"

namespace vesko {

void analyzeTwinVq(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
