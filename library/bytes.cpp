// Byte readers, bit text and formatters: pure functions over memory.
#include <cmath>
#include <cstdio>
#include <limits>

#include "io.h"

namespace vesko {

namespace {

inline void need(Bytes b, size_t off, size_t width) {
    if (off > b.size() || b.size() - off < width) throw BoundsError{};
}

inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

uint16_t readU16LE(Bytes b, size_t off) { need(b, off, 2); return static_cast<uint16_t>(b[off] | b[off + 1] << 8); }
uint16_t readU16BE(Bytes b, size_t off) { need(b, off, 2); return static_cast<uint16_t>(b[off] << 8 | b[off + 1]); }
uint32_t readU24LE(Bytes b, size_t off) { need(b, off, 3); return b[off] | b[off + 1] << 8 | static_cast<uint32_t>(b[off + 2]) << 16; }
uint32_t readU24BE(Bytes b, size_t off) { need(b, off, 3); return static_cast<uint32_t>(b[off]) << 16 | b[off + 1] << 8 | b[off + 2]; }
uint32_t readU32LE(Bytes b, size_t off) { need(b, off, 4); return static_cast<uint32_t>(readUIntLE(b.subspan(off), 4)); }
uint32_t readU32BE(Bytes b, size_t off) { need(b, off, 4); return static_cast<uint32_t>(readUIntBE(b.subspan(off), 4)); }
uint64_t readU64LE(Bytes b, size_t off) { need(b, off, 8); return readUIntLE(b.subspan(off), 8); }
uint64_t readU64BE(Bytes b, size_t off) { need(b, off, 8); return readUIntBE(b.subspan(off), 8); }

uint64_t readUIntBE(Bytes b, size_t count) {
    if (count < 1 || count > 8) return 0;
    need(b, 0, count);
    uint64_t v = 0;
    for (size_t i = 0; i < count; ++i) v = v << 8 | b[i];
    return v;
}

uint64_t readUIntLE(Bytes b, size_t count) {
    if (count < 1 || count > 8) return 0;
    need(b, 0, count);
    uint64_t v = 0;
    for (size_t i = count; i-- > 0;) v = v << 8 | b[i];
    return v;
}

double readFloatBE(Bytes b, size_t off, size_t width) {
    if (width == 10) {
        need(b, off, 10);
        uint32_t exponent = readU16BE(b, off) & 0x7FFF;  // the sign is not used
        uint64_t mantissa = readU64BE(b, off + 2);
        // mantissa / 2^64 * 2^(exponent - 16382); ldexp saturates to infinity
        // instead of trapping on overflow.
        return std::ldexp(static_cast<double>(mantissa), static_cast<int>(exponent) - 16382 - 64);
    }
    int expBits, fracBits, bias;
    uint64_t raw;
    if (width == 4) {
        expBits = 8, fracBits = 23, bias = 127, raw = readU32BE(b, off);
    } else if (width == 8) {
        expBits = 11, fracBits = 52, bias = 1023, raw = readU64BE(b, off);
    } else {
        return 0.0;
    }
    bool negative = (raw >> (expBits + fracBits)) & 1;
    uint64_t expMax = (uint64_t{1} << expBits) - 1;
    uint64_t exponent = (raw >> fracBits) & expMax;
    uint64_t fraction = raw & ((uint64_t{1} << fracBits) - 1);
    const double inf = std::numeric_limits<double>::infinity();
    if (exponent == expMax) return (fraction != 0 || !negative) ? inf : -inf;
    if (exponent == 0 && fraction == 0) return 0.0;
    double scale = std::ldexp(1.0, fracBits);
    double v = exponent == 0 ? std::ldexp(1.0, 1 - bias) * (static_cast<double>(fraction) / scale)
                             : std::ldexp(1.0 + static_cast<double>(fraction) / scale, static_cast<int>(exponent) - bias);
    return negative ? -v : v;
}

void byteToBits(std::string& dest, uint8_t value) {
    for (int bit = 7; bit >= 0; --bit) dest.push_back(((value >> bit) & 1) ? '1' : '0');
}

std::string bytesToBits(Bytes bytes) {
    std::string bits;
    bits.reserve(bytes.size() * 8);
    for (uint8_t v : bytes) byteToBits(bits, v);
    return bits;
}

double bitsToNumber(std::string_view text, size_t count) {
    double v = 0.0;
    for (size_t i = 0; i < count; ++i) v = v * 2.0 + ((i < text.size() && text[i] == '1') ? 1.0 : 0.0);
    return v;
}

uint64_t bitsAt(std::string_view text, size_t pos, size_t count) {
    uint64_t v = 0;
    for (size_t i = 0; i < count && i < 64; ++i) {
        size_t at = pos + i;
        v = v << 1 | ((at < text.size() && text[at] == '1') ? 1u : 0u);
    }
    return v;
}

std::string formatGuid(Bytes g) {
    need(g, 0, 16);
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", readU32LE(g, 0), readU16LE(g, 4), readU16LE(g, 6),
                  readU16BE(g, 8), static_cast<unsigned long long>(readUIntBE(g.subspan(10), 6)));
    return text;
}

std::string formatThousands(int64_t value) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
    std::string_view d(digits);
    std::string out;
    if (!d.empty() && d[0] == '-') {
        out.push_back('-');
        d.remove_prefix(1);
    }
    size_t head = d.size() % 3;
    if (head == 0) head = 3;
    out.append(d.substr(0, head));
    for (size_t i = head; i < d.size(); i += 3) {
        out.push_back(',');
        out.append(d.substr(i, 3));
    }
    return out;
}

