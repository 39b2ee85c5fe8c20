// Standard MIDI files.
#include "../analysers.h"

namespace vesko {

void analyzeMidi(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
