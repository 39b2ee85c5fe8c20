// DTS in its four word packings.
#include "../analysers.h"

namespace vesko {

void analyzeDts(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
