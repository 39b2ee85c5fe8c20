// Standard MIDI files: the header chunk ("MThd", format, track count,
// division) and the first sequence or track name, found in the first 256
// bytes of the MIDI data. No play time is computed.
#include "midi.h"

#include <algorithm>
#include <cstring>

#include "../analysers.h"
#include "../messages.h"
#include "../record.h"
#include "../templates.h"
#include "../text.h"

namespace vesko {

namespace {

// The name event's length is a variable-length quantity: 7 bits per byte,
// most significant group first, at most four bytes. Returns false when the
// quantity does not end inside `b` from `pos`.
bool readVarLen(Bytes b, size_t& pos, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4 && pos < b.size(); ++i) {
        uint8_t c = b[pos++];
        value = (value << 7) | (c & 0x7F);
        if (!(c & 0x80)) return true;
    }
    return false;
}

// The name as shown in a one-line description: up to the first NUL, control
// characters (CR, LF, TAB ...) as spaces, trailing spaces cut. Bytes of
// 0x20 and above are kept as they are (names are often Shift-JIS).
std::string cleanName(Bytes name) {
    std::string out;
    out.reserve(name.size());
    for (uint8_t c : name) {
        if (c == 0) break;
        out.push_back(c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c));
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

bool parseMidiHeader(MidiInfo& info, Bytes window) {
    if (window.size() > kMidiWindowBytes) window = window.first(kMidiWindowBytes);
    if (window.size() < kMidiHeaderBytes) return false;

    // The whole header (tag, length, three words) must lie in the window.
    size_t m = 0;
    const size_t lastStart = window.size() - kMidiHeaderBytes;
    while (m <= lastStart && !equalsAtNoCase(window, m, "MThd")) ++m;
    if (m > lastStart) return false;

    info.format = readU16BE(window, m + 8);
    info.trackCount = static_cast<int32_t>(readU16BE(window, m + 10)) - 1;
    info.division = readU16BE(window, m + 12);
    info.title[0] = '\0';

    // The first FF 03 after the header chunk's fixed part. Its name runs
    // to the end of the window at most.
    for (size_t n = m + kMidiHeaderBytes; n + 1 < window.size(); ++n) {
        if (window[n] != 0xFF || window[n + 1] != 0x03) continue;
        size_t pos = n + 2;
        uint32_t length = 0;
        if (!readVarLen(window, pos, length)) break;
        size_t take = std::min<size_t>(length, window.size() - pos);
        copyText(info.title, sizeof info.title, cleanName(window.subspan(pos, take)));
        break;
    }
    return true;
}

bool readMidiHeader(MidiInfo& info, FileReader& reader, uint64_t end) {
    const uint64_t start = reader.tell();
    size_t want = kMidiWindowBytes;
    if (end <= start)
        want = 0;
    else if (end - start < want)
        want = static_cast<size_t>(end - start);
    uint8_t window[kMidiWindowBytes] = {};
    size_t got = want ? reader.read(window, want, false) : 0;
    reader.seek(static_cast<int64_t>(start), 0);
    return parseMidiHeader(info, Bytes(window, got));
}

std::string describeMidi(const MidiInfo& info) {
    const bool titled = info.title[0] != '\0';
    std::string line = lookupTemplate(titled ? "AUDIO1" : "AUDIO2", "MIDI", u"FORMAT.INI");
    replacePlaceholder(line, "#format#", format("%d", info.format));
    replacePlaceholder(line, "#track#", format("%d", info.trackCount));
    replacePlaceholder(line, "#delta#", format("%u", info.division));
    if (titled) replacePlaceholder(line, "#title#", std::string(info.title, strnlen(info.title, sizeof info.title)));
    return line;
}

void describeMidi(char* out, size_t outSize, const MidiInfo& info) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describeMidi(info));
}

void analyzeMidi(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    // The play time is not computed: unknown, rather than a time of zero.
    record.duration = -1.0;
    MidiInfo info{};
    if (readMidiHeader(info, reader))
        addAudioText(record, describeMidi(info));
    else
        setErrorText(record, jp("[MIDI] MThdが見つかりません"));
    reader.close();
}

}  // namespace vesko
