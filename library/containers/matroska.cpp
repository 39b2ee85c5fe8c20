// Matroska and WebM: the EBML walks.
#include "../analysers.h"

namespace vesko {

void analyzeMatroskaFile(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
