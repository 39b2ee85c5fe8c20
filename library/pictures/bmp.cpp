// Windows and OS/2 bitmaps.
#include "../analysers.h"

namespace vesko {

void analyzeBmp(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
