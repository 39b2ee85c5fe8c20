// RealMedia (.rm) and stand-alone RealAudio (.ra).
#include "realmedia.h"

#include "../analysers.h"

namespace vesko {

bool parseRealAudioHeader(Bytes, RealAudioHeader&) { return false; }
std::string realAudioCodecName(std::string_view) { return {}; }
std::string realVideoCodecName(std::string_view) { return {}; }
std::string describeRealAudio(const AudioStreamInfo&, size_t) { return {}; }
std::string describeRealVideo(const VideoStreamInfo&, size_t) { return {}; }

void analyzeRealMedia(AnalysisRecord& record) { analyzeGeneric(record); }
void analyzeRealAudio(AnalysisRecord& record) { analyzeGeneric(record); }

}  // namespace vesko
