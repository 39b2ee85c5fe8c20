#include "record.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace vesko {

void copyText(char* slot, size_t width, std::string_view text) {
    if (width == 0) return;
    size_t n = text.size() < width - 1 ? text.size() : width - 1;
    std::memcpy(slot, text.data(), n);
    slot[n] = '\0';
}

size_t slotLength(const char* slot, size_t width) {
    const void* nul = std::memchr(slot, 0, width);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - slot) : width - 1;
}

namespace {

void addLine(char (*slots)[VESKO_LINE_BYTES], int32_t& count, int32_t capacity, std::string_view text) {
    if (count < 0 || count >= capacity) return;
    copyText(slots[count], VESKO_LINE_BYTES, text);
    ++count;
}

}  // namespace

void addVideoText(AnalysisRecord& r, std::string_view text) { addLine(r.videoText, r.videoCount, VESKO_MAX_VIDEO, text); }
void addAudioText(AnalysisRecord& r, std::string_view text) { addLine(r.audioText, r.audioCount, VESKO_MAX_AUDIO, text); }
void addExtraText(AnalysisRecord& r, std::string_view text) { addLine(r.extraText, r.extraCount, VESKO_MAX_EXTRA, text); }

void setErrorText(AnalysisRecord& r, std::string_view text) { copyText(r.errorText, sizeof r.errorText, text); }
void setFormatName(AnalysisRecord& r, std::string_view text) { copyText(r.formatName, sizeof r.formatName, text); }

std::string format(const char* fmt, ...) {
    char buffer[VESKO_LINE_BYTES];
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    if (n < 0) return std::string();
    return std::string(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

}  // namespace vesko
