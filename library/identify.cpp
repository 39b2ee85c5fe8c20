#include "identify.h"

#include <cstring>

namespace vesko {

namespace {

struct ExtensionRule {
    const char* pattern;
    int32_t code;
};

// ".m3u8" before ".m3u", which would otherwise take it.
constexpr ExtensionRule kListExtensions[] = {
    {".zvmtl", VESKO_FMT_LIST_ZVMTL}, {".pls", VESKO_FMT_LIST_PLS},   {".lst", VESKO_FMT_LIST_LST},
    {".zpl", VESKO_FMT_LIST_ZPL},     {".bsl", VESKO_FMT_LIST_BSL},   {".m3u8", VESKO_FMT_LIST_M3U8},
    {".m3u", VESKO_FMT_LIST_M3U},
};

// Used when no magic number matched. ".mpga" stands before ".mpg", which
// would otherwise take it; ".ts" matches only exactly (see extensionRuleMatches).
constexpr ExtensionRule kFallbackExtensions[] = {
    {".mpeg", VESKO_FMT_MPEG1_PS}, {".m1v", VESKO_FMT_MPEG1_PS},    {".mpga", VESKO_FMT_MPEG_AUDIO},
    {".mpg", VESKO_FMT_MPEG1_PS},  {".m2v", VESKO_FMT_MPEG2_PS},    {".vob", VESKO_FMT_MPEG2_PS},
    {".m2t", VESKO_FMT_MPEG2_TS},  {".ts", VESKO_FMT_MPEG2_TS},     {".rmp", VESKO_FMT_WAVE},
    {".mp3", VESKO_FMT_MPEG_AUDIO}, {".mp2", VESKO_FMT_MPEG_AUDIO}, {".mpa", VESKO_FMT_MPEG_AUDIO},
    {".ac3", VESKO_FMT_AC3},       {".aac", VESKO_FMT_AAC},         {".mov", VESKO_FMT_QUICKTIME},
    {".qt", VESKO_FMT_QUICKTIME},  {".3gp", VESKO_FMT_MP4},         {".3gpp", VESKO_FMT_MP4},
    {".3g2", VESKO_FMT_MP4},       {".amc", VESKO_FMT_MP4},         {".mp4", VESKO_FMT_MP4},
    {".m4a", VESKO_FMT_MP4},       {".m4v", VESKO_FMT_MP4},
};

bool extensionRuleMatches(std::u16string_view extension, std::string_view pattern) {
    if (pattern == ".ts") return extension.size() == 3 && extensionMatches(extension, pattern);
    return extensionMatches(extension, pattern);
}

struct RiffForm {
    const char* type;
    int32_t code;
};

constexpr RiffForm kRiffForms[] = {
    {"AVI ", VESKO_FMT_AVI},  {"WAVE", VESKO_FMT_WAVE}, {"CDDA", VESKO_FMT_CDDA}, {"RMP3", VESKO_FMT_RMP3},
    {"CDXA", VESKO_FMT_CDXA}, {"RMID", VESKO_FMT_RMID}, {"QLCM", VESKO_FMT_QLCM},
};

bool bytesAt(Bytes w, size_t off, std::initializer_list<uint8_t> bytes) {
    if (off + bytes.size() > w.size()) return false;
    size_t i = off;
    for (uint8_t b : bytes)
        if (w[i++] != b) return false;
    return true;
}

// ASF header GUIDs in text form.
constexpr const char* kAsfHeader = "75B22630-668E-11CF-A6D9-00AA0062CE6C";
constexpr const char* kAsfData = "75B22636-668E-11CF-A6D9-00AA0062CE6C";
constexpr const char* kAsfFileProperties = "8CABDCA1-A947-11CF-8EE4-00C00C205365";
constexpr const char* kAsfStreamProperties = "B7DC0791-A9B7-11CF-8EE6-00C00C205365";
constexpr const char* kAsfAudioMedia = "F8699E40-5B4D-11CF-A8FD-00805F5C442B";
constexpr const char* kAsfVideoMedia = "BC19EFC0-5B4D-11CF-A8FD-00805F5C442B";
constexpr const char* kAsfHeaderExtension = "5FBF03B5-A92E-11CF-8EE3-00C00C205365";
constexpr int kAsfMaxObjects = 4096;

}  // namespace

std::u16string_view extensionOf(std::u16string_view path) {
    for (size_t i = path.size(); i > 1; --i) {
        char16_t c = path[i - 1];
        if (c == u'/' || c == u'\\') break;  // a dot in a folder name is no extension
        if (c == u'.') return path.substr(i - 1);
    }
    return {};
}

bool extensionMatches(std::u16string_view extension, std::string_view pattern) {
    if (extension.size() < pattern.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char16_t c = extension[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        char p = pattern[i];
        if (p >= 'A' && p <= 'Z') p = static_cast<char>(p + 32);
        if (c != static_cast<unsigned char>(p)) return false;
    }
    return true;
}

int32_t listFormatOf(std::u16string_view extension) {
    for (const auto& rule : kListExtensions)
        if (extensionMatches(extension, rule.pattern)) return rule.code;
    return 0;
}

int classifyWindow(Bytes w, std::u16string_view extension) {
    auto at = [&](size_t off, std::string_view text) { return equalsAtNoCase(w, off, text); };
    auto byte = [&](size_t off) -> uint8_t { return off < w.size() ? w[off] : 0; };

    if (at(6, "JFIF") || at(6, "Exif")) return VESKO_FMT_JPEG;
    if (at(0, "BM")) return VESKO_FMT_BMP;
    if (at(0, "GIF")) return VESKO_FMT_GIF;
    if (equalsAt(w, 0, "RIFF")) {
        for (const auto& form : kRiffForms)
            if (at(8, form.type)) return form.code;
        return VESKO_FMT_UNKNOWN;
    }
    if (bytesAt(w, 0, {0x00, 0x00, 0x01, 0xBA})) {
        switch (byte(4) >> 6) {
            case 0: return VESKO_FMT_MPEG1_PS;
            case 1: return VESKO_FMT_MPEG2_PS;
            default: return VESKO_FMT_UNKNOWN;
        }
    }
    if (at(4, "moov")) return VESKO_FMT_QUICKTIME;
    if (at(4, "ftyp")) return VESKO_FMT_MP4;
    if (at(0, "OggS")) {
        if (at(29, "vorbis")) return VESKO_FMT_OGG_VORBIS;
        if (at(28, "Speex")) return VESKO_FMT_OGG_SPEEX;
        if (at(28, "fLaC")) return VESKO_FMT_OGG_FLAC;
        return VESKO_FMT_OGG;
    }
    if (at(0, ".RMF")) return VESKO_FMT_REALMEDIA;
    if (bytesAt(w, 0, {0x2E, 0x72, 0x61, 0xFD})) return VESKO_FMT_REALAUDIO;
    if (bytesAt(w, 0, {0x30, 0x26, 0xB2, 0x75})) return kNeedsAsfProbe;
    if (bytesAt(w, 0, {0x1A, 0x45, 0xDF, 0xA3})) return VESKO_FMT_MATROSKA;
    if (at(0, "FLV")) return VESKO_FMT_FLV;
    if (at(0, "MThd")) return VESKO_FMT_MIDI;
    if (at(0, ".snd")) return VESKO_FMT_SUN_AUDIO;
    if (at(8, "AIFF") || at(8, "AIFC")) return VESKO_FMT_AIFF;
    if (at(0, "ADIF")) return VESKO_FMT_AAC;
    if (byte(0) == 0xFF && ((byte(1) & 0xFE) == 0xF0 || (byte(1) & 0xFE) == 0xF8)) return VESKO_FMT_AAC;
    // 14-bit little-endian DTS starts FF 1F, which the MPEG audio test below
    // would also take; no MPEG audio header starts FF 1F.
    if (bytesAt(w, 0, {0xFF, 0x1F, 0x00, 0xE8}) && (byte(4) & 0xF0) == 0xF0 && byte(5) == 0x07)
        return VESKO_FMT_DTS14_LE;
    if (byte(0) == 0xFF && (byte(1) & 0xF0) != 0) return VESKO_FMT_MPEG_AUDIO;
    if (bytesAt(w, 0, {0x0B, 0x77})) return VESKO_FMT_AC3;
    if (at(0, "MAC")) return VESKO_FMT_MONKEYS_AUDIO;
    if (at(0, "MP+")) return VESKO_FMT_MUSEPACK;
    if (at(0, "fLaC")) return VESKO_FMT_FLAC;
    if (at(0, "TTA")) return VESKO_FMT_TTA;
    if (at(0, "wvpk")) return VESKO_FMT_WAVPACK;
    if (at(0, "OFR") || at(0, "*RIFF")) return VESKO_FMT_OPTIMFROG;
    if (bytesAt(w, 0, {0x1F, 0xFF, 0xE8, 0x00, 0x07}) && (byte(5) & 0xF0) == 0xF0) return VESKO_FMT_DTS14_BE;
    if (bytesAt(w, 0, {0xFE, 0x7F, 0x01, 0x80})) return VESKO_FMT_DTS16_LE;
    if (bytesAt(w, 0, {0x7F, 0xFE, 0x80, 0x01})) return VESKO_FMT_DTS16_BE;
    if (at(0, "TWIN")) return VESKO_FMT_TWINVQ;
    if (at(0, "S98")) return VESKO_FMT_S98;
    if ((byte(0) == 0x47 && byte(188) == 0x47) || (byte(4) == 0x47 && byte(196) == 0x47)) return VESKO_FMT_MPEG2_TS;
    if (at(36, "MACRZ")) return VESKO_FMT_SHOCKWAVE_AUDIO;
    for (const auto& rule : kFallbackExtensions)
        if (extensionRuleMatches(extension, rule.pattern)) return rule.code;
    return VESKO_FMT_UNKNOWN;
}

int32_t probeAsf(const AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) return VESKO_FMT_OPEN_FAILED;
    bool fileProperties = false, video = false, audio = false;
    for (int objects = 0; objects < kAsfMaxObjects && reader.tell() < reader.size; ++objects) {
        uint8_t head[24] = {};
        if (reader.read(head, sizeof head, true) < sizeof head) break;
        std::string guid = formatGuid(head);
        uint64_t size = readU64LE(head, 16);
        if (guid == kAsfData) break;
        if (guid == kAsfHeader) {
            reader.seek(6, 1);
        } else if (guid == kAsfHeaderExtension) {
            reader.seek(22, 1);
        } else {
            // An object smaller than its own header would bring the walk
            // back to where it stands: the walk ends there.
            if (size < 24) break;
            if (guid == kAsfStreamProperties) {
                uint8_t type[16] = {};
                if (size >= 40 && reader.read(type, sizeof type, false) == sizeof type) {
                    std::string streamType = formatGuid(type);
                    if (streamType == kAsfAudioMedia) audio = true;
                    if (streamType == kAsfVideoMedia) video = true;
                }
            } else if (guid == kAsfFileProperties) {
                fileProperties = true;
            }
            if (size - 24 > static_cast<uint64_t>(INT64_MAX)) break;
            reader.seek(static_cast<int64_t>(size - 24), 1);
        }
        if (fileProperties && video && audio) break;
    }
    reader.close();
    if (!fileProperties) return VESKO_FMT_UNKNOWN;
    if (video) return VESKO_FMT_ASF_VIDEO;
    if (audio) return VESKO_FMT_ASF_AUDIO;
    return VESKO_FMT_UNKNOWN;
}

void identifyFormat(AnalysisRecord& record) {
    size_t n = 0;
    while (n < VESKO_PATH_UNITS && record.fileName[n] != 0) ++n;
    std::u16string_view path(record.fileName, n < VESKO_PATH_UNITS ? n : 0);
    std::u16string_view extension = extensionOf(path);

    if (int32_t list = listFormatOf(extension)) {
        record.formatCode = list;
        return;
    }
    FileReader reader;
    if (!reader.open(record)) {
        record.formatCode = VESKO_FMT_OPEN_FAILED;
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    if (reader.size < 40) {
        record.formatCode = VESKO_FMT_UNKNOWN;
        return;
    }
    uint8_t window[kIdentifyWindow] = {};
    reader.read(window, sizeof window, true);
    if (equalsAtNoCase(window, 0, "ID3")) {
        reader.rewind();
        reader.skipLeadingId3v2();
        // Nothing of the first read may survive into the second.
        std::memset(window, 0, sizeof window);
        reader.read(window, sizeof window, true);
    }
    reader.close();
    int code = classifyWindow(window, extension);
    record.formatCode = code == kNeedsAsfProbe ? probeAsf(record) : code;
}

}  // namespace vesko
