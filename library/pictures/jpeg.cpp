// JPEG pictures (JFIF and Exif).
#include "../analysers.h"

namespace vesko {

void analyzeJpeg(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
