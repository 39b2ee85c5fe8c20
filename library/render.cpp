#include "render.h"

#include <cstdio>

#include "io.h"
#include "record.h"

namespace vesko {

namespace {

// The record belongs to the caller: counts are clamped to the slots that
// exist and no slot is read past its width.
int clampCount(int32_t count, int capacity) {
    if (count < 0) return 0;
    return count > capacity ? capacity : count;
}

std::string_view slot(const char* text, size_t width) { return std::string_view(text, slotLength(text, width)); }

struct Lists {
    struct List {
        const char (*lines)[VESKO_LINE_BYTES];
        int count;
    };
    List video, audio, extra;
    explicit Lists(const AnalysisRecord& r)
        : video{r.videoText, clampCount(r.videoCount, VESKO_MAX_VIDEO)},
          audio{r.audioText, clampCount(r.audioCount, VESKO_MAX_AUDIO)},
          extra{r.extraText, clampCount(r.extraCount, VESKO_MAX_EXTRA)} {}
};

std::string_view errorOf(const AnalysisRecord& r) { return slot(r.errorText, sizeof r.errorText); }

bool hasDuration(const AnalysisRecord& r) { return r.duration != -1.0; }

std::string clock(const DurationParts& p) {
    return format("%02d:%02d:%02d.%03d", p.hours, p.minutes, p.seconds, p.milliseconds);
}

}  // namespace

std::string renderFull(const AnalysisRecord& r) {
    std::string_view error = errorOf(r);
    if (!error.empty()) return std::string(error);
    Lists lists(r);
    std::string out;
    auto list = [&](const Lists::List& l, const char* heading) {
        if (l.count > 1) out += format("[%s][%d]\r\n", heading, l.count);
        for (int i = 0; i < l.count; ++i) {
            out += slot(l.lines[i], VESKO_LINE_BYTES);
            out += "\r\n";
        }
    };
    list(lists.video, "Video");
    list(lists.audio, "Audio");
    list(lists.extra, "Extra");
    std::string_view label = slot(r.formatName, sizeof r.formatName);
    if (!label.empty()) {
        out += '[';
        out += label;
        out += "] ";
    }
    if (hasDuration(r)) {
        DurationParts p = splitDuration(r.duration);
        double seconds = p.hours * 3600.0 + p.minutes * 60.0 + p.seconds + p.milliseconds * 0.001;
        out += clock(p) + format(" (%.3fsec) / ", seconds);
    }
    out += formatThousands(r.fileSize);
    out += "Bytes";
    return out;
}

std::string renderOne(const AnalysisRecord& r) {
    std::string_view error = errorOf(r);
    if (!error.empty()) return std::string(error);
    Lists lists(r);
    std::string out;
    std::string_view label = slot(r.formatName, sizeof r.formatName);
    if (!label.empty()) {
        out += label;
        out += ' ';
    }
    auto first = [&](const Lists::List& l) {
        if (l.count > 1) out += format("[%d] ", l.count);
        return slot(l.lines[0], VESKO_LINE_BYTES);
    };
    if (lists.video.count > 0) {
        out += first(lists.video);
        if (lists.audio.count > 0) out += ' ';
    }
    if (lists.audio.count > 0) {
        out += first(lists.audio);
        if (lists.extra.count > 0) out += ' ';
    }
    if (lists.extra.count > 0) {
        std::string_view extra = first(lists.extra);
        out += '[';
        out += extra;
        out += ']';
    }
    if (hasDuration(r)) out += ' ' + clock(splitDuration(r.duration));
    return out;
}

}  // namespace vesko