DurationParts splitDuration(double x) {
    DurationParts p;
    if (!(x > 0.0)) return p;  // negative, zero and NaN
    // The largest time the hour field can carry.
    const double limit = static_cast<double>(std::numeric_limits<int>::max()) * 3600.0 + 3599.999;
    if (x > limit) x = limit;
    double whole = std::trunc(x);
    double f = x - whole;
    int64_t total = static_cast<int64_t>(whole);
    if (total >= 3600) {
        p.hours = static_cast<int>(total / 3600);
        total -= static_cast<int64_t>(p.hours) * 3600;
    }
    p.minutes = static_cast<int>(total / 60);
    p.seconds = static_cast<int>(total % 60);
    p.milliseconds = static_cast<int>(std::trunc(f * 1000.0));
    if (p.milliseconds > 999) p.milliseconds = 999;
    return p;
}

std::string copyStrided(Bytes source, size_t stride) {
    std::string out;
    if (stride == 0) return out;
    for (size_t i = 0; i < source.size(); i += stride) out.push_back(static_cast<char>(source[i]));
    size_t keep = out.size();
    while (keep > 0 && static_cast<signed char>(out[keep - 1]) <= 32) --keep;
    out.resize(keep);
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != lowerAscii(prefix[i])) return false;
    return true;
}

bool equalsAt(Bytes b, size_t off, std::string_view text) {
    if (off > b.size() || b.size() - off < text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (b[off + i] != static_cast<uint8_t>(text[i])) return false;
    return true;
}

bool equalsAtNoCase(Bytes b, size_t off, std::string_view text) {
    if (off > b.size() || b.size() - off < text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (lowerAscii(static_cast<char>(b[off + i])) != lowerAscii(text[i])) return false;
    return true;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        uint8_t b = static_cast<uint8_t>(s[i]);
        uint32_t c;
        size_t len;
        if (b < 0x80) c = b, len = 1;
        else if ((b & 0xE0) == 0xC0) c = b & 0x1F, len = 2;
        else if ((b & 0xF0) == 0xE0) c = b & 0x0F, len = 3;
        else if ((b & 0xF8) == 0xF0) c = b & 0x07, len = 4;
        else { out.push_back(0xFFFD); ++i; continue; }
        if (i + len > s.size()) { out.push_back(0xFFFD); break; }
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            uint8_t cb = static_cast<uint8_t>(s[i + k]);
            if ((cb & 0xC0) != 0x80) { ok = false; break; }
            c = c << 6 | (cb & 0x3F);
        }
        if (!ok) { out.push_back(0xFFFD); ++i; continue; }
        i += len;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

}  // namespace vesko
