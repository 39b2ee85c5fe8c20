// GIF pictures.
#include "../analysers.h"

namespace vesko {

void analyzeGif(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
