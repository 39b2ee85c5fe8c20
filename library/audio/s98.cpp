// S98 sound-chip logs.
#include "../analysers.h"

namespace vesko {

void analyzeS98(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
