// Monkey's Audio.
#include "../analysers.h"

namespace vesko {

void analyzeApe(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
