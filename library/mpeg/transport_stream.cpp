// MPEG-2 transport streams.
#include "../analysers.h"

namespace vesko {

void analyzeMpegTransportStream(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
