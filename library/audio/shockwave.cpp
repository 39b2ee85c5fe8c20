// Shockwave Audio: MPEG audio behind a Director header.
#include "../analysers.h"

namespace vesko {

void analyzeShockwaveAudio(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
