// Writing into the caller's record: bounded copies into fixed text slots.
#pragma once

#include <cstdarg>
#include <string_view>

#include "vesko.h"

namespace vesko {

// Copies text into a slot of `width` bytes, truncated to width - 1 and
// NUL-terminated.
void copyText(char* slot, size_t width, std::string_view text);
// Length of a slot's text, never looking past its width.
size_t slotLength(const char* slot, size_t width);

// Append a line to a list; a full list is left unchanged.
void addVideoText(AnalysisRecord& record, std::string_view text);
void addAudioText(AnalysisRecord& record, std::string_view text);
void addExtraText(AnalysisRecord& record, std::string_view text);

void setErrorText(AnalysisRecord& record, std::string_view text);
void setFormatName(AnalysisRecord& record, std::string_view text);

// printf into a std::string (the library's lines are at most 511 bytes;
// callers truncate through copyText).
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vesko
