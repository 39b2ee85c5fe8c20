// File access, byte readers, bit text and small formatters shared by every
// analyser. Everything that talks to the operating system lives in io.cpp;
// the pure helpers live in bytes.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vesko.h"

namespace vesko {

using Bytes = std::span<const uint8_t>;

// A positioned reader over one file. Zero-initialised, opened, used and
// closed within one library call; it closes its handle when destroyed, so
// an exception that leaves an analyser cannot leak it.
struct FileReader {
    intptr_t handle = -1;
    uint64_t position = 0;
    uint64_t size = 0;
    bool atEnd = false;

    FileReader() = default;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    ~FileReader() { close(); }

    // Opens the record's fileName (a regular file, read only). False when
    // the name is not terminated within the record, the file does not
    // exist, is not a regular file, or cannot be read.
    bool open(const AnalysisRecord& record);
    bool openPath(std::u16string_view path);
    bool isOpen() const { return handle != -1; }
    bool close();
    // origin 0: from the start, 1: from the position, 2: from the end.
    void seek(int64_t offset, int origin);
    uint64_t tell() const { return position; }
    bool isAtEnd() const { return atEnd; }
    // Reads up to count bytes at the position. With advance clear this is
    // a peek. Bytes of the buffer beyond those read are left as they were.
    size_t read(void* buffer, size_t count, bool advance = true);
    // One byte with advance; 0 when nothing could be read (see isAtEnd).
    uint8_t readByte();
    void rewind() { position = 0; atEnd = false; }
    // Passes over one ID3v2 tag at the position; returns the new position.
    uint64_t skipLeadingId3v2();
};

// Reads a whole small file (at most maxBytes) by UTF-16 path; false when it
// cannot be opened.
bool readSmallFile(std::u16string_view path, std::string& out, size_t maxBytes);

// UTF-8 <-> code page 932 conversion (whole strings, invalid input replaced).
std::string utf8ToCp932(std::string_view utf8);
std::string cp932ToUtf8(std::string_view cp932);
std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);

// ---- byte readers over memory: bounds-checked, throw BoundsError ----

struct BoundsError {};

uint16_t readU16LE(Bytes b, size_t off);
uint16_t readU16BE(Bytes b, size_t off);
uint32_t readU24LE(Bytes b, size_t off);
uint32_t readU24BE(Bytes b, size_t off);
uint32_t readU32LE(Bytes b, size_t off);
uint32_t readU32BE(Bytes b, size_t off);
uint64_t readU64LE(Bytes b, size_t off);
uint64_t readU64BE(Bytes b, size_t off);
// count 1 to 8 bytes from the start of b.
uint64_t readUIntBE(Bytes b, size_t count);
uint64_t readUIntLE(Bytes b, size_t count);
// IEEE value stored big-endian: width 4, 8 or 10 (80-bit extended); any
// other width yields 0.
double readFloatBE(Bytes b, size_t off, size_t width);

// ---- bit text: '0'/'1' characters, most significant bit first ----

void byteToBits(std::string& dest, uint8_t value);           // appends 8
std::string bytesToBits(Bytes bytes);
// The first count characters of text as a binary number; characters other
// than '1' and characters past the end of text count as 0.
double bitsToNumber(std::string_view text, size_t count);
// Integer form for fields inside bit text: count characters from pos.
uint64_t bitsAt(std::string_view text, size_t pos, size_t count);

// ---- formatters ----

std::string formatGuid(Bytes sixteen);
std::string formatThousands(int64_t value);

struct DurationParts {
    int hours = 0, minutes = 0, seconds = 0, milliseconds = 0;
};
// Negative and non-finite durations split as zero; huge ones are clamped.
DurationParts splitDuration(double seconds);

// Every stride-th byte of source, trailing bytes that are not printable
// ASCII dropped (taking every second byte of UTF-16LE yields its ASCII).
std::string copyStrided(Bytes source, size_t stride);

// Case-insensitive ASCII comparisons.
bool startsWithNoCase(std::string_view text, std::string_view prefix);
bool equalsAt(Bytes b, size_t off, std::string_view text);        // exact
bool equalsAtNoCase(Bytes b, size_t off, std::string_view text);  // ASCII case folded

}  // namespace vesko
