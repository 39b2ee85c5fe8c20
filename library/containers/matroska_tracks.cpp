// Matroska track descriptions: one line per TrackEntry by its CodecID.
#include "../analysers.h"

namespace vesko {}  // namespace vesko
