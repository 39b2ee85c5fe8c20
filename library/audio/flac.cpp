// FLAC.
#include "../analysers.h"

namespace vesko {

void analyzeFlac(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
