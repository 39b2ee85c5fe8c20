// Rendering of an analysed record: the one-line summary and the full report.
#pragma once

#include <string>

#include "vesko.h"

namespace vesko {

// Both renderings come from here; the length exports measure these strings.
// When errorText is set the rendering is that text alone.
std::string renderOne(const AnalysisRecord& record);
std::string renderFull(const AnalysisRecord& record);

}  // namespace vesko
