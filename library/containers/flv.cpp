// Flash Video.
#include "../analysers.h"

namespace vesko {

void analyzeFlashVideo(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
