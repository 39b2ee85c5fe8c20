// Format identification: extension lists, magic numbers in the first 256
// bytes (after a leading ID3v2 tag) and the ASF header probe.
#pragma once

#include <cstdint>
#include <string_view>

#include "io.h"
#include "vesko.h"

namespace vesko {

inline constexpr size_t kIdentifyWindow = 256;
inline constexpr int kNeedsAsfProbe = -1;

// The extension of a path: from the last "." of its file name to the end;
// empty when the file name has no "." after its first character.
std::u16string_view extensionOf(std::u16string_view path);
// Prefix test ignoring ASCII case (".plsx" matches ".pls").
bool extensionMatches(std::u16string_view extension, std::string_view pattern);

// The code of a list extension (301 to 307), or 0.
int32_t listFormatOf(std::u16string_view extension);
// The code the window and the extension give; kNeedsAsfProbe when the
// window starts with the ASF header GUID.
int classifyWindow(Bytes window, std::u16string_view extension);
// Walks an ASF file's header objects: 18 (video), 112 (audio only), 1, or 2
// when the file cannot be opened.
int32_t probeAsf(const AnalysisRecord& record);

void identifyFormat(AnalysisRecord& record);

}  // namespace vesko
