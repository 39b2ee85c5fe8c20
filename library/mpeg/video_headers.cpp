// MPEG-1/2 video, MPEG-4 Visual and AVC elementary stream headers.
#include "../analysers.h"
