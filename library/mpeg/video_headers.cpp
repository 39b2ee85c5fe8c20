// Video elementary stream headers: MPEG-1/2 video (ISO/IEC 11172-2,
// 13818-2), the MPEG-4 Visual labels (ISO/IEC 14496-2) and the AVC
// sequence parameter set (ITU-T H.264 7.3.2.1, E.1).
//
// The MPEG-1/2 headers are a handful of fixed fields and are read through
// bit text. The parameter set is a run of exp-Golomb codes of any length;
// it is unescaped into bytes and read with the small bounded reader below,
// on which every read past the end yields zero bits.
#include "video_headers.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "../record.h"
#include "../templates.h"

namespace vesko {

namespace {

// ---------------------------------------------------------------- texts

std::string_view fieldText(const char* field, size_t width) { return {field, slotLength(field, width)}; }

void writeOut(char* out, size_t outSize, std::string_view text) {
    if (out && outSize) copyText(out, outSize, text);
}

// Template lines are built within the caller's buffer size and never above
// the 512 bytes of a record line.
size_t lineLimit(size_t outSize) { return std::min(outSize, kTemplateBytes); }

// ---------------------------------------------------------------- MPEG-1/2

constexpr const char* kMpegAspects[16] = {
    "forbidden", "1:1",    "4:3",    "16:9 625line",        "0.7615", "0.8055", "16:9 525line", "0.8935",
    "4:3 625line CCIR601", "0.9815", "1.0255", "1.0695", "4:3 525line CCIR601", "1.1575", "1.2015", "reserved",
};

// frame_rate_code 1 ... 8, as the decimal values the descriptions print.
constexpr double kMpegFrameRates[9] = {0.0, 23.976, 24.0, 25.0, 29.97, 30.0, 50.0, 59.94, 60.0};

constexpr uint32_t kVariableBitRate = 0x3FFFF;
constexpr size_t kSequenceHeaderBytes = 7;
constexpr size_t kSequenceExtensionBytes = 9;
// The sequence extension's fields end with progressive_sequence, bit 44.
constexpr size_t kSequenceExtensionNeeded = 6;

const char* mpeg2ProfileName(int profile) {
    switch (profile) {
        case 1: return "HP";
        case 2: return "SSP";
        case 3: return "SNR";
        case 4: return "MP";
        case 5: return "SP";
        default: return nullptr;
    }
}

const char* mpeg2LevelName(int level) {
    switch (level) {
        case 4: return "HL";
        case 6: return "HL1440";
        case 8: return "ML";
        case 10: return "LL";
        default: return nullptr;
    }
}

// ---------------------------------------------------------------- MPEG-4 Visual

struct Mpeg4Label {
    uint8_t code;
    const char* label;
};

constexpr Mpeg4Label kMpeg4Profiles[] = {
    {0x01, "Simple@L1"},
    {0x02, "Simple@L2"},
    {0x03, "Simple@L3"},
    {0x08, "Simple@L0"},
    {0x11, "Simple Scalable@L1"},
    {0x12, "Simple Scalable@L2"},
    {0x21, "Core@L1"},
    {0x22, "Core@L2"},
    {0x32, "Main@L2"},
    {0x33, "Main@L3"},
    {0x34, "Main@L4"},
    {0x42, "N-bit@L2"},
    {0x51, "Scalable Texture@L1"},
    {0x61, "Simple Face Anim@L1"},
    {0x62, "Simple Face Anim@L2"},
    {0x63, "Simple FBA@L1"},
    {0x64, "Simple FBA@L2"},
    {0x71, "Basic Anim Text@L1"},
    {0x72, "Basic Anim Text@L2"},
    {0x81, "Hybrid@L1"},
    {0x82, "Hybrid@L2"},
    {0x91, "Adv RT Simple@L1"},
    {0x92, "Adv RT Simple@L2"},
    {0x93, "Adv RT Simple@L3"},
    {0x94, "Adv RT Simple@L4"},
    {0xA1, "Core Scalable@L1"},
    {0xA2, "Core Scalable@L2"},
    {0xA3, "Core Scalable@L3"},
    {0xB1, "Adv Coding Efficieny@L1"},
    {0xB2, "Adv Coding Efficieny@L2"},
    {0xB3, "Adv Coding Efficieny@L3"},
    {0xB4, "Adv Coding Efficieny@L4"},
    {0xC1, "Adv Core Profile@L1"},
    {0xC2, "Adv Core Profile@L2"},
    {0xD1, "Adv Scalable Texture@L1"},
    {0xD2, "Adv Scalable Texture@L2"},
    {0xD3, "Adv Scalable Texture@L3"},
    {0xE1, "Simple Studio@L1"},
    {0xE2, "Simple Studio@L2"},
    {0xE3, "Simple Studio@L3"},
    {0xE4, "Simple Studio@L4"},
    {0xE5, "Core Studio@L1"},
    {0xE6, "Core Studio@L2"},
    {0xE7, "Core Studio@L3"},
    {0xE8, "Core Studio@L4"},
    {0xF1, "Adv Simple@L0"},
    {0xF2, "Adv Simple@L1"},
    {0xF3, "Adv Simple@L2"},
    {0xF4, "Adv Simple@L3"},
    {0xF5, "Adv Simple@L4"},
    {0xF6, "Adv Simple@L5"},
    {0xF7, "Adv Simple@L3b"},
    {0xF8, "FGS@L0"},
    {0xF9, "FGS@L1"},
    {0xFA, "FGS@L2"},
    {0xFB, "FGS@L3"},
    {0xFC, "FGS@L4"},
    {0xFD, "FGS@L5"},
};

// ---------------------------------------------------------------- AVC

// H.264 Table E-1, aspect_ratio_idc 1 ... 16. Codes 14 to 16 came with a
// later edition of the table; encoders write them (x264 signals a 4:3
// sample aspect as 14).
constexpr const char* kAvcSampleAspects[17] = {
    "Unspecified", "1:1",   "12:11", "10:11", "16:11", "40:33", "24:11", "20:11", "32:11",
    "80:33",       "18:11", "15:11", "64:33", "160:99", "4:3",  "3:2",   "2:1",
};

constexpr uint32_t kExtendedSar = 255;

// Limits of H.264: num_ref_frames_in_pic_order_cnt_cycle <= 255 and
// cpb_cnt_minus1 <= 31. Larger values only come from damaged units.
constexpr uint32_t kMaxRefFramesInPocCycle = 255;
constexpr uint32_t kMaxCpbCntMinus1 = 31;

// A parameter set holds at most a few thousand bytes even with every list
// and loop at its maximum; a caller's buffer beyond this is not unescaped.
constexpr size_t kMaxSpsBytes = 65536;

// The profiles whose parameter sets carry chroma_format_idc, the bit
// depths and the scaling matrices (H.264 7.3.2.1.1), 144 being the
// withdrawn High 4:4:4 profile.
bool hasChromaFields(uint32_t profileIdc) {
    switch (profileIdc) {
        case 100: case 110: case 122: case 244: case 44: case 83: case 86:
        case 118: case 128: case 138: case 139: case 134: case 135: case 144:
            return true;
        default:
            return false;
    }
}

// Removes the emulation prevention bytes of the NAL unit at `bytes`: the
// unit ends at the last byte given or where the next start code (00 00 01
// and a byte with a non-zero NAL type, or 00 00 01 as the last bytes)
// begins. Never reads past `length`.
std::vector<uint8_t> unescapeNalUnit(const uint8_t* bytes, size_t length) {
    const size_t n = std::min(length, kMaxSpsBytes);
    std::vector<uint8_t> out;
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        if (i + 2 < n && bytes[i] == 0 && bytes[i + 1] == 0) {
            if (bytes[i + 2] == 1 && (i + 3 >= n || (bytes[i + 3] & 0x1F) != 0)) break;
            if (bytes[i + 2] == 3) {
                out.push_back(0);
                out.push_back(0);
                i += 3;
                continue;
            }
        }
        out.push_back(bytes[i]);
        ++i;
    }
    return out;
}

// Most-significant-bit-first reader over the unescaped unit. Bits past the
// end read as zero and are noted in `overrun`; the position never moves
// past the end, so no count can make it wrap.
class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t>& data) : data_(data), size_(data.size() * 8) {}

    bool atEnd() const { return pos_ >= size_; }
    bool overrun() const { return overrun_; }

    uint32_t bit() {
        if (pos_ >= size_) {
            overrun_ = true;
            return 0;
        }
        const uint32_t b = (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u;
        ++pos_;
        return b;
    }

    // count <= 32
    uint32_t bits(unsigned count) {
        uint32_t v = 0;
        for (unsigned i = 0; i < count; ++i) v = (v << 1) | bit();
        return v;
    }

    void skip(size_t count) {
        if (count > size_ - pos_) {
            overrun_ = true;
            pos_ = size_;
        } else {
            pos_ += count;
        }
    }

    // ue(v) of H.264 9.1, clamped to 32 bits. When no '1' follows before
    // the end it reads as 0; bits of the suffix past the end read as 0.
    uint32_t ue() {
        size_t zeros = 0;
        for (;;) {
            if (pos_ >= size_) {
                overrun_ = true;
                return 0;
            }
            // Whole zero bytes at once.
            if ((pos_ & 7) == 0 && data_[pos_ >> 3] == 0) {
                zeros += 8;
                pos_ += 8;
                continue;
            }
            if (bit()) break;
            ++zeros;
        }
        if (zeros > 32) {
            skip(zeros);
            return std::numeric_limits<uint32_t>::max();
        }
        uint64_t value = 1;
        for (size_t i = 0; i < zeros; ++i) value = (value << 1) | bit();
        value -= 1;
        return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
    }

    // se(v): k -> (k + 1) / 2 for odd k, -k / 2 for even k.
    int64_t se() {
        const uint64_t k = ue();
        return (k & 1) ? static_cast<int64_t>((k + 1) / 2) : -static_cast<int64_t>(k / 2);
    }

private:
    const std::vector<uint8_t>& data_;
    size_t size_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

// scaling_list() of H.264 7.3.2.1.1.1; the values are not kept.
void skipScalingList(BitReader& r, int size) {
    int64_t lastScale = 8;
    int64_t nextScale = 8;
    for (int j = 0; j < size && !r.atEnd(); ++j) {
        if (nextScale != 0) {
            const int64_t delta = r.se();
            nextScale = ((lastScale + delta) % 256 + 256) % 256;
        }
        if (nextScale != 0) lastScale = nextScale;
    }
}

struct HrdValues {
    uint32_t bitRateValueMinus1 = 0;
    uint32_t bitRateScale = 0;
    uint8_t cbrFlag = 0;
};

// hrd_parameters() of H.264 E.1.2: only the first entry's rate is kept.
HrdValues readHrd(BitReader& r) {
    HrdValues hrd;
    const uint32_t cpbCount = std::min(r.ue(), kMaxCpbCntMinus1) + 1;
    hrd.bitRateScale = r.bits(4);
    r.skip(4);  // cpb_size_scale
    for (uint32_t i = 0; i < cpbCount && !r.atEnd(); ++i) {
        const uint32_t bitRateValueMinus1 = r.ue();
        r.ue();  // cpb_size_value_minus1
        const uint8_t cbr = static_cast<uint8_t>(r.bit());
        if (i == 0) {
            hrd.bitRateValueMinus1 = bitRateValueMinus1;
            hrd.cbrFlag = cbr;
        }
    }
    r.skip(20);  // the four delay and offset lengths
    return hrd;
}

struct VuiValues {
    bool aspectInfo = false;
    uint32_t aspectRatioIdc = 0;
    uint32_t sarWidth = 0;
    uint32_t sarHeight = 0;
    bool timingInfo = false;
    uint32_t numUnitsInTick = 0;
    uint32_t timeScale = 0;
    uint8_t fixedFrameRate = 0;
    bool nalHrd = false;
    HrdValues nal;
    bool vclHrd = false;
    HrdValues vcl;  // read, not used
};

// vui_parameters() of H.264 E.1.1.
VuiValues readVui(BitReader& r) {
    VuiValues vui;
    if (r.bit()) {  // aspect_ratio_info_present_flag
        vui.aspectInfo = true;
        vui.aspectRatioIdc = r.bits(8);
        if (vui.aspectRatioIdc == kExtendedSar) {
            vui.sarWidth = r.bits(16);
            vui.sarHeight = r.bits(16);
        }
    }
    if (r.bit()) r.skip(1);  // overscan_info_present_flag, overscan_appropriate_flag
    if (r.bit()) {           // video_signal_type_present_flag
        r.skip(4);           // video_format, video_full_range_flag
        if (r.bit()) r.skip(24);  // colour primaries, transfer, matrix
    }
    if (r.bit()) {  // chroma_loc_info_present_flag
        r.ue();
        r.ue();
    }
    if (r.bit()) {  // timing_info_present_flag
        vui.timingInfo = true;
        vui.numUnitsInTick = r.bits(32);
        vui.timeScale = r.bits(32);
        vui.fixedFrameRate = static_cast<uint8_t>(r.bit());
    }
    if (r.bit()) {
        vui.nalHrd = true;
        vui.nal = readHrd(r);
    }
    if (r.bit()) {
        vui.vclHrd = true;
        vui.vcl = readHrd(r);
    }
    if (vui.nalHrd || vui.vclHrd) r.skip(1);  // low_delay_hrd_flag
    r.skip(1);                                // pic_struct_present_flag
    if (r.bit()) {                            // bitstream_restriction_flag
        r.skip(1);
        for (int i = 0; i < 6; ++i) r.ue();
    }
    return vui;
}

uint32_t clampToU32(int64_t value) {
    if (value < 0) return 0;
    return static_cast<uint32_t>(std::min<int64_t>(value, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

// ==================================================================== MPEG-1/2

int32_t findCode32(const uint8_t* buffer, size_t length, uint32_t code) {
    if (!buffer || length < 4) return -1;
    const size_t last = std::min<size_t>(length - 4, std::numeric_limits<int32_t>::max());
    const auto first = static_cast<uint8_t>(code >> 24);
    for (size_t p = 0; p <= last;) {
        const void* hit = std::memchr(buffer + p, first, last - p + 1);
        if (!hit) break;
        p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - buffer);
        const uint32_t v = (uint32_t{buffer[p]} << 24) | (uint32_t{buffer[p + 1]} << 16) |
                           (uint32_t{buffer[p + 2]} << 8) | buffer[p + 3];
        if (v == code) return static_cast<int32_t>(p);
        ++p;
    }
    return -1;
}

const char* mpegAspectLabel(unsigned code) { return code < 16 ? kMpegAspects[code] : kMpegAspects[15]; }

double mpegFrameRate(unsigned code) { return code >= 1 && code <= 8 ? kMpegFrameRates[code] : 0.0; }

void parseMpegSequenceHeader(MpegVideoInfo& info, Bytes bytes) {
    const std::string bits = bytesToBits(bytes.first(std::min(bytes.size(), kSequenceHeaderBytes)));
    info.width = static_cast<uint32_t>(bitsAt(bits, 0, 12));
    info.height = static_cast<uint32_t>(bitsAt(bits, 12, 12));
    copyText(info.aspect, sizeof info.aspect, mpegAspectLabel(static_cast<unsigned>(bitsAt(bits, 24, 4))));
    info.frameRate = mpegFrameRate(static_cast<unsigned>(bitsAt(bits, 28, 4)));
    const auto bitRateValue = static_cast<uint32_t>(bitsAt(bits, 32, 18));
    if (bitRateValue == kVariableBitRate) {
        info.variableBitRate = 1;
        info.bitRate = 0.0;
    } else {
        info.variableBitRate = 0;
        info.bitRate = bitRateValue * 400.0;
    }
}

void parseMpegSequenceHeader(MpegVideoInfo& info, const uint8_t* bytes) {
    if (bytes) parseMpegSequenceHeader(info, Bytes(bytes, kSequenceHeaderBytes));
}

bool parseMpegSequenceExtension(MpegVideoInfo& info, Bytes bytes) {
    if (bytes.size() < kSequenceExtensionNeeded) return false;
    const std::string bits = bytesToBits(bytes.first(std::min(bytes.size(), kSequenceExtensionBytes)));
    // 32 bits of start code, then extension_start_code_identifier.
    if (bitsAt(bits, 32, 4) != 1) return false;
    // escape bit 36 (not used), profile 37-39, level 40-43, progressive 44.
    const auto profile = static_cast<int>(bitsAt(bits, 37, 3));
    const auto level = static_cast<int>(bitsAt(bits, 40, 4));
    info.progressive = bitsAt(bits, 44, 1) ? 1 : 0;
    formatMpeg2ProfileLevel(info.profile, sizeof info.profile, profile, level);
    return true;
}

bool parseMpegSequenceExtension(MpegVideoInfo& info, const uint8_t* bytes) {
    return bytes && parseMpegSequenceExtension(info, Bytes(bytes, kSequenceExtensionBytes));
}

std::string formatMpeg2ProfileLevel(int profile, int level) {
    const char* p = mpeg2ProfileName(profile);
    const char* l = mpeg2LevelName(level);
    const std::string profileText = p ? std::string(p) : format("UnknownProfile(%d)", profile);
    const std::string levelText = l ? std::string(l) : format("UnknownLevel(%d)", level);
    return profileText + "@" + levelText;
}

void formatMpeg2ProfileLevel(char* out, size_t outSize, int profile, int level) {
    writeOut(out, outSize, formatMpeg2ProfileLevel(profile, level));
}

namespace {

std::string buildMpegVideoLine(const MpegVideoInfo& info, size_t limit) {
    const bool mpeg2 = info.profile[0] != '\0';
    std::string line = lookupTemplate(mpeg2 ? "MPEG2" : "MPEG1", "MPEG1/2", u"FORMAT.INI", limit);
    const double bitRate = info.variableBitRate == 1 ? info.averageBitRate : info.bitRate;
    replacePlaceholder(line, "#width#", format("%u", info.width), limit);
    replacePlaceholder(line, "#height#", format("%u", info.height), limit);
    replacePlaceholder(line, "#codec#", fieldText(info.codec, sizeof info.codec), limit);
    replacePlaceholder(line, "#profile#", fieldText(info.profile, sizeof info.profile), limit);
    replacePlaceholder(line, "#aspect#", fieldText(info.aspect, sizeof info.aspect), limit);
    replacePlaceholder(line, "#interlace#", info.progressive == 1 ? "Progressive" : "Interlace", limit);
    replacePlaceholder(line, "#framerate#", format("%.2f", info.frameRate), limit);
    replacePlaceholder(line, "#bitratek#", format("%.2f", bitRate * 0.001), limit);
    replacePlaceholder(line, "#bitrate#", format("%.2f", bitRate), limit);
    replacePlaceholder(line, "#bitratemode#", info.variableBitRate == 1 ? "VBR" : "CBR", limit);
    return line;
}

}  // namespace

std::string describeMpegVideo(const MpegVideoInfo& info) { return buildMpegVideoLine(info, kTemplateBytes); }

void describeMpegVideo(char* out, size_t outSize, const MpegVideoInfo& info) {
    if (out && outSize) writeOut(out, outSize, buildMpegVideoLine(info, lineLimit(outSize)));
}

// ==================================================================== MPEG-4 Visual

std::string formatMpeg4ProfileLevel(int code) {
    for (const auto& entry : kMpeg4Profiles)
        if (entry.code == code) return entry.label;
    return format("UnknownProfile(%d)", code);
}

void formatMpeg4ProfileLevel(char* out, size_t outSize, int code) {
    writeOut(out, outSize, formatMpeg4ProfileLevel(code));
}

std::string formatMpeg4Aspect(int code) {
    if (code == 0) return "Unspecified";
    if (code < 0 || code > 15) return format("Unknown(%d)", code);
    return kMpegAspects[code];
}

void formatMpeg4Aspect(char* out, size_t outSize, int code) { writeOut(out, outSize, formatMpeg4Aspect(code)); }

// ==================================================================== AVC

std::string formatAvcProfileLevel(int profileIdc, int levelIdc) {
    std::string profile;
    switch (profileIdc) {
        case 66: profile = "Baseline"; break;
        case 77: profile = "Main"; break;
        case 88: profile = "Extended"; break;
        case 100: profile = "High"; break;
        case 110: profile = "High 10"; break;
        case 122: profile = "High 4:2:2"; break;
        case 244: profile = "High 4:4:4"; break;
        default: profile = format("UnknownProfile(%d)", profileIdc); break;
    }
    std::string level;
    switch (levelIdc) {
        case 10: case 20: case 30: case 40: case 50:
            level = format("%d", levelIdc / 10);
            break;
        case 11: case 12: case 13: case 21: case 22: case 31: case 32: case 41: case 42: case 51:
            level = format("%d.%d", levelIdc / 10, levelIdc % 10);
            break;
        default:
            level = format("UnknownLevel(%d)", levelIdc);
            break;
    }
    return profile + "@" + level;
}

void formatAvcProfileLevel(char* out, size_t outSize, int profileIdc, int levelIdc) {
    writeOut(out, outSize, formatAvcProfileLevel(profileIdc, levelIdc));
}

std::string formatAvcSampleAspect(int aspectRatioIdc) {
    if (aspectRatioIdc >= 0 && aspectRatioIdc <= 16) return kAvcSampleAspects[aspectRatioIdc];
    return format("Unknown(%d)", aspectRatioIdc);
}

void formatAvcSampleAspect(char* out, size_t outSize, int aspectRatioIdc) {
    writeOut(out, outSize, formatAvcSampleAspect(aspectRatioIdc));
}

bool parseAvcSps(const uint8_t* bytes, size_t length, AvcVideoInfo& info) {
    if (!bytes || length == 0) return false;
    const std::vector<uint8_t> rbsp = unescapeNalUnit(bytes, length);
    BitReader r(rbsp);

    r.skip(8);  // NAL header
    const uint32_t profileIdc = r.bits(8);
    r.skip(8);  // constraint_set0..5 flags, reserved_zero_2bits
    const uint32_t levelIdc = r.bits(8);
    r.ue();  // seq_parameter_set_id

    uint32_t chromaFormatIdc = 1;
    uint32_t separateColourPlane = 0;
    uint32_t bitDepthLumaMinus8 = 0;
    if (hasChromaFields(profileIdc)) {
        chromaFormatIdc = r.ue();
        if (chromaFormatIdc == 3) separateColourPlane = r.bit();
        bitDepthLumaMinus8 = r.ue();
        r.ue();     // bit_depth_chroma_minus8
        r.skip(1);  // qpprime_y_zero_transform_bypass_flag
        if (r.bit()) {  // seq_scaling_matrix_present_flag
            const int lists = chromaFormatIdc != 3 ? 8 : 12;
            for (int i = 0; i < lists && !r.atEnd(); ++i)
                if (r.bit()) skipScalingList(r, i < 6 ? 16 : 64);
        }
    }

    r.ue();  // log2_max_frame_num_minus4
    const uint32_t picOrderCntType = r.ue();
    if (picOrderCntType == 0) {
        r.ue();  // log2_max_pic_order_cnt_lsb_minus4
    } else if (picOrderCntType == 1) {
        r.skip(1);  // delta_pic_order_always_zero_flag
        r.se();     // offset_for_non_ref_pic
        r.se();     // offset_for_top_to_bottom_field
        const uint32_t cycle = std::min(r.ue(), kMaxRefFramesInPocCycle);
        for (uint32_t i = 0; i < cycle && !r.atEnd(); ++i) r.se();
    }

    r.ue();     // max_num_ref_frames
    r.skip(1);  // gaps_in_frame_num_value_allowed_flag
    const uint32_t widthInMbsMinus1 = r.ue();
    const uint32_t heightInMapUnitsMinus1 = r.ue();
    const uint32_t frameMbsOnly = r.bit();
    if (!frameMbsOnly) r.skip(1);  // mb_adaptive_frame_field_flag
    r.skip(1);                     // direct_8x8_inference_flag
    uint32_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
    if (r.bit()) {
        cropLeft = r.ue();
        cropRight = r.ue();
        cropTop = r.ue();
        cropBottom = r.ue();
    }
    const bool vuiPresent = r.bit() != 0;
    // A unit that ends before this point was cut off: its sizes would be
    // made of zero bits.
    if (r.overrun()) return false;
    VuiValues vui;
    if (vuiPresent) vui = readVui(r);

    // Crop units of H.264 7.4.2.1.1 by ChromaArrayType: 4:2:0 crops in
    // steps of two columns and two rows (four per field pair), 4:2:2 in
    // steps of two columns and one row, 4:4:4 and monochrome in ones.
    const uint32_t chromaArrayType = separateColourPlane ? 0 : chromaFormatIdc;
    int64_t cropUnitX = 2, cropUnitY = 2;
    switch (chromaArrayType) {
        case 0: cropUnitX = 1; cropUnitY = 1; break;
        case 2: cropUnitX = 2; cropUnitY = 1; break;
        case 3: cropUnitX = 1; cropUnitY = 1; break;
        default: break;  // 4:2:0, and values outside the standard
    }
    cropUnitY *= 2 - static_cast<int64_t>(frameMbsOnly);

    const int64_t codedWidth = (int64_t{widthInMbsMinus1} + 1) * 16;
    const int64_t codedHeight = (2 - int64_t{frameMbsOnly}) * (int64_t{heightInMapUnitsMinus1} + 1) * 16;
    info.width = clampToU32(codedWidth - cropUnitX * (int64_t{cropLeft} + cropRight));
    info.height = clampToU32(codedHeight - cropUnitY * (int64_t{cropTop} + cropBottom));
    info.bitDepth = static_cast<uint8_t>(std::min<uint32_t>(bitDepthLumaMinus8, 255 - 8) + 8);
    copyText(info.codec, sizeof info.codec, "AVC/H.264");
    formatAvcProfileLevel(info.profile, sizeof info.profile, static_cast<int>(profileIdc), static_cast<int>(levelIdc));
    if (vuiPresent && vui.aspectInfo && vui.aspectRatioIdc == kExtendedSar)
        copyText(info.aspect, sizeof info.aspect, format("%u:%u", vui.sarWidth, vui.sarHeight));
    else
        formatAvcSampleAspect(info.aspect, sizeof info.aspect,
                              vuiPresent && vui.aspectInfo ? static_cast<int>(vui.aspectRatioIdc) : 0);
    info.interlaced = frameMbsOnly ? 0 : 1;

    if (vuiPresent) {
        if (vui.timingInfo) {
            info.frameRate = vui.numUnitsInTick ? static_cast<double>(vui.timeScale) / static_cast<double>(vui.numUnitsInTick) * 0.5 : 0.0;
            info.fixedFrameRate = vui.fixedFrameRate;
        }
        if (vui.nalHrd) {
            const double scale = static_cast<double>(uint64_t{1} << (vui.nal.bitRateScale + 6));
            info.bitRate = scale * (static_cast<double>(vui.nal.bitRateValueMinus1) + 1.0);
            info.constantBitRate = vui.nal.cbrFlag;
        }
    }
    return true;
}

bool findAvcSps(const uint8_t* bytes, size_t length, AvcVideoInfo& info) {
    if (!bytes || length < 4) return false;
    for (size_t p = 0; p + 3 < length; ++p) {
        if (bytes[p + 2] > 1) {  // no start code can begin at p, p + 1 or p + 2
            p += 2;
            continue;
        }
        if (bytes[p] == 0 && bytes[p + 1] == 0 && bytes[p + 2] == 1 && (bytes[p + 3] & 0x1F) == 7 &&
            parseAvcSps(bytes + p + 3, length - p - 3, info))
            return true;
    }
    return false;
}

namespace {

std::string buildAvcVideoLine(const AvcVideoInfo& info, size_t limit) {
    std::string line = lookupTemplate("VIDEO", "AVC", u"FORMAT.INI", limit);
    replacePlaceholder(line, "#width#", format("%u", info.width), limit);
    replacePlaceholder(line, "#height#", format("%u", info.height), limit);
    replacePlaceholder(line, "#bitdepth#", format("%u", unsigned{info.bitDepth}), limit);
    replacePlaceholder(line, "#codec#", fieldText(info.codec, sizeof info.codec), limit);
    replacePlaceholder(line, "#profile#", fieldText(info.profile, sizeof info.profile), limit);
    replacePlaceholder(line, "#aspect#", fieldText(info.aspect, sizeof info.aspect), limit);
    replacePlaceholder(line, "#interlace#", info.interlaced == 1 ? "Interlace" : "Progressive", limit);
    replacePlaceholder(line, "#framerate#", format("%.2f", info.frameRate), limit);
    replacePlaceholder(line, "#frame#", format("%d", info.frameCount), limit);
    replacePlaceholder(line, "#bitratek#", format("%.2f", info.bitRate * 0.001), limit);
    replacePlaceholder(line, "#bitrate#", format("%.2f", info.bitRate), limit);
    return line;
}

}  // namespace

std::string describeAvcVideo(const AvcVideoInfo& info) { return buildAvcVideoLine(info, kTemplateBytes); }

void describeAvcVideo(char* out, size_t outSize, const AvcVideoInfo& info) {
    if (out && outSize) writeOut(out, outSize, buildAvcVideoLine(info, lineLimit(outSize)));
}

}  // namespace vesko
