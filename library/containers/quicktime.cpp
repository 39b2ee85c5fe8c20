// QuickTime movies and ISO base media files (MP4, M4A, 3GPP).
#include "quicktime.h"

#include "../analysers.h"

namespace vesko {

void decodeSampleDescription(Bytes, bool, QuickTimeTrack&, FileReader*) {}
std::string describeQuickTimeVideo(const QuickTimeTrack&, size_t) { return {}; }
std::string describeQuickTimeAudio(const AudioStreamInfo&, size_t) { return {}; }

void analyzeQuickTime(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
