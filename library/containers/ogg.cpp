// Ogg: Vorbis, Speex, Theora, FLAC and OGM streams.
#include "../analysers.h"

namespace vesko {

void analyzeOgg(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
