// Sun/NeXT audio (.au, .snd).
#include "../analysers.h"

namespace vesko {

void analyzeAu(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
